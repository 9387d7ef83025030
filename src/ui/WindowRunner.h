#pragma once

namespace kestrelon {

class Application;
class Prompts;

// Runs the application in its window: the splash, then the Application's "create" step behind
// it, the main window, the first showing and first activation, the event loop until the window
// has closed through the shutdown order. SIGINT and SIGTERM close without the question, SIGHUP
// reloads the settings file. app must not have been created yet. Returns the exit status.
// Main thread, inside a running QApplication.
int runWindow(Application& app);
// The same with dialogs answered by prompts (tests).
int runWindow(Application& app, Prompts& prompts);

} // namespace kestrelon
