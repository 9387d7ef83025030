#pragma once

#include <chrono>

namespace kestrelon::test {

// A local date and time, as the PC's clock shows it.
std::chrono::system_clock::time_point localTime(int year, int month, int day, int hour, int minute,
                                                int second);

} // namespace kestrelon::test
