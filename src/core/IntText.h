#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrelon {

// Reads a 32-bit integer the way the program's number boxes and stored values are read:
// decimal, or hexadecimal after "$" (and after "0x" when allowZeroX), with an optional "-"
// before either. No blanks, no trailing characters, nothing out of the 32-bit range.
std::optional<int32_t> parseInt32(std::string_view text, bool allowZeroX = true);

// The same for a number kept in a text setting ([WebServe] Port, a port value): blanks around it
// are allowed, as a hand-written "Port = 8080" has them.
std::optional<int32_t> parseSettingNumber(std::string_view text, bool allowZeroX = true);

} // namespace kestrelon
