#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <optional>

namespace kestrelon {

// The hold-off of the External Service page's "Test" button: the echo services ask not to be
// queried more often than every 10 minutes, so a Test of one service holds off the next Test of
// the same service for that long. Kept as the time of the Test, read against an injected clock.
// Main thread.
class EchoHoldOff {
public:
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::minutes kDuration{10};

    explicit EchoHoldOff(SteadyClock clock = {});

    bool active(int service) const;
    void start(int service);
    void end(int service);

private:
    SteadyClock m_clock;
    std::array<std::optional<std::chrono::steady_clock::time_point>, 2> m_since;
};

} // namespace kestrelon
