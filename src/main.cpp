// Kestrelon: the settings file, the start-up order, the web server; until SIGINT or SIGTERM, then
// the shutdown order.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/HeadlessRunner.h"
#include "app/SignalBridge.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kestrelon;

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine cmd = CommandLine::parse(arguments);
    if (!cmd.error.empty()) {
        std::fprintf(stderr, "kestrelon: %s\n%s", cmd.error.c_str(), CommandLine::usage());
        return 2;
    }
    if (cmd.help) {
        std::fputs(CommandLine::usage(), stdout);
        return 0;
    }
    if (cmd.version) {
        std::printf("Kestrelon %s\n", KESTRELON_VERSION);
        return 0;
    }

    // Before any thread starts: only the signal bridge's thread takes these signals.
    SignalBridge::block();

    // The window comes with its own issue; until then every run is headless. A headless run
    // still has fonts and images through the offscreen platform.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication qapp(argc, argv);
    QGuiApplication::setApplicationName("Kestrelon");

    Application app(cmd);
    std::string error;
    if (!app.create(error)) {
        std::fprintf(stderr, "kestrelon: %s\n", error.c_str());
        return 2;
    }
    return runHeadless(app);
}
