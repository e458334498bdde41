#pragma once

#include "print/Canvas.h"

#include <string>
#include <vector>

// A canvas that keeps every drawing call with its coordinates and the pen, brush and font in
// force, for tests. Text is measured by a fixed rule: the font's average width (half its
// height when it has none; 5 for the device font) times the number of characters. Pens,
// brushes or fonts can be made to fail to check what drawing does without them.
class CRecordingCanvas final : public ICanvas {
public:
    enum class Kind { Text, Line, RoundRect };

    struct Call {
        Kind kind = Kind::Text;
        int x1 = 0;
        int y1 = 0;
        int x2 = 0;
        int y2 = 0;
        int ellipseWidth = 0;
        int ellipseHeight = 0;
        std::string text;
        CanvasPen pen;
        CanvasColour brush;
        CanvasFont font; // face empty for the device's default font
    };

    bool SelectPen(const CanvasPen& pen) override;
    bool SelectSolidBrush(const CanvasColour& colour) override;
    bool SelectFont(const CanvasFont& font) override;
    void SelectDeviceDefaultFont() override;
    void SaveObjects() override;
    void RestoreObjects() override;

    void DrawText(int x, int y, std::string_view text) override;
    int TextWidth(std::string_view text) override;
    void DrawLine(int x1, int y1, int x2, int y2) override;
    void DrawRoundRect(int left, int top, int right, int bottom, int ellipseWidth,
                       int ellipseHeight) override;

    // The width a text of `chars` characters measures in `font`.
    static int WidthOf(const CanvasFont& font, int chars);

    // Calls of one kind, in order.
    std::vector<Call> Of(Kind kind) const;
    // The text calls, in order.
    std::vector<Call> Texts() const { return Of(Kind::Text); }
    // The first text call whose text is `text`; null when there is none.
    const Call* FindText(const std::string& text) const;
    // Every call, one a line, with the pen, brush or font it drew with: the drawing as a golden
    // file keeps it.
    std::string Describe() const;

    std::vector<Call> calls;
    // Depth of SaveObjects calls not yet restored.
    int saveDepth = 0;
    bool failPens = false;
    // Brushes of this colour cannot be created.
    bool failBrush = false;
    CanvasColour failingBrush;
    bool failFonts = false;

    struct Objects {
        CanvasPen pen;
        CanvasColour brush = kWhite;
        CanvasFont font;
    };
    Objects current;

private:
    std::vector<Objects> m_saved;
};
