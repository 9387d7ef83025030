#include "iprefresh/IpRefreshServices.h"

namespace kestrelon {

IpRefreshServices IpRefreshServices::withDefaults() const
{
    IpRefreshServices s = *this;
    if (!s.clock) {
        s.clock = [] { return std::chrono::system_clock::now(); };
    }
    if (!s.steadyClock) {
        s.steadyClock = [] { return std::chrono::steady_clock::now(); };
    }
    return s;
}

} // namespace kestrelon
