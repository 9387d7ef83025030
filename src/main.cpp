// Kestrelon: the settings file, the start-up order, the web server, in the window or headless;
// until the window closes, or SIGINT or SIGTERM, then the shutdown order.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/HeadlessRunner.h"
#include "app/SignalBridge.h"
#include "ui/WindowRunner.h"

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace kestrelon;

namespace {

// A display to open the window on. A platform named explicitly decides; "offscreen" has no
// screen anybody sees.
bool displayAvailable()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) {
        return std::string(platform).rfind("offscreen", 0) != 0;
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

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

    if (!cmd.headless && displayAvailable()) {
        QApplication qapp(argc, argv);
        QApplication::setApplicationName("Kestrelon");
        // Lets the desktop match the window with the installed kestrelon.desktop and its icon.
        QGuiApplication::setDesktopFileName("kestrelon");
        // The window loads the settings itself, behind its splash screen.
        Application app(cmd);
        return runWindow(app);
    }

    // A headless run still has fonts and images through the offscreen platform. The platform is
    // chosen when the application object is made; afterwards the environment is put back, so
    // the external programs this run starts do not inherit it.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::optional<std::string> previous =
        platform ? std::optional<std::string>(platform) : std::nullopt;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication qapp(argc, argv);
    if (previous) {
        ::setenv("QT_QPA_PLATFORM", previous->c_str(), 1);
    } else {
        ::unsetenv("QT_QPA_PLATFORM");
    }
    QGuiApplication::setApplicationName("Kestrelon");

    Application app(cmd);
    return runHeadless(app);
}
