#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrelon {

// Dotted-address syntax as the program checks it: only digits and dots, exactly three dots.
// Empty parts and numbers above 255 pass ("1..2.3", "999.1.1.1"); the empty text does not.
// Pure; any thread.
bool ValidIP(std::string_view text);

// An IPv4 address, given in host byte order, as "a.b.c.d": what inet_ntop writes, without its
// formatted printing (it is made for every connection). Pure; any thread.
std::string dottedQuad(uint32_t address);

} // namespace kestrelon
