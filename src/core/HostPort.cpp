#include "core/HostPort.h"

#include "core/Text.h"

#include <charconv>

namespace kestrelon {

namespace {

std::optional<uint16_t> portFromText(std::string_view text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

} // namespace

std::optional<HostPort> parseHostPort(std::string_view text, uint16_t defaultPort)
{
    text = trimBlanks(text);
    HostPort server{std::string(), defaultPort};
    std::string_view portText;
    bool hasPort = false;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        server.host = std::string(text.substr(1, close - 1));
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':')) {
                return std::nullopt;
            }
            hasPort = true;
            portText = rest.substr(1);
        }
    } else if (const size_t colon = text.find(':');
               colon != std::string_view::npos && text.find(':', colon + 1) == std::string_view::npos) {
        server.host = std::string(text.substr(0, colon));
        hasPort = true;
        portText = text.substr(colon + 1);
    } else {
        server.host = std::string(text); // a name, or a bare IPv6 address with its many colons
    }
    // No host name or address holds a bracket: "x[::1]:25" is a typing error, not a server.
    if (server.host.empty() || server.host.find_first_of("[]") != std::string::npos) {
        return std::nullopt;
    }
    if (hasPort) {
        auto port = portFromText(portText);
        if (!port) {
            return std::nullopt;
        }
        server.port = *port;
    }
    return server;
}

} // namespace kestrelon
