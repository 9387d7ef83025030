#include "timecheck/ClockSetter.h"

#include <ctime>

namespace kestrelon {

bool SystemClockSetter::setClock(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto since = time.time_since_epoch();
    const auto whole = floor<seconds>(since);
    timespec value{};
    value.tv_sec = static_cast<time_t>(whole.count());
    value.tv_nsec = static_cast<long>(duration_cast<nanoseconds>(since - whole).count());
    // The kernel keeps UTC; the local time follows from the time zone, daylight saving included.
    return ::clock_settime(CLOCK_REALTIME, &value) == 0;
}

} // namespace kestrelon
