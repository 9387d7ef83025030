#include "streaming/WebmTitle.h"

#include <cstring>

namespace kestrelon {

namespace {

// EBML: TagName (0x45A3) of "TITLE" with its terminating zero, then the TagString's ID (0x4487).
constexpr uint8_t kTitleTag[] = {0x45, 0xA3, 0x86, 'T', 'I', 'T', 'L', 'E', 0x00, 0x44, 0x87};

// Reads an EBML variable-length size at p (at most end - p bytes); 0 bytes when malformed.
size_t readVarInt(const uint8_t* p, const uint8_t* end, uint64_t& value)
{
    if (p >= end || *p == 0) {
        return 0;
    }
    size_t length = 1;
    while (!(*p & (0x80 >> (length - 1)))) {
        ++length;
    }
    if (size_t(end - p) < length) {
        return 0;
    }
    value = *p & (0xFF >> length);
    for (size_t i = 1; i < length; ++i) {
        value = (value << 8) | p[i];
    }
    return length;
}

} // namespace

std::string titleStandIn(std::string_view utf8Title)
{
    // Letters only: the muxer writes them unquoted and unescaped.
    return std::string(utf8Title.size(), 'x');
}

bool replaceTitleStandIn(uint8_t* data, size_t size, std::string_view standIn, std::string_view utf8Title)
{
    if (standIn.empty() || standIn.size() != utf8Title.size()) {
        return false;
    }
    const uint8_t* end = data + size;
    for (uint8_t* p = data; size_t(end - p) >= sizeof kTitleTag; ++p) {
        if (std::memcmp(p, kTitleTag, sizeof kTitleTag) != 0) {
            continue;
        }
        uint8_t* q = p + sizeof kTitleTag;
        uint64_t length = 0;
        const size_t sizeBytes = readVarInt(q, end, length);
        if (sizeBytes == 0) {
            continue;
        }
        q += sizeBytes;
        // The text is written with its terminating zero.
        if (length != standIn.size() + 1 || size_t(end - q) < length ||
            std::memcmp(q, standIn.data(), standIn.size()) != 0) {
            continue;
        }
        std::memcpy(q, utf8Title.data(), utf8Title.size());
        return true;
    }
    return false;
}

} // namespace kestrelon
