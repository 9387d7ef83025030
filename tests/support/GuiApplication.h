#pragma once

namespace kestrelon::test {

// Creates the test program's QGuiApplication on the offscreen platform when none exists yet:
// drawing counter images needs fonts, and fonts need a GUI application. Main thread.
void ensureGuiApplication();

} // namespace kestrelon::test
