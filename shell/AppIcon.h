#pragma once

#include <QIcon>

// The application's icon (the same picture the desktop entry shows).
QIcon AppIcon();
