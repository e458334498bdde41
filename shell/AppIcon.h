#pragma once

#include <QIcon>

// The application's icon at every size of the hicolor theme, the one the desktop entry shows.
QIcon AppIcon();
