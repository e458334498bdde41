#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A colour of the printed listing.
struct CanvasColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const CanvasColour&) const = default;
};

inline constexpr CanvasColour kBlack{0, 0, 0};
inline constexpr CanvasColour kWhite{255, 255, 255};

// A solid pen; width 0 is the thinnest line the device draws.
struct CanvasPen {
    int width = 0;
    CanvasColour colour;
    bool operator==(const CanvasPen&) const = default;
};

// A font by face, cell height (ascent plus descent), average character width (0: the face's
// natural width for that height) and weight (100 thin to 900 black, 400 normal, 700 bold).
struct CanvasFont {
    std::string face;
    int height = 0;
    int averageWidth = 0;
    int weight = 400;
    bool operator==(const CanvasFont&) const = default;
};

// The drawing surface of the printed listing. Units are hundredths of an inch, x grows to the
// right and y downwards from the top-left corner of the printable area; text is placed by the
// top-left corner of its cell. A new canvas has a black pen of width 0, a white brush and the
// device's default font.
//
// Pens, brushes and fonts are created and selected in one call; a call that returns false
// could not create the object and left the selection as it was. SaveObjects and
// RestoreObjects bracket a drawing operation so that it leaves the selection as it found it
// (calls nest).
class ICanvas {
public:
    virtual ~ICanvas() = default;

    virtual bool SelectPen(const CanvasPen& pen) = 0;
    virtual bool SelectSolidBrush(const CanvasColour& colour) = 0;
    virtual bool SelectFont(const CanvasFont& font) = 0;
    // The device's stock font, used when a font cannot be created.
    virtual void SelectDeviceDefaultFont() = 0;
    virtual void SaveObjects() = 0;
    virtual void RestoreObjects() = 0;

    // Text is UTF-8.
    virtual void DrawText(int x, int y, std::string_view text) = 0;
    // The width of `text` in the selected font, measured on the printer.
    virtual int TextWidth(std::string_view text) = 0;
    virtual void DrawLine(int x1, int y1, int x2, int y2) = 0;
    // A rectangle with rounded corners (corner ellipse `ellipseWidth` x `ellipseHeight`),
    // outlined with the pen and filled with the brush.
    virtual void DrawRoundRect(int left, int top, int right, int bottom, int ellipseWidth,
                               int ellipseHeight) = 0;
};

// Keeps the canvas selection of its scope: whatever is selected inside is given back on exit.
class CanvasObjectsGuard {
public:
    explicit CanvasObjectsGuard(ICanvas& canvas) : m_canvas(canvas) { m_canvas.SaveObjects(); }
    ~CanvasObjectsGuard() { m_canvas.RestoreObjects(); }
    CanvasObjectsGuard(const CanvasObjectsGuard&) = delete;
    CanvasObjectsGuard& operator=(const CanvasObjectsGuard&) = delete;

private:
    ICanvas& m_canvas;
};
