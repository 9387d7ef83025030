#pragma once

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

// What every fuzz target needs: a failed property aborts, which libFuzzer reports with the input.
namespace kestrelon::fuzz {

inline void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// The input cut at its NUL bytes into count parts; the last part keeps the rest, NULs included.
inline std::vector<std::string_view> splitInput(const uint8_t* data, size_t size, size_t count)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < count) {
        const size_t nul = input.find('\0');
        parts.push_back(input.substr(0, nul));
        input = nul == std::string_view::npos ? std::string_view{} : input.substr(nul + 1);
    }
    parts.push_back(input);
    return parts;
}

// Every line break is CR LF: no CR without LF after it, no LF without CR before it.
inline bool onlyCrLf(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if ((text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ||
            (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) {
            return false;
        }
    }
    return true;
}

// The lines of a text whose line breaks are CR LF, without them; a final break ends the last line.
inline std::vector<std::string_view> crLfLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t end = text.find("\r\n");
        lines.push_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 2);
    }
    return lines;
}

} // namespace kestrelon::fuzz
