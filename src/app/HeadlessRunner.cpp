#include "app/HeadlessRunner.h"

#include "app/Application.h"
#include "app/SignalBridge.h"
#include "core/AsyncLineWriter.h"

#include <QCoreApplication>

#include <memory>
#include <unistd.h>

namespace kestrelon {

int runHeadless(Application& app)
{
    // Every line goes to standard error from a writer thread of its own: a standard error nobody
    // reads never holds up a request or the shutdown. The logs keep the writer for as long as they
    // can still hand it lines.
    auto standardError = std::make_shared<AsyncLineWriter>(STDERR_FILENO);
    const auto printLine = [standardError](const std::string& line) { standardError->write(line); };
    // Message boxes become lines, from the first step of the start-up on ("Debug Active. ...").
    QObject::connect(&app, &Application::messageBox,
                     [printLine](const QString& text) { printLine(text.toLocal8Bit().toStdString()); });
    // The stream may start in the start-up already.
    const auto videoLine = [printLine](const QString& text) {
        printLine("video: " + text.simplified().toLocal8Bit().toStdString());
    };
    QObject::connect(&app, &Application::streamStatusLine, videoLine);
    std::string error;
    if (!app.create(error)) {
        printLine("kestrelon: " + error);
        standardError->flush(std::chrono::seconds(1));
        return 2;
    }
    if (!app.firstStartNote().empty()) {
        printLine(app.firstStartNote());
    }
    // Every log line goes to standard error too, prefixed with the log's name.
    app.messageLog().mirrorTo(standardError, "server: ");
    // No window shows the Message log: its lines, two a request, go to standard error alone.
    app.messageLog().setKeepsLines(false);
    app.timeCheck().log().mirrorTo(standardError, "time: ");
    app.ipRefreshLog().mirrorTo(standardError, "iprefresh: ");
    // Why a check found no time, on a line of its own after the check's line.
    QObject::connect(&app.timeCheck(), &TimeCheck::checkFinished, [&app, printLine] {
        if (!app.timeCheck().lastError().empty()) {
            printLine("time: error: " + app.timeCheck().lastError());
        }
    });
    // The camera's status texts; a text of several lines becomes one.
    QObject::connect(&app.camera(), &Camera::statusLine, [printLine](const QString& text) {
        printLine("camera: " + text.simplified().toLocal8Bit().toStdString());
    });
    // The upload log, and after a failed upload's lines why it failed (both only while the log is
    // enabled).
    SnapshotUpload& upload = app.snapshotUpload();
    upload.log().mirrorTo(standardError, "upload: ");
    QObject::connect(&upload, &SnapshotUpload::uploadFinished, [&app, &upload, printLine](bool succeeded) {
        if (!succeeded && app.settings().snapshot()->Camera.CameraLog) {
            printLine("upload: error: " + upload.lastError());
        }
    });

    // The stream's viewers, whenever the per-second refresh finds them changed.
    QObject::connect(&app.videoStreaming(), &VideoStreaming::clientListChanged,
                     [videoLine](const QStringList& clients) {
                         videoLine("Client connections: " +
                                   (clients.isEmpty() ? QStringLiteral("none") : clients.join(", ")));
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
    const int result = QCoreApplication::exec() == 0 ? status : 1;
    // The shutdown's last lines, as far as the reader takes them in a moment.
    standardError->flush(std::chrono::seconds(1));
    return result;
}

} // namespace kestrelon
