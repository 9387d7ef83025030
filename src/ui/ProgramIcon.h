#pragma once

#include <QIcon>

namespace kestrelon {

// The program's icon, drawn here so that the window, the tray and the splash need no image file.
QIcon programIcon();

} // namespace kestrelon
