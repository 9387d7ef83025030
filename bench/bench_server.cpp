// A web server for benchmarks: the real WebServer with the settings a benchmark needs
// (root folder, port, logging, reverse lookup), until these come from a settings file.
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "net/MailQueue.h"
#include "portio/PortOutputDevice.h"
#include "portio/RecordingPortBackend.h"
#include "web/MessageLog.h"
#include "web/WebServer.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

using namespace kestrelon;

int main(int argc, char** argv)
{
    Settings s;
    std::string address = "127.0.0.1";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string key = argv[i], value = argv[i + 1];
        if (key == "--root") {
            s.WebServe.Root = value;
        } else if (key == "--port") {
            s.WebServe.Port = value;
        } else if (key == "--log") {
            s.WebServe.Log = value == "1";
        } else if (key == "--revdns") {
            s.WebServe.RevDNS = value == "1";
        } else if (key == "--listen") {
            address = value;
        } else {
            std::fprintf(stderr, "unknown option %s\n", key.c_str());
            return 2;
        }
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    QCoreApplication app(argc, argv);
    SettingsModel settings(s);
    MessageLog log([&settings] { return settings.snapshot()->WebServe.Log; });
    PortOutputDevice port([](uint16_t) { return std::make_unique<RecordingPortBackend>(); });
    MailQueue mail;
    WebServer server(settings, log, port, mail);
    server.ownAddresses().set({"127.0.0.1"}, address);
    server.toggle();
    if (!server.running()) {
        for (auto& line : log.lines()) {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        return 1;
    }
    std::fprintf(stderr, "listening on %s:%u\n", address.c_str(), server.boundPort());
    int sig = 0;
    sigwait(&signals, &sig);
    std::fprintf(stderr, "log lines: %zu\n", log.lineCount());
    server.toggle();
    return 0;
}
