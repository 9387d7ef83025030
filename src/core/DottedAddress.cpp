#include "core/DottedAddress.h"

namespace kestrelon {

bool ValidIP(std::string_view text)
{
    if (text.empty()) {
        return false;
    }
    int dots = 0;
    for (char c : text) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return dots == 3;
}

std::string dottedQuad(uint32_t address)
{
    char text[16];
    char* out = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (address >> shift) & 0xFF;
        if (part >= 100) {
            *out++ = static_cast<char>('0' + part / 100);
        }
        if (part >= 10) {
            *out++ = static_cast<char>('0' + part / 10 % 10);
        }
        *out++ = static_cast<char>('0' + part % 10);
        if (shift > 0) {
            *out++ = '.';
        }
    }
    return std::string(text, out);
}

} // namespace kestrelon
