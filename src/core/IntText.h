#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrelon {

// Reads a 32-bit integer the way the program's number boxes and stored values are read:
// decimal, or hexadecimal after "$" (and after "0x" when allowZeroX), with an optional "-"
// before either. No blanks, no trailing characters, nothing out of the 32-bit range.
std::optional<int32_t> parseInt32(std::string_view text, bool allowZeroX = true);

} // namespace kestrelon
