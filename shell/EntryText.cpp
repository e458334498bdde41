#include "EntryText.h"

#include <QDateTime>

QString AttributeLetters(std::uint32_t attributes) {
    QString letters;
    if (attributes & 0x20)
        letters += QLatin1Char('A');
    if (attributes & 0x2)
        letters += QLatin1Char('H');
    if (attributes & 0x1)
        letters += QLatin1Char('R');
    if (attributes & 0x4)
        letters += QLatin1Char('S');
    if (attributes & 0x10)
        letters += QLatin1Char('D');
    return letters;
}

QString LocalTimeText(std::int64_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
