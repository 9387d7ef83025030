#include "ui/WindowRunner.h"

#include "app/Application.h"
#include "app/SignalBridge.h"
#include "ui/MainWindow.h"
#include "ui/Prompts.h"
#include "ui/SplashScreen.h"

#include <QApplication>

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

    // The splash covers the loading of the settings and the address detection.
    SplashScreen splash;
    splash.start();
    QObject::connect(&app, &Application::splashNotHeld, &splash, &SplashScreen::hideSplash);

    // A message box before the window exists goes to its status bar.
    QString earlyMessage;
    auto early =
        QObject::connect(&app, &Application::messageBox, [&](const QString& text) { earlyMessage = text; });
    std::string error;
    const bool created = app.create(error);
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
    QObject::connect(&window, &MainWindow::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    SignalBridge bridge;
    QObject::connect(&bridge, &SignalBridge::terminateRequested, &window, &MainWindow::closeWithoutQuestion);
    QObject::connect(&bridge, &SignalBridge::reloadRequested, &window, [&] {
        if (std::string error = app.reload(); !error.empty()) {
            window.setStatusText(QString::fromStdString(error));
        } else {
            window.setStatusText(
                QString::fromStdString("Settings reloaded from " + app.paths().settingsFile));
        }
    });

    // [SplashScreen] Hold cleared: the splash is gone before the window shows.
    if (!app.settings().snapshot()->SplashScreen.Hold) {
        splash.hideSplash();
    }
    window.show();
    // A new program's window comes to the front; its first activation runs start-up steps, and
    // without a window manager nothing else would activate it.
    window.activateWindow();
    if (!splash.finished()) {
        splash.raise();
    }
    return QApplication::exec();
}

} // namespace kestrelon
