#include "DialogUnits.h"

#include <QFontMetrics>

namespace {

constexpr const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kLetterCount = 52;

} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    m_nCharWidth = (metrics.horizontalAdvance(QString::fromLatin1(kLetters)) + kLetterCount / 2) /
                   kLetterCount;
    m_nCharHeight = metrics.height();
}

int DialogUnits::X(int units) const {
    return units * m_nCharWidth / 4;
}

int DialogUnits::Y(int units) const {
    return units * m_nCharHeight / 8;
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    return QRect(QPoint(X(x), Y(y)), QPoint(X(x + width) - 1, Y(y + height) - 1));
}

QSize DialogUnits::Size(int width, int height) const {
    return QSize(X(width), Y(height));
}
