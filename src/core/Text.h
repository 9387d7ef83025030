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
// Removes control characters and DEL; a tab becomes a blank. For a text from outside that goes
// into one line of a header, a command or a log.
std::string withoutControls(std::string_view text);

} // namespace kestrelon
