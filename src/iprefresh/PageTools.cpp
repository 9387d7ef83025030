#include "iprefresh/PageTools.h"

namespace kestrelon {

std::optional<size_t> findInPage(std::string_view page, std::string_view text, size_t selectionStart,
                                 size_t selectionLength)
{
    size_t from = selectionLength > 0 ? selectionStart + selectionLength : 0;
    if (text.empty() || from > page.size()) {
        return std::nullopt;
    }
    size_t at = page.find(text, from);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return at;
}

KeywordChoice chooseKeyword(std::string_view page, size_t start, size_t end, size_t addressMark)
{
    KeywordChoice choice;
    if (start >= end || end > page.size()) {
        return choice;
    }
    std::string_view selected = page.substr(start, end - start);
    size_t first = page.find(selected);
    if (first < start) {
        choice.earlier = first;
        return choice;
    }
    choice.unique = true;
    choice.keyword = std::string(selected);
    choice.skip = static_cast<long long>(addressMark) - static_cast<long long>(end);
    return choice;
}

AutoKeyword autoKeyword(std::string_view page, size_t address)
{
    constexpr long long kWidth = 14;
    AutoKeyword result;
    if (address > page.size()) {
        return result;
    }
    for (long long n = 1;; ++n) {
        long long start = static_cast<long long>(address) - kWidth - n;
        if (start < 0) {
            return result; // off the start of the page: no keyword
        }
        std::string_view window = page.substr(static_cast<size_t>(start), kWidth);
        bool forbidden = window.find_first_of(",.\xAC") != std::string_view::npos;
        // An earlier occurrence lies wholly before the window's last character.
        std::string_view before = page.substr(0, static_cast<size_t>(start) + kWidth - 1);
        if (!forbidden && before.find(window) == std::string_view::npos) {
            result.keyword = std::string(window);
            result.skip = n;
            return result;
        }
    }
}

} // namespace kestrelon
