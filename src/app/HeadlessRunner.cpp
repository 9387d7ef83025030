#include "app/HeadlessRunner.h"

#include "app/Application.h"
#include "app/SignalBridge.h"

#include <QCoreApplication>

#include <cstdio>

namespace kestrelon {

namespace {

void printLine(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace

int runHeadless(Application& app)
{
    // Every log line goes to standard error too, prefixed with the log's name.
    app.messageLog().setSink([](const std::string& line) { printLine("server: " + line); });
    app.timeCheck().log().setSink([](const std::string& line) { printLine("time: " + line); });
    QObject::connect(&app, &Application::messageBox,
                     [](const QString& text) { printLine(text.toLocal8Bit().toStdString()); });

    SignalBridge bridge;
    int status = 0;
    QObject::connect(&bridge, &SignalBridge::terminateRequested, [&] {
        // Headless there is nobody to ask: the close question takes its safe answer, which is
        // to close as asked.
        if (std::string error = app.shutdown(); !error.empty()) {
            printLine(error);
            status = 1;
        }
        QCoreApplication::exit(status);
    });
    QObject::connect(&bridge, &SignalBridge::reloadRequested, [&] {
        if (std::string error = app.reload(); !error.empty()) {
            printLine(error);
        } else {
            printLine("Settings reloaded from " + app.paths().settingsFile);
        }
    });

    app.firstShow();
    app.firstActivate();
    printLine("Kestrelon runs without a window. Stop it with Ctrl+C or: kill " +
              std::to_string(QCoreApplication::applicationPid()));
    return QCoreApplication::exec() == 0 ? status : 1;
}

} // namespace kestrelon
