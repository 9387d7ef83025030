// Kestrelon: starts the web server on the built-in settings and serves until SIGINT or SIGTERM.
#include "core/ProgramPaths.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "portio/PortOutputDevice.h"
#include "web/MessageLog.h"
#include "web/WebServer.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <string>
#include <thread>

using namespace kestrelon;

namespace {

void printUsage()
{
    std::fputs("Usage: kestrelon [--headless] [--listen ADDRESS] [--help] [--version]\n"
               "  --headless        run without a window (the only mode so far)\n"
               "  --listen ADDRESS  bind the web server to ADDRESS instead of the primary address\n"
               "  --help            show this text\n"
               "  --version         show the version\n",
               stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::string listen;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage();
            return 0;
        }
        if (arg == "--version") {
            std::printf("Kestrelon %s\n", KESTRELON_VERSION);
            return 0;
        }
        if (arg == "--listen" && i + 1 < argc) {
            listen = argv[++i];
        } else if (arg == "--headless") {
            // Headless is the only mode until the window exists.
        } else {
            std::fprintf(stderr, "kestrelon: unknown argument %s\n", arg.c_str());
            printUsage();
            return 2;
        }
    }

    // Signals are taken by one thread of their own; every other thread keeps them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    QCoreApplication app(argc, argv);

    SettingsModel settings(Settings::defaults(executableDir()));
    MessageLog log([&settings] { return settings.snapshot()->WebServe.Log; });
    log.setSink([](const std::string& line) { std::fprintf(stderr, "server: %s\n", line.c_str()); });
    PortOutputDevice port;
    WebServer server(settings, log, port);
    QObject::connect(&server, &WebServer::messageBox,
                     [](const QString& text) { std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData()); });

    server.GetLocalIP();
    if (!listen.empty()) {
        server.ownAddresses().setSelected(listen);
    }
    server.btnStartServerClick();
    if (!server.running()) {
        return 1;
    }

    std::thread signalThread([&signals] {
        int received = 0;
        while (sigwait(&signals, &received) == 0) {
            if (received == SIGINT || received == SIGTERM) {
                QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                          Qt::QueuedConnection);
                return;
            }
        }
    });
    signalThread.detach();

    int rc = app.exec();
    server.btnStartServerClick();
    return rc;
}
