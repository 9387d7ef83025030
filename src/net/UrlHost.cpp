#include "net/UrlHost.h"

namespace kestrelon {

namespace {

bool isIpv6LiteralChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
}

} // namespace

bool isHostNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

std::optional<std::string> urlHost(const std::string& host)
{
    if (host.empty()) {
        return std::nullopt;
    }
    if (host.find(':') == std::string::npos) {
        for (char c : host) {
            if (!isHostNameChar(c)) {
                return std::nullopt;
            }
        }
        return host;
    }
    // A zone ("fe80::1%eth0") is written "%25" in a URL.
    const size_t percent = host.find('%');
    const std::string address = host.substr(0, percent);
    bool valid = !address.empty();
    for (char c : address) {
        valid = valid && isIpv6LiteralChar(c);
    }
    const std::string zone = percent == std::string::npos ? std::string() : host.substr(percent + 1);
    for (char c : zone) {
        valid = valid && isHostNameChar(c);
    }
    if (!valid || (percent != std::string::npos && zone.empty())) {
        return std::nullopt;
    }
    return "[" + address + (zone.empty() ? "" : "%25" + zone) + "]";
}

} // namespace kestrelon
