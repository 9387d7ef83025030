#include "iprefresh/EchoHoldOff.h"

namespace kestrelon {

EchoHoldOff::EchoHoldOff(SteadyClock clock)
    : m_clock(clock ? std::move(clock) : SteadyClock([] { return std::chrono::steady_clock::now(); }))
{
}

bool EchoHoldOff::active(int service) const
{
    if (service < 0 || static_cast<size_t>(service) >= m_since.size() || !m_since[service]) {
        return false;
    }
    return m_clock() - *m_since[service] < kDuration;
}

void EchoHoldOff::start(int service)
{
    if (service >= 0 && static_cast<size_t>(service) < m_since.size()) {
        m_since[service] = m_clock();
    }
}

void EchoHoldOff::end(int service)
{
    if (service >= 0 && static_cast<size_t>(service) < m_since.size()) {
        m_since[service].reset();
    }
}

} // namespace kestrelon
