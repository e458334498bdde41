#pragma once

#include "print/Canvas.h"

#include <QBrush>
#include <QFont>
#include <QPen>

#include <vector>

class QPainter;
class QPaintDevice;

// The canvas on a QPainter (printer, preview, PDF). Coordinates are converted from
// hundredths of an inch to the painter's device pixels; fonts are sized in device pixels so
// that their cell height is the one asked for, and text is drawn and measured with a
// horizontal scale that gives it the average character width asked for. Text is measured
// on `measureDevice` (the printer, also during preview), so preview and print choose the
// same names and sizes. The painter and the device are borrowed.
class CPainterCanvas final : public ICanvas {
public:
    CPainterCanvas(QPainter& painter, QPaintDevice& measureDevice);

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

    // A font on one device and the horizontal scale its text is drawn and measured with.
    struct DeviceFont {
        QFont font;
        qreal horizontalScale = 1.0;
    };

    // The font that SelectFont would choose, bound to `device`.
    static DeviceFont MakeFont(const CanvasFont& font, const QPaintDevice& device);

private:
    struct Objects {
        QPen pen;
        QBrush brush;
        DeviceFont measureFont;
        DeviceFont paintFont;
    };

    qreal PaintScale() const;
    qreal MeasureScale() const;

    QPainter& m_painter;
    QPaintDevice& m_measureDevice;
    Objects m_current;
    std::vector<Objects> m_saved;
};
