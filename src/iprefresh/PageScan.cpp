#include "iprefresh/PageScan.h"

#include "core/Text.h"
#include "iprefresh/EchoServices.h"

#include <charconv>
#include <limits>

namespace kestrelon {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A 0-based start that may lie before the page or past its end, clamped into it.
size_t clampedStart(long long start, size_t size)
{
    if (start < 0) {
        return 0;
    }
    return static_cast<unsigned long long>(start) > size ? size : static_cast<size_t>(start);
}

} // namespace

std::string scanEchoPage(const EchoService& service, std::string_view page)
{
    // 1-based marker position p (0 when absent); the address starts at position p + offset.
    size_t found = page.find(service.marker);
    long long p = found == std::string_view::npos ? 0 : static_cast<long long>(found) + 1;
    size_t i = clampedStart(p + static_cast<long long>(service.offset) - 1, page.size());
    std::string result;
    for (; i < page.size() && page[i] != service.terminator; ++i) {
        result += page[i];
    }
    return result;
}

long skipCount(std::string_view skipText, long fallback)
{
    std::string_view digits = trimBlanks(skipText);
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits.front() == '-') {
            return fallback;
        }
    }
    long value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) {
        return fallback;
    }
    return value;
}

std::string scanRouterPage(std::string_view page, std::string_view keyword, std::string_view skipText)
{
    // 1-based keyword position k, 0 when absent (the empty keyword is never found).
    size_t found = keyword.empty() ? std::string_view::npos : page.find(keyword);
    long long k = found == std::string_view::npos ? 0 : static_cast<long long>(found) + 1;
    long long length = static_cast<long long>(keyword.size());
    long long skip = skipCount(skipText, static_cast<long>(length));
    // 1-based start k + L + s.
    size_t i = clampedStart(k + length + skip - 1, page.size());
    while (i < page.size() && !isDigit(page[i])) {
        ++i;
    }
    std::string result;
    for (; i < page.size() && (isDigit(page[i]) || page[i] == '.' || page[i] == ' '); ++i) {
        result += page[i];
    }
    return result;
}

std::string trimAddress(std::string_view text)
{
    auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isTrimmed(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isTrimmed(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

} // namespace kestrelon
