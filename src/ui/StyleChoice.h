#pragma once

#include "core/Settings.h"

#include <QColor>
#include <QFont>

#include <string>

// What the font and colour dialogs start on and give back, for the pages whose text is drawn
// into images (the hit counters, the snapshot captions). Main thread.

namespace kestrelon {

QColor toQColor(Colour colour);
// A chosen colour is stored as a plain colour (0x00BBGGRR), never as a system colour.
Colour toColour(const QColor& colour);

// The font dialog's starting font for a stored font setting.
QFont dialogFont(const std::string& name, int32_t points, int32_t styleBits);
// The stored size of a chosen font: its points, or, for a font given in pixels, the points it
// has at the resolution the images are drawn at.
int32_t pointSize(const QFont& font);
// The stored style: 1 bold, 2 italic, 4 underline, 8 strike-out.
int32_t styleBits(const QFont& font);

} // namespace kestrelon
