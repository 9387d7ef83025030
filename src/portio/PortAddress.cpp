#include "portio/PortAddress.h"

#include "core/IntText.h"

namespace kestrelon {

std::string portAddressDigits(const std::string& text)
{
    size_t h = text.find_first_of("Hh");
    return h == std::string::npos ? std::string() : text.substr(0, h);
}

std::optional<uint16_t> portAddressFromText(const std::string& text)
{
    // "$" alone (no digits) does not read as a number.
    auto value = parseInt32("$" + portAddressDigits(text));
    if (!value || *value < 0 || *value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(*value);
}

std::string portStatusText(const std::string& addressText, bool ioOn)
{
    if (!ioOn) {
        return {};
    }
    return "I/O Active on port: " + portAddressDigits(addressText) + "H";
}

} // namespace kestrelon
