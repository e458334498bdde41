#include "PainterCanvas.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <array>

namespace {

constexpr qreal kUnitsPerInch = 100.0;
constexpr qreal kProbePixelSize = 1000.0;
constexpr qreal kPointsPerInch = 72.0;

qreal UnitX(const QPaintDevice& device) {
    return device.logicalDpiX() / kUnitsPerInch;
}
qreal UnitY(const QPaintDevice& device) {
    return device.logicalDpiY() / kUnitsPerInch;
}

QColor ToQColor(const CanvasColour& colour) {
    return QColor(colour.red, colour.green, colour.blue);
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Sets the font's size in (possibly fractional) pixels of `device`, through points, which Qt
// keeps fractional where a pixel size would be whole.
void SetPixelSize(QFont& font, qreal pixels, const QPaintDevice& device) {
    font.setPointSizeF(pixels * kPointsPerInch / device.logicalDpiY());
}

// The font is measured at a large probe size, where the font engine's whole-pixel metrics are
// exact enough, and scaled down: a coarse device then gets the same physical font as a fine
// one.
QFontMetricsF ProbeMetrics(QFont font, const QPaintDevice& device) {
    SetPixelSize(font, kProbePixelSize, device);
    return QFontMetricsF(font, &device);
}

// The size in pixels whose ascent plus descent is `cellHeight` device pixels.
qreal PixelSizeForCell(const QFont& font, qreal cellHeight, const QPaintDevice& device) {
    const QFontMetricsF probe = ProbeMetrics(font, device);
    const qreal cellPerPixel = (probe.ascent() + probe.descent()) / kProbePixelSize;
    return cellPerPixel > 0 ? cellHeight / cellPerPixel : cellHeight;
}

// The average character width that a font's width is asked in: the advances of the lower-case
// letters and the blank, weighted by how often each occurs in English text, in thousandths
// (the original definition of a TrueType font's average width, which printers measure by).
// Newer font files store an average over all their glyphs instead (1208/2048 em for Liberation
// Sans against 904.5 weighted), which would print every width-given text at 75 % of its width.
qreal WeightedAverageCharWidth(const QFontMetricsF& metrics) {
    constexpr std::array<int, 26> kLetterWeights = {64, 14, 27, 35, 100, 20, 14, 42, 63,
                                                    3,  6,  35, 20, 56,  56, 17, 4,  49,
                                                    56, 71, 31, 10, 18,  3,  18, 2};
    constexpr int kBlankWeight = 166;
    constexpr qreal kWeightTotal = 1000;
    qreal total = kBlankWeight * metrics.horizontalAdvance(QChar(u' '));
    for (std::size_t letter = 0; letter < kLetterWeights.size(); ++letter)
        total += kLetterWeights[letter] *
                 metrics.horizontalAdvance(QChar(static_cast<char16_t>(u'a' + letter)));
    return total / kWeightTotal;
}

// The average character width, in pixels of `device`, of the font at `pixels` pixels, as its
// outlines have it at that exact size.
qreal NaturalAverageWidth(const QFont& font, qreal pixels, const QPaintDevice& device) {
    return WeightedAverageCharWidth(ProbeMetrics(font, device)) * pixels / kProbePixelSize;
}

// The horizontal scale that gives the font an average character width of `averageWidth`
// pixels of `device`. A scale of the painter, unlike a font's stretch (a whole percent), makes
// every text exactly as wide as asked. The font is measured at the size it is drawn at, with
// the advances the device lays text out with: Qt draws a font at a whole number of pixels,
// whatever fraction it was asked.
qreal HorizontalScaleForAverageWidth(const QFont& font, qreal averageWidth,
                                     const QPaintDevice& device) {
    const qreal actual = WeightedAverageCharWidth(QFontMetricsF(font, &device));
    return actual > 0 ? averageWidth / actual : 1.0;
}

} // namespace

CPainterCanvas::CPainterCanvas(QPainter& painter, QPaintDevice& measureDevice)
    : m_painter(painter), m_measureDevice(measureDevice) {
    m_current.pen = QPen(Qt::black, 0);
    m_current.brush = QBrush(Qt::white);
    SelectDeviceDefaultFont();
    m_painter.setPen(m_current.pen);
    m_painter.setBrush(m_current.brush);
}

CPainterCanvas::DeviceFont CPainterCanvas::MakeFont(const CanvasFont& wanted,
                                                    const QPaintDevice& device) {
    QFont font(QString::fromStdString(wanted.face));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(wanted.weight, 1, 1000)));
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    const qreal pixels = PixelSizeForCell(font, wanted.height * UnitY(device), device);
    // A font of the face's natural width is scaled as well: on a coarse device the whole pixel
    // it is drawn at would make it up to a few percent wider or narrower than on a fine one.
    const qreal averageWidth = wanted.averageWidth > 0 ? wanted.averageWidth * UnitX(device)
                                                       : NaturalAverageWidth(font, pixels, device);
    SetPixelSize(font, pixels, device);
    return {font, HorizontalScaleForAverageWidth(font, averageWidth, device)};
}

qreal CPainterCanvas::PaintScale() const {
    return UnitX(*m_painter.device());
}

qreal CPainterCanvas::MeasureScale() const {
    return UnitX(m_measureDevice);
}

bool CPainterCanvas::SelectPen(const CanvasPen& pen) {
    if (pen.width < 0)
        return false;
    m_current.pen = QPen(ToQColor(pen.colour), pen.width * PaintScale());
    m_painter.setPen(m_current.pen);
    return true;
}

bool CPainterCanvas::SelectSolidBrush(const CanvasColour& colour) {
    m_current.brush = QBrush(ToQColor(colour), Qt::SolidPattern);
    m_painter.setBrush(m_current.brush);
    return true;
}

bool CPainterCanvas::SelectFont(const CanvasFont& font) {
    if (font.height <= 0 || font.averageWidth < 0)
        return false;
    m_current.measureFont = MakeFont(font, m_measureDevice);
    m_current.paintFont = m_painter.device() == &m_measureDevice
                              ? m_current.measureFont
                              : MakeFont(font, *m_painter.device());
    return true;
}

void CPainterCanvas::SelectDeviceDefaultFont() {
    const QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    m_current.measureFont = {QFont(font, &m_measureDevice), 1.0};
    m_current.paintFont = {QFont(font, m_painter.device()), 1.0};
}

void CPainterCanvas::SaveObjects() {
    m_saved.push_back(m_current);
}

void CPainterCanvas::RestoreObjects() {
    m_current = m_saved.back();
    m_saved.pop_back();
    m_painter.setPen(m_current.pen);
    m_painter.setBrush(m_current.brush);
}

void CPainterCanvas::DrawText(int x, int y, std::string_view text) {
    const DeviceFont& font = m_current.paintFont;
    const QFontMetricsF metrics(font.font, m_painter.device());
    m_painter.save();
    m_painter.translate(x * PaintScale(), y * UnitY(*m_painter.device()) + metrics.ascent());
    m_painter.scale(font.horizontalScale, 1.0);
    // Text is always black, whatever the pen.
    m_painter.setPen(QPen(Qt::black));
    m_painter.setFont(font.font);
    m_painter.drawText(QPointF(0, 0), ToQString(text));
    m_painter.restore();
}

int CPainterCanvas::TextWidth(std::string_view text) {
    const DeviceFont& font = m_current.measureFont;
    const QFontMetricsF metrics(font.font, &m_measureDevice);
    return qRound(metrics.horizontalAdvance(ToQString(text)) * font.horizontalScale /
                  MeasureScale());
}

void CPainterCanvas::DrawLine(int x1, int y1, int x2, int y2) {
    const qreal sx = PaintScale();
    const qreal sy = UnitY(*m_painter.device());
    m_painter.drawLine(QPointF(x1 * sx, y1 * sy), QPointF(x2 * sx, y2 * sy));
}

void CPainterCanvas::DrawRoundRect(int left, int top, int right, int bottom, int ellipseWidth,
                                   int ellipseHeight) {
    const qreal sx = PaintScale();
    const qreal sy = UnitY(*m_painter.device());
    const QRectF rect(QPointF(left * sx, top * sy), QPointF(right * sx, bottom * sy));
    m_painter.drawRoundedRect(rect, ellipseWidth * sx / 2, ellipseHeight * sy / 2,
                              Qt::AbsoluteSize);
}
