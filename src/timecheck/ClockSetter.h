#pragma once

#include <chrono>

namespace kestrelon {

// Sets the computer's clock. An interface, so that the time check can be driven without
// touching the real clock. setClock may be called from any thread (the check calls it from its
// worker thread); implementations must allow that.
class ClockSetter {
public:
    virtual ~ClockSetter() = default;
    // Sets the clock to time (UTC); true when the clock was set.
    virtual bool setClock(std::chrono::system_clock::time_point time) = 0;
};

// The system's real-time clock, through clock_settime(CLOCK_REALTIME). Without the right to
// change the time (CAP_SYS_TIME) the call fails with EPERM and nothing changes.
class SystemClockSetter : public ClockSetter {
public:
    bool setClock(std::chrono::system_clock::time_point time) override;
};

} // namespace kestrelon
