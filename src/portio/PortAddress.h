#pragma once

#include <cstdint>
#include <optional>
#include <string>

// How the "Port Address" text becomes the port's address and the I/O status line. Pure
// functions: any thread may call them.

namespace kestrelon {

// The hexadecimal digits of a port address text such as "0378H (LPT1)": everything before the
// first "H" (either case). A text without "H" has no digits.
std::string portAddressDigits(const std::string& text);

// The address in a port address text: its digits read as hexadecimal; nothing when there are
// none, when they are not hexadecimal or when they do not fit 16 bits.
std::optional<uint16_t> portAddressFromText(const std::string& text);

// The status line under the address ("I/O Active on port: 0378H") while I/O control is on, the
// empty text while it is off. A text without "H" still shows the "H": the line says what was
// typed before it.
std::string portStatusText(const std::string& addressText, bool ioOn);

} // namespace kestrelon
