#pragma once

#include <string>
#include <string_view>

namespace kestrelon {

// The keyless scrambler of stored passwords: every byte b becomes 255 - b. Applying it twice
// gives the text back. Thread-safe.
std::string EnDeCrypt(std::string_view text);

// False when a password cannot be stored scrambled: a byte that scrambles to NUL, CR or LF
// (bytes 255, 242 and 245) would cut the stored line or break the file.
bool survivesScrambling(std::string_view text);

} // namespace kestrelon
