#include "AppIcon.h"

#include "catalogrium3.xpm"

#include <QPixmap>

QIcon AppIcon() {
    return QIcon(QPixmap(catalogrium3_xpm));
}
