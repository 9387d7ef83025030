#include "web/MessageLog.h"

namespace kestrelon {

namespace {

// The locale's short date, a blank, its long time.
constexpr const char* kStampPattern = "ddddd tt";

} // namespace

MessageLog::MessageLog(std::function<bool()> enabled, QObject* parent)
    : LineLog(Options{kStampPattern, "   ", LineLimit::BeforeEachLine, std::move(enabled), {}}, parent)
{
}

std::string MessageLog::stamp(int64_t epochSeconds)
{
    return LineLog::stamp(kStampPattern,
                          std::chrono::system_clock::time_point(std::chrono::seconds(epochSeconds)));
}

} // namespace kestrelon
