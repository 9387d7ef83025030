// Kestrelon: loads the settings file, starts the web server and serves until SIGINT or SIGTERM,
// then saves the settings.
#include "core/ProgramPaths.h"
#include "core/Settings.h"
#include "core/SettingsFile.h"
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
    std::fputs("Usage: kestrelon [--headless] [--config FILE] [--listen ADDRESS] [--help] [--version]\n"
               "  --headless        run without a window (the only mode so far)\n"
               "  --config FILE     use FILE as the settings file\n"
               "  --listen ADDRESS  bind the web server to ADDRESS instead of the primary address\n"
               "  --help            show this text\n"
               "  --version         show the version\n",
               stdout);
}

} // namespace

int main(int argc, char** argv)
{
    std::string listen;
    std::string config;
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
        } else if (arg == "--config" && i + 1 < argc) {
            config = argv[++i];
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

    const ProgramPaths paths = ProgramPaths::locate(config);
    SettingsFile file(paths.settingsFile);
    auto loaded = file.load(Settings::defaults(paths.dataDir));
    if (!loaded.error.empty()) {
        std::fprintf(stderr, "kestrelon: %s\n", loaded.error.c_str());
        return 2;
    }
    SettingsModel settings(std::move(loaded.settings));
    MessageLog log([&settings] { return settings.snapshot()->WebServe.Log; });
    log.setSink([](const std::string& line) { std::fprintf(stderr, "server: %s\n", line.c_str()); });
    PortOutputDevice port;
    WebServer server(settings, log, port);
    server.setSettingsFile(paths.settingsFile);
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
    std::string error = file.save(*settings.snapshot());
    server.setSettingsFile(paths.settingsFile); // the save replaced the file
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
    }
    return rc;
}
