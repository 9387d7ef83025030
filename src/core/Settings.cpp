#include "core/Settings.h"

#include <ctime>

namespace kestrelon {

Settings Settings::defaults(const std::string& dataDir)
{
    Settings s;
    s.WebServe.Root = dataDir;
    s.Camera.File = dataDir + "/untitled.jpg";
    time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    s.TimeServer.DailyTime = local.tm_hour * 3600 + local.tm_min * 60;
    return s;
}

} // namespace kestrelon
