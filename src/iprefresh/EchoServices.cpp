#include "iprefresh/EchoServices.h"

#include "core/Settings.h"

namespace kestrelon {

// The first page reads "Current IP Address: 203.0.113.7</body>": the address starts after the
// marker and one blank. The second reads "Your IP  Is 198.51.100.9 ...", two blanks after "IP".
const std::array<EchoService, 2> kEchoServices = {{
    {kDefaultEchoService, "DynDNS", "Address:", 9, '<'},
    {"http://www.ipaddressworld.com/simple/", "IP Address World", "Your IP  Is ", 12, ' '},
}};

int echoServiceIndex(std::string_view url)
{
    for (size_t i = 0; i < kEchoServices.size(); ++i) {
        if (url == kEchoServices[i].url) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace kestrelon
