#pragma once

#include <string>
#include <string_view>

namespace kestrelon {

// The keyless scrambler of stored passwords: every byte b becomes 255 - b. Applying it twice
// gives the text back. Thread-safe.
std::string EnDeCrypt(std::string_view text);

// False when a password cannot be stored scrambled and read back as it was: a byte that
// scrambles to a line feed (245) would end the stored line, and one that scrambles to a carriage
// return (242) at the end would be taken for part of the line end. Every other byte, NUL
// included, is stored as it is, so a value read from the file can always be written back.
bool survivesScrambling(std::string_view text);

} // namespace kestrelon
