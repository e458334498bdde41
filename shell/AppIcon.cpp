#include "AppIcon.h"

#include <array>

QIcon AppIcon() {
    // The renderings of the hicolor theme's icon, built in as resources.
    constexpr std::array kSizes{16, 32, 48, 64, 128, 256};
    QIcon icon;
    for (int size : kSizes)
        icon.addFile(QStringLiteral(":/icons/%1x%1/catalogrium3.png").arg(size), QSize(size, size));
    return icon;
}
