#include "core/IntText.h"

#include "core/Text.h"

namespace kestrelon {

std::optional<int32_t> parseInt32(std::string_view text, bool allowZeroX)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (allowZeroX && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > (uint64_t{1} << 32)) {
            return std::nullopt;
        }
    }
    if (base == 16 && !negative) {
        // "$FFFFFFFF" reads as -1, as a 32-bit hexadecimal value does.
        if (value > 0xFFFFFFFFull) {
            return std::nullopt;
        }
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }
    if (negative) {
        if (value > (uint64_t{1} << 31)) {
            return std::nullopt;
        }
        return static_cast<int32_t>(-static_cast<int64_t>(value));
    }
    if (value > 0x7FFFFFFFull) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::optional<int32_t> parseSettingNumber(std::string_view text, bool allowZeroX)
{
    return parseInt32(trimBlanks(text), allowZeroX);
}

} // namespace kestrelon
