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
    const std::string scrambled = EnDeCrypt(text);
    return scrambled.find('\n') == std::string::npos && (scrambled.empty() || scrambled.back() != '\r');
}

} // namespace kestrelon
