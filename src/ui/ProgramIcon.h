#pragma once

#include <QIcon>

namespace kestrelon {

// The program's icon: the icon theme's "kestrelon" when the program is installed, else drawn here,
// so that the window, the tray and the splash need no image file. Main thread.
QIcon programIcon();

} // namespace kestrelon
