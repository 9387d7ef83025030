#pragma once

#include "core/Settings.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrelon {

// Stored form of a colour: its name when the colour-name table has one ("clRed"), else "$" and
// eight upper-case hex digits ("$000080FF").
std::string colourToText(Colour colour);
// A name of the table in any case, else an integer as stored numbers are read; nothing when
// the text is neither.
std::optional<Colour> colourFromText(std::string_view text);

} // namespace kestrelon

namespace kestrelon {

// The colour to draw with, as 0xRRGGBB. System colours are fixed colours modelled on Qt's
// default light palette, so an image looks the same on every machine.
uint32_t colourToRgb(Colour colour);

} // namespace kestrelon
