#pragma once

namespace kestrelon {

class Application;

// Runs the application without a window: the same start-up and shutdown order, message boxes
// and log lines on standard error, SIGINT and SIGTERM shut down in order, SIGHUP reloads the
// settings file. Returns the exit status. Main thread, inside a running QGuiApplication.
int runHeadless(Application& app);

} // namespace kestrelon
