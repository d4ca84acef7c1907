#pragma once
// Icons: the desktop's icon theme first, the style's own icons where the
// theme has none, and the program's icon drawn at whatever size and pixel
// ratio it is asked for.
#include <QIcon>
#include <QStyle>

namespace kestrel::app {

QIcon ThemeIcon(const char* Name, QStyle::StandardPixmap Fallback);

// The program's icon: its SVG when this system reads SVG, else the same
// disc painted at each size asked for, sharp on high-density screens.
QIcon KestrelIcon();

}  // namespace kestrel::app
