#pragma once

namespace kestrelon {

class Application;

// Runs the application without a window: the same start-up and shutdown order, message boxes
// and log lines on standard error, SIGINT and SIGTERM shut down in order, SIGHUP reloads the
// settings file. app must not have been created yet: the notes of its start-up go to standard
// error too. Returns the exit status (2 when the settings file cannot be used). Main thread,
// inside a running QGuiApplication.
int runHeadless(Application& app);

} // namespace kestrelon
