#include "web/ClientAddress.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string>

namespace kestrelon {

bool isOwnClient(std::string_view address, const std::vector<std::string>& ownAddresses)
{
    if (std::find(ownAddresses.begin(), ownAddresses.end(), address) != ownAddresses.end()) {
        return true;
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, std::string(address).c_str(), &parsed) != 1) {
        return false;
    }
    uint32_t a = ntohl(parsed.s_addr);
    return (a >> 24) == 10 || (a >> 16) == ((172u << 8) | 16u) || (a >> 16) == ((192u << 8) | 168u) ||
           (a >> 16) == ((169u << 8) | 254u);
}

} // namespace kestrelon
