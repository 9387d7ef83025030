#include "core/Text.h"

#include <cctype>
#include <cstdint>
#include <cstring>

namespace kestrelon {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string toLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        c = lower(c);
    }
    return out;
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string withoutControls(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7f) {
            out += c;
        } else if (c == '\t') {
            out += ' ';
        }
    }
    return out;
}

namespace {

// The texts rarely hold a control character, so they are looked at eight bytes at a time: a word
// without one is copied as it is.
bool holdsControlCharacter(uint64_t word)
{
    constexpr uint64_t ones = 0x0101010101010101ULL;
    constexpr uint64_t highs = 0x8080808080808080ULL;
    // A byte below 0x20 borrows into its high bit; bytes of 0x80 and above are left out by ~word.
    const uint64_t below = (word - 0x20 * ones) & ~word & highs;
    const uint64_t del = word ^ (0x7F * ones); // 0x7F becomes 0
    return (below | ((del - ones) & ~del & highs)) != 0;
}

char replacedControlCharacter(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 || u == 0x7F) ? '?' : c;
}

} // namespace

char* copyWithoutControlChars(std::string_view text, char* out)
{
    const char* p = text.data();
    size_t left = text.size();
    for (; left >= 8; p += 8, out += 8, left -= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        if (!holdsControlCharacter(word)) {
            std::memcpy(out, &word, 8);
            continue;
        }
        for (int i = 0; i < 8; ++i) {
            out[i] = replacedControlCharacter(p[i]);
        }
    }
    for (; left > 0; --left) {
        *out++ = replacedControlCharacter(*p++);
    }
    return out;
}

std::string withoutControlChars(std::string_view text)
{
    std::string out(text.size(), '\0');
    copyWithoutControlChars(text, out.data());
    return out;
}

std::string clippedText(std::string_view text, size_t maxBytes)
{
    std::string out;
    appendClipped(out, text, maxBytes);
    return out;
}

void appendClipped(std::string& out, std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes) {
        out.append(text);
        return;
    }
    size_t keep = maxBytes;
    // Back off UTF-8 continuation bytes, so the kept part ends on a whole character.
    for (int i = 0; i < 3 && keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80; ++i) {
        --keep;
    }
    out.append(text.substr(0, keep))
        .append("[... ")
        .append(std::to_string(text.size() - keep))
        .append(" bytes cut]");
}

std::string_view clippedView(std::string_view text, size_t maxBytes, std::string& storage)
{
    if (text.size() <= maxBytes) {
        return text;
    }
    storage = clippedText(text, maxBytes);
    return storage;
}

} // namespace kestrelon
