#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The rules of the refresh interval (minutes, 0 = manual, up to 2880). Pure; any thread.

namespace kestrelon {

inline constexpr int32_t kMaxInterval = 2880;

// Intervals of 1 to 9 minutes become 10, since the public echo services ask not to be queried
// more often; a router page on a local address ("192", "172", "127" or "10" before the URL's
// first ".") may be read that often. 0 and 10 and above stay.
int32_t minimumInterval(int32_t interval, bool routerMode, std::string_view routerUrl);

// The countdown after an expiry: the interval stretched by the backoff factor, at most 2880.
int32_t reloadedCountdown(int32_t interval, double backoffFactor);

// "1 hr : 30 min" for 90.
std::string hoursAndMinutes(int32_t minutes);

// "Start", or "Update" for the manual interval 0.
const char* startCaption(int32_t interval);
// The start-up box: "Start automatically", or "Check once at startup" for 0.
const char* autoStartCaption(int32_t interval);
// The interval box's step: 1 below 60, 10 below 600, then 30.
int32_t intervalStep(int32_t interval);

} // namespace kestrelon
