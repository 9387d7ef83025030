#pragma once

#include "core/LineLog.h"

namespace kestrelon {

// The IP-Refresh log is a LineLog whose lines start with the local short date and the long time
// ("08/12/2026 14:03:05", no blank after it: the texts bring their own), and which the refresh
// pass empties when it holds more than LineLog::kMaxLines lines. clock: the stamps' time, the
// system clock when empty.
LineLog::Options refreshLogOptions(LineLog::Clock clock = {});

} // namespace kestrelon
