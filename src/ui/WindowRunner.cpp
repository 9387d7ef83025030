#include "ui/WindowRunner.h"

#include "app/Application.h"
#include "app/SignalBridge.h"
#include "ui/MainWindow.h"
#include "ui/Prompts.h"
#include "ui/SplashScreen.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>

namespace kestrelon {

int runWindow(Application& app)
{
    Prompts prompts;
    return runWindow(app, prompts);
}

int runWindow(Application& app, Prompts& prompts)
{
    // The window hides to the tray and message boxes come and go: only the shutdown ends the run.
    QApplication::setQuitOnLastWindowClosed(false);

    // The splash covers the start-up, unless [SplashScreen] Hold is cleared: then it is not
    // shown at all, rather than shown and hidden a moment later. The file is read first for
    // that; a file that cannot be used ends the run before anything shows.
    SplashScreen splash;
    std::string error;
    const bool loaded = app.loadSettings(error);
    if (loaded && app.settings().snapshot()->SplashScreen.Hold) {
        splash.start();
    }

    // A question of the start-up (the stream's automatic start) comes before the window: it is
    // asked in the middle of the screen. The window asks the later ones over itself.
    app.setQuestion([&prompts](const QString& text) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QPoint middle = screen ? screen->availableGeometry().center() : QPoint(300, 200);
        return prompts.confirm(nullptr, text, middle - QPoint(150, 50));
    });
    // A message box before the window exists goes to its status bar.
    QString earlyMessage;
    auto early =
        QObject::connect(&app, &Application::messageBox, [&](const QString& text) { earlyMessage = text; });
    const bool created = loaded && app.create(error);
    QObject::disconnect(early);
    if (!created) {
        splash.hideSplash();
        std::fprintf(stderr, "kestrelon: %s\n", error.c_str());
        prompts.message(nullptr, QString::fromStdString(error));
        return 2;
    }

    MainWindow window(app, prompts);
    if (!earlyMessage.isEmpty()) {
        window.setStatusText(earlyMessage);
    }
    // The address detection ran inside create(), before the window could listen to the server.
    window.setDebugNotesVisible(app.webServer().debugNotesShown());
    QObject::connect(&window, &MainWindow::firstShown, &app, &Application::firstShow);
    QObject::connect(&window, &MainWindow::firstActivated, &app, &Application::firstActivate);
    QObject::connect(&window, &MainWindow::panelClicked, &splash, &SplashScreen::hideSplash);
    QObject::connect(
        &window, &MainWindow::finished, qApp, [](int status) { QCoreApplication::exit(status); },
        Qt::QueuedConnection);

    SignalBridge bridge;
    QObject::connect(&bridge, &SignalBridge::terminateRequested, &window, &MainWindow::closeWithoutQuestion);
    QObject::connect(&bridge, &SignalBridge::reloadRequested, &window, [&] {
        if (std::string error = app.reload(); !error.empty()) {
            // Kept in the Message log too: the status bar's text goes with the next one.
            app.messageLog().DisplayMessage(error);
            window.setStatusText(QString::fromStdString(error));
        } else {
            window.setStatusText(
                QString::fromStdString("Settings reloaded from " + app.paths().settingsFile));
        }
    });

    window.show();
    // A new program's window comes to the front; its first activation runs start-up steps, and
    // without a window manager nothing else would activate it.
    window.activateWindow();
    if (splash.isVisible()) {
        splash.raise();
    }
    return QApplication::exec();
}

} // namespace kestrelon
