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
// Replaces every control character (below 0x20, and 0x7F) by "?": a log line keeps the text's
// length and shows where something was.
std::string withoutControlChars(std::string_view text);
// The same, copied to out (which may be the text itself); returns where the copy ends.
char* copyWithoutControlChars(std::string_view text, char* out);
// The text, or when it is longer than maxBytes its start followed by "[... N bytes cut]". A cut
// never splits a UTF-8 sequence.
std::string clippedText(std::string_view text, size_t maxBytes);
// clippedText appended to out, without a copy of its own.
void appendClipped(std::string& out, std::string_view text, size_t maxBytes);
// The text itself when it fits, otherwise clippedText, kept in storage.
std::string_view clippedView(std::string_view text, size_t maxBytes, std::string& storage);

} // namespace kestrelon
