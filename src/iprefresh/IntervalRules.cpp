#include "iprefresh/IntervalRules.h"

#include <algorithm>
#include <cmath>

namespace kestrelon {

int32_t minimumInterval(int32_t interval, bool routerMode, std::string_view routerUrl)
{
    if (interval < 1 || interval > 9) {
        return interval;
    }
    if (routerMode) {
        size_t dot = routerUrl.find('.');
        if (dot != std::string_view::npos) {
            std::string_view first = routerUrl.substr(0, dot);
            if (first == "192" || first == "172" || first == "127" || first == "10") {
                return interval;
            }
        }
    }
    return 10;
}

int32_t reloadedCountdown(int32_t interval, double backoffFactor)
{
    double stretched = std::floor(interval + interval * backoffFactor);
    return static_cast<int32_t>(std::min<double>(stretched, kMaxInterval));
}

std::string hoursAndMinutes(int32_t minutes)
{
    return std::to_string(minutes / 60) + " hr : " + std::to_string(minutes % 60) + " min";
}

const char* startCaption(int32_t interval)
{
    return interval > 0 ? "Start" : "Update";
}

const char* autoStartCaption(int32_t interval)
{
    return interval > 0 ? "Start automatically" : "Check once at startup";
}

int32_t intervalStep(int32_t interval)
{
    return interval < 60 ? 1 : interval < 600 ? 10 : 30;
}

} // namespace kestrelon
