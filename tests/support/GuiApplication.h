#pragma once

#include <chrono>
#include <functional>

namespace kestrelon::test {

// Creates the test program's QGuiApplication on the offscreen platform when none exists yet:
// drawing counter images needs fonts, and fonts need a GUI application. Main thread.
void ensureGuiApplication();

// Runs the main thread's event loop until the condition holds or the time is up; returns the
// condition's last value. For queued calls from worker threads.
bool processUntil(const std::function<bool()>& condition,
                  std::chrono::milliseconds timeout = std::chrono::seconds(8));

} // namespace kestrelon::test
