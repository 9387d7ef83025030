#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrelon {

// The header block of a response, as the server sends it: the status line, then Server,
// Content-Type, Location, WWW-Authenticate, the extra fields in their order, Connection when the
// version needs it said, Content-Length, and the blank line.
struct ResponseHead {
    unsigned version = 11; // 10 or 11
    unsigned status = 200;
    std::string_view reason; // empty: the status's standard phrase
    std::optional<std::string_view> contentType;
    std::string_view location; // empty: none
    std::string_view realm;    // empty: no Basic challenge
    // Written as given: a handler names no field twice, nor one of those above.
    const std::vector<std::pair<std::string, std::string>>* fields = nullptr;
    bool keepAlive = true;
    std::optional<uint64_t> contentLength;
};

// Appends the header block to out. Line breaks in values (and names) become blanks, so a value
// cannot add a field of its own. Any thread.
void appendResponseHead(std::string& out, const ResponseHead& head);

} // namespace kestrelon
