#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelon {

// A server named in a setting, taken apart.
struct HostPort {
    std::string host; // a name, a dotted address or an IPv6 address without brackets
    uint16_t port = 0;
    bool operator==(const HostPort&) const = default;
};

// Pure; any thread. The one reading of every "server" setting: "host", "host:port", "[IPv6]",
// "[IPv6]:port", or a bare IPv6 address (two or more colons, all of them the address's), with
// blanks around it ignored. Without a port the server is on defaultPort. Nothing when the host is
// empty or holds a bracket, a bracket is not closed, something other than ":port" follows it, or the text after the
// colon is not a port from 1 to 65535: a colon with nothing after it is a port left out by
// mistake, and connecting elsewhere than the user meant would only hide that.
std::optional<HostPort> parseHostPort(std::string_view text, uint16_t defaultPort);

} // namespace kestrelon
