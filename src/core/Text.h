#pragma once

#include <string>
#include <string_view>

// Small text helpers for 8-bit text, where case rules apply to ASCII letters only.
// Pure; any thread.

namespace kestrelon {

bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toLower(std::string_view text);
// Removes blanks (space, tab, CR, FF, VT) at both ends.
std::string_view trimBlanks(std::string_view text);

} // namespace kestrelon
