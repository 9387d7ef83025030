#include "iprefresh/RefreshLog.h"

#include "core/DateTimePattern.h"

namespace kestrelon {

std::string refreshLogStamp(std::chrono::system_clock::time_point time)
{
    return formatDateTime("ddddd tt", DateTimeParts::fromLocalTime(time));
}

} // namespace kestrelon
