#pragma once

#include "core/DottedAddress.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrelon {

// True when the address is one of this computer's own (exact text match with the list) or lies
// in a local network: 10.0.0.0/8, 172.16.0.0/16, 192.168.0.0/16 or 169.254.0.0/16. Whole
// octets are compared, so 104.1.2.3 and 172.160.0.1 are not local.
bool isOwnClient(std::string_view address, const std::vector<std::string>& ownAddresses);

} // namespace kestrelon
