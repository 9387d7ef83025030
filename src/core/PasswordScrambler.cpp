#include "core/PasswordScrambler.h"

namespace kestrelon {

std::string EnDeCrypt(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(255 - static_cast<unsigned char>(c));
    }
    return out;
}

bool survivesScrambling(std::string_view text)
{
    for (char c : text) {
        auto scrambled = static_cast<unsigned char>(255 - static_cast<unsigned char>(c));
        if (scrambled == 0 || scrambled == '\r' || scrambled == '\n') {
            return false;
        }
    }
    return true;
}

} // namespace kestrelon
