// libFuzzer target: the host:port reading of every server setting. Input: the first two bytes are
// the default port, the rest the setting's text. A server read from any text, written back the
// way a user would type it, reads as the same server.
#include "FuzzCheck.h"
#include "core/HostPort.h"
#include "core/Text.h"

#include <string>

using namespace kestrelon;
using kestrelon::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const uint16_t defaultPort = static_cast<uint16_t>(1 + (data[0] | data[1] << 8) % 65535);
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
    const auto server = parseHostPort(text, defaultPort);
    if (!server) {
        return 0;
    }
    check(!server->host.empty() && server->port != 0);
    check(text.find(server->host) != std::string_view::npos);
    // The port is the default one exactly when the text names none.
    const auto otherDefault = parseHostPort(text, defaultPort == 1 ? 2 : 1);
    check(otherDefault && otherDefault->host == server->host);
    if (otherDefault->port != server->port) {
        check(server->port == defaultPort);
    }

    const std::string& host = server->host;
    const bool brackets =
        host.find(':') != std::string::npos || host.front() == '[' || trimBlanks(host) != host;
    const std::string written = (brackets ? "[" + host + "]" : host) + ":" + std::to_string(server->port);
    check(parseHostPort(written, defaultPort) == server);
    return 0;
}
