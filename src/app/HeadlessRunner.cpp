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
    // Message boxes become lines, from the first step of the start-up on ("Debug Active. ...").
    QObject::connect(&app, &Application::messageBox,
                     [](const QString& text) { printLine(text.toLocal8Bit().toStdString()); });
    std::string error;
    if (!app.create(error)) {
        printLine("kestrelon: " + error);
        return 2;
    }
    // Every log line goes to standard error too, prefixed with the log's name.
    app.messageLog().setSink([](const std::string& line) { printLine("server: " + line); });
    const auto timeSink = [](const std::string& line) { printLine("time: " + line); };
    app.timeCheck().log().setSink(timeSink);
    // Why a check found no time, on a line of its own after the check's line.
    QObject::connect(&app.timeCheck(), &TimeCheck::checkFinished, [&app, timeSink] {
        if (!app.timeCheck().lastError().empty()) {
            timeSink("error: " + app.timeCheck().lastError());
        }
    });

    SignalBridge bridge;
    int status = 0;
    QObject::connect(&bridge, &SignalBridge::terminateRequested, [&] {
        // Headless there is nobody to ask: the close question takes its safe answer, which is
        // to close as asked, and a file that cannot be written ends the run all the same.
        const auto result = app.shutdown(Application::CloseReason::Signal);
        if (!result.message.empty()) {
            printLine(result.message);
        }
        status = result.exitStatus;
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
