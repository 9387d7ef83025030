#include "iprefresh/RefreshLog.h"

namespace kestrelon {

LineLog::Options refreshLogOptions(LineLog::Clock clock)
{
    LineLog::Options options;
    options.stampPattern = "ddddd tt";
    options.lineLimit = LineLog::LineLimit::WhenAsked;
    options.clock = std::move(clock);
    return options;
}

} // namespace kestrelon
