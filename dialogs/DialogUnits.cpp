#include "DialogUnits.h"

#include <QFontMetrics>

#include <cmath>

namespace {

constexpr const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kLetterCount = 52;

} // namespace

DialogUnits::DialogUnits(const QFont& font, double widthStretch) {
    const QFontMetrics metrics(font);
    const int charWidth =
        (metrics.horizontalAdvance(QString::fromLatin1(kLetters)) + kLetterCount / 2) /
        kLetterCount;
    m_dUnitWidth = charWidth * widthStretch / 4.0;
    m_dUnitHeight = metrics.height() / 8.0;
}

int DialogUnits::X(int units) const {
    return static_cast<int>(std::lround(units * m_dUnitWidth));
}

int DialogUnits::Y(int units) const {
    return static_cast<int>(std::lround(units * m_dUnitHeight));
}

QRect DialogUnits::Rect(const QRect& units) const {
    return QRect(QPoint(X(units.left()), Y(units.top())),
                 QPoint(X(units.left() + units.width()) - 1, Y(units.top() + units.height()) - 1));
}

QSize DialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}
