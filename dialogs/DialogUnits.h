#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// Converts the units of a dialog template to pixels of the dialog's font: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an eighth of its
// height. The average width is that of the 52 Latin letters, as the templates were laid out.
// A stretch above 1 widens every horizontal unit alike.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font, double widthStretch = 1.0);

    int X(int units) const;
    int Y(int units) const;
    QRect Rect(const QRect& units) const;
    QSize Size(int width, int height) const;

private:
    double m_dUnitWidth;
    double m_dUnitHeight;
};
