#include "RecordingCanvas.h"

#include "engine/Text.h"

#include <algorithm>
#include <sstream>

bool CRecordingCanvas::SelectPen(const CanvasPen& pen) {
    if (failPens)
        return false;
    current.pen = pen;
    return true;
}

bool CRecordingCanvas::SelectSolidBrush(const CanvasColour& colour) {
    if (failBrush && colour == failingBrush)
        return false;
    current.brush = colour;
    return true;
}

bool CRecordingCanvas::SelectFont(const CanvasFont& font) {
    if (failFonts)
        return false;
    current.font = font;
    return true;
}

void CRecordingCanvas::SelectDeviceDefaultFont() {
    current.font = CanvasFont{};
}

void CRecordingCanvas::SaveObjects() {
    m_saved.push_back(current);
    ++saveDepth;
}

void CRecordingCanvas::RestoreObjects() {
    current = m_saved.back();
    m_saved.pop_back();
    --saveDepth;
}

void CRecordingCanvas::DrawText(int x, int y, std::string_view text) {
    Call call{Kind::Text,    x,           y, x, y, 0, 0, std::string(text), current.pen,
              current.brush, current.font};
    calls.push_back(std::move(call));
}

int CRecordingCanvas::WidthOf(const CanvasFont& font, int chars) {
    if (font.face.empty())
        return 5 * chars;
    const int average = font.averageWidth > 0 ? font.averageWidth : font.height / 2;
    return average * chars;
}

int CRecordingCanvas::TextWidth(std::string_view text) {
    return WidthOf(current.font, static_cast<int>(CountChars(text)));
}

void CRecordingCanvas::DrawLine(int x1, int y1, int x2, int y2) {
    calls.push_back(
        {Kind::Line, x1, y1, x2, y2, 0, 0, {}, current.pen, current.brush, current.font});
}

void CRecordingCanvas::DrawRoundRect(int left, int top, int right, int bottom, int ellipseWidth,
                                     int ellipseHeight) {
    calls.push_back({Kind::RoundRect,
                     left,
                     top,
                     right,
                     bottom,
                     ellipseWidth,
                     ellipseHeight,
                     {},
                     current.pen,
                     current.brush,
                     current.font});
}

std::vector<CRecordingCanvas::Call> CRecordingCanvas::Of(Kind kind) const {
    std::vector<Call> result;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(result),
                 [kind](const Call& call) { return call.kind == kind; });
    return result;
}

const CRecordingCanvas::Call* CRecordingCanvas::FindText(const std::string& text) const {
    auto it = std::find_if(calls.begin(), calls.end(), [&text](const Call& call) {
        return call.kind == Kind::Text && call.text == text;
    });
    return it == calls.end() ? nullptr : &*it;
}

namespace {

std::ostream& operator<<(std::ostream& out, const CanvasColour& colour) {
    return out << int{colour.red} << ',' << int{colour.green} << ',' << int{colour.blue};
}

std::ostream& operator<<(std::ostream& out, const CanvasPen& pen) {
    return out << "pen " << pen.width << ' ' << pen.colour;
}

std::ostream& operator<<(std::ostream& out, const CanvasFont& font) {
    if (font.face.empty())
        return out << "font device";
    return out << "font " << font.face << ' ' << font.height << ' ' << font.averageWidth << ' '
               << font.weight;
}

} // namespace

std::string CRecordingCanvas::Describe() const {
    std::ostringstream out;
    for (const Call& call : calls) {
        switch (call.kind) {
        case Kind::Text:
            out << "text (" << call.x1 << ',' << call.y1 << ") " << call.font << " \"" << call.text
                << "\"\n";
            break;
        case Kind::Line:
            out << "line (" << call.x1 << ',' << call.y1 << ")-(" << call.x2 << ',' << call.y2
                << ") " << call.pen << '\n';
            break;
        case Kind::RoundRect:
            out << "roundrect (" << call.x1 << ',' << call.y1 << ")-(" << call.x2 << ',' << call.y2
                << ") corner " << call.ellipseWidth << 'x' << call.ellipseHeight << ' ' << call.pen
                << " brush " << call.brush << '\n';
            break;
        }
    }
    return out.str();
}
