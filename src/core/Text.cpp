#include "core/Text.h"

#include <cctype>

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

std::string withoutControlChars(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = '?';
        }
    }
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
