#pragma once

#include <optional>
#include <string>
#include <string_view>

// The page workbench's text tools: Find, the keyword uniqueness rule and the automatic keyword
// window. Positions are 0-based character positions in the page text. Pure; any thread.

namespace kestrelon {

// Find: searches from the end of the selection (from the start of the page when nothing is
// selected) to the end of the page, matching case. The position of the match, if any.
std::optional<size_t> findInPage(std::string_view page, std::string_view text, size_t selectionStart,
                                 size_t selectionLength);

// Keyword: the text selected from start to end (exclusive) becomes the keyword unless it occurs
// earlier in the page, since the lookup would find that occurrence first.
struct KeywordChoice {
    bool unique = false;
    size_t earlier = 0;  // the earlier occurrence, when not unique
    std::string keyword; // when unique
    long long skip = 0;  // address mark - end, when unique
};
KeywordChoice chooseKeyword(std::string_view page, size_t start, size_t end, size_t addressMark);

// Auto: the 14 characters ending one character before the address at `address` form the first
// window; a window is taken when its text does not occur earlier in the page and holds no ",",
// "." or character 172; else it moves one character to the left. The skip count is the number
// of characters between the window's end and the address. An empty keyword means no window fits
// before the start of the page.
struct AutoKeyword {
    std::string keyword;
    long long skip = 0;
};
AutoKeyword autoKeyword(std::string_view page, size_t address);

} // namespace kestrelon
