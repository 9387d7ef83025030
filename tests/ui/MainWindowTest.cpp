// The main window's wiring: the section panels, the tray, the close question and the run of the
// window from start to end.
#include "ui/MainWindow.h"
#include "app/SignalBridge.h"
#include "core/IniFile.h"
#include "ui/SectionPage.h"
#include "ui/SectionPanel.h"
#include "ui/SplashScreen.h"
#include "ui/SystemPage.h"
#include "ui/TrayController.h"
#include "ui/UiFixture.h"
#include "ui/WebServerPage.h"
#include "ui/WindowRunner.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>

#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

using MainWindowTest = UiTest;

void click(QWidget* widget, QFrame::Shadow* shadowWhileDown = nullptr)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    const QPointF global = widget->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    if (auto* frame = qobject_cast<QFrame*>(widget); frame && shadowWhileDown) {
        *shadowWhileDown = frame->frameShadow();
    }
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// Runs the current test alone in a new process of this program; returns its exit status.
int runInFreshProcess()
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::string program = "ui_tests";
    char* argv[] = {program.data(), filter.data(), nullptr};
    std::vector<std::string> variables = {"KESTRELON_UI_FRESH_PROCESS=1"};
    for (char** e = environ; *e; ++e) {
        variables.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (auto& v : variables) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, envp.data()) != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST_F(MainWindowTest, PanelsSwitchThePagesAndLayoutFollowsTheSettings)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    EXPECT_EQ(window.windowTitle(), "Kestrelon");
    EXPECT_EQ(window.minimumSize(), QSize(643, 499));
    EXPECT_EQ(window.maximumSize(), QSize(935, 695));
    EXPECT_EQ(window.Panel1->title(), "Kestrelon");
    EXPECT_TRUE(window.Panel43->isHidden());

    int clicks = 0;
    QObject::connect(&window, &MainWindow::panelClicked, [&] { ++clicks; });
    const QStringList captions = {"Web Server", "Camera", "Video", "Time Server", "System", "IP-Refresh"};
    ASSERT_EQ(window.sectionPanels.size(), 6u);
    for (int i = 5; i >= 0; --i) {
        SectionPanel* panel = window.sectionPanels[static_cast<size_t>(i)];
        EXPECT_EQ(panel->caption(), captions[i]);
        QFrame::Shadow down = QFrame::Plain;
        click(panel, &down);
        EXPECT_EQ(down, QFrame::Sunken);
        EXPECT_EQ(panel->frameShadow(), QFrame::Raised);
        EXPECT_EQ(window.PageControl1->currentIndex(), i);
        auto* page = qobject_cast<SectionPage*>(window.PageControl1->currentWidget());
        ASSERT_TRUE(page);
        EXPECT_EQ(page->title(), i == MainWindow::kVideoPage ? QString("Video Encoder") : captions[i]);
    }
    EXPECT_EQ(clicks, 6);

    // Help opens the user guide in the desktop's viewer; when none opens, it says where it is.
    ASSERT_TRUE(window.Panel25->isEnabled());
    const QString guide = QString::fromStdString(app->helpDocumentPath());
    click(window.Panel25);
    EXPECT_EQ(prompts.documentsOpened, QStringList({guide}));
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages.first().contains(guide)) << prompts.messages.first().toStdString();
    prompts.openAnswer = true;
    click(window.Panel25);
    EXPECT_EQ(prompts.messages.size(), 1);
    // Help with its document gone: the product's message instead.
    std::filesystem::remove(app->helpDocumentPath());
    click(window.Panel25);
    ASSERT_EQ(prompts.messages.size(), 2);
    EXPECT_TRUE(prompts.messages.last().startsWith("Kestrelon"));
    EXPECT_EQ(clicks, 9);

    // The state labels start "Stopped"; "Scrollbars (120 dpi)" asks for a restart while shown.
    for (QLabel* label : {window.Label10, window.Label30, window.Label11, window.Label42}) {
        EXPECT_EQ(label->text(), "Stopped");
    }
    window.systemPage()->cbScrollForm->click();
    EXPECT_TRUE(app->settings().snapshot()->System.Scrollbars);
    EXPECT_EQ(prompts.messages.size(), 2); // not visible: no message
    window.show();
    window.systemPage()->cbScrollForm->click();
    EXPECT_EQ(prompts.messages.last(), "Please close 'Kestrelon' and restart for change to take effect");
    EXPECT_FALSE(window.scrollLayout()); // only at the next start

    // Scroll-bar layout: no maximum size, the pages in a scroll area, no caption on the panel.
    writeSettings("[System]\nScrollbars=1\n");
    auto scrolling = makeApp();
    MainWindow scrolled(*scrolling, prompts);
    EXPECT_TRUE(scrolled.scrollLayout());
    EXPECT_EQ(scrolled.minimumSize(), QSize(643, 499));
    EXPECT_EQ(scrolled.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    EXPECT_TRUE(scrolled.Panel1->title().isEmpty());
    auto* area = scrolled.findChild<QScrollArea*>("PageScroll");
    ASSERT_TRUE(area);
    EXPECT_EQ(area->widget(), scrolled.PageControl1);
}

TEST_F(MainWindowTest, MinimiseGoesToTheTrayOnlyWhenOneExists)
{
    writeSettings("Minimize=1\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    int shown = 0;
    int activated = 0;
    int panelClicks = 0;
    QObject::connect(&window, &MainWindow::firstShown, [&] { ++shown; });
    QObject::connect(&window, &MainWindow::firstActivated, [&] { ++activated; });
    QObject::connect(&window, &MainWindow::panelClicked, [&] { ++panelClicks; });
    TrayController& tray = window.tray();
    EXPECT_EQ(tray.TrayIcon->toolTip(), "Kestrelon");
    QStringList menu;
    for (QAction* action : tray.PopupMenu2->actions()) {
        menu << (action->isSeparator() ? QString("-") : action->text());
    }
    EXPECT_EQ(menu, QStringList({"Restore Kestrelon", "-", "Exit"}));

    window.show();
    ASSERT_TRUE(processUntil([&] { return shown == 1 && activated == 1; }));
    EXPECT_EQ(panelClicks, 0); // showing the first page at the activation keeps the splash

    // The offscreen platform has no tray, as some desktops have none: an ordinary minimise.
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    window.setWindowState(Qt::WindowMinimized);
    processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
    EXPECT_FALSE(tray.inTray());
    EXPECT_FALSE(tray.TrayIcon->isVisible());
    window.showNormal();

    // With a tray the window hides and the icon shows; restoring reverses both.
    tray.setTrayAvailable([] { return true; });
    window.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(processUntil([&] { return !window.isVisible(); }));
    EXPECT_TRUE(tray.inTray());
    EXPECT_TRUE(tray.TrayIcon->isVisible());
    tray.Tray->trigger();
    processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_FALSE(tray.TrayIcon->isVisible());

    // "Minimize to SysTray" cleared on the System page: an ordinary minimise again.
    window.systemPage()->findChild<QCheckBox*>("cbMinimize")->click();
    EXPECT_FALSE(app->settings().snapshot()->WebServe.Minimize);
    window.setWindowState(Qt::WindowMinimized);
    processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(tray.TrayIcon->isVisible());
    window.showNormal();
    processEvents();

    // The start-up steps ran once, whatever came after.
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(activated, 1);
}

TEST_F(MainWindowTest, CloseQuestionNoLeavesEverythingAndYesShutsDown)
{
    writeSettings("ClosePrompt=1\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    int finished = 0;
    QObject::connect(&window, &MainWindow::finished, [&] { ++finished; });
    window.show();
    processEvents();
    window.webServerPage()->btnStartServer->click();
    ASSERT_TRUE(app->webServer().running());
    // A changed setting, which a shutdown would write.
    window.webServerPage()->findChild<QLineEdit*>("edLogin")->setText("Members only");
    const std::string before = readFile(settingsFile());

    prompts.confirmAnswer = false;
    EXPECT_FALSE(window.close());
    ASSERT_EQ(prompts.questions, QStringList({"Close Kestrelon?"}));
    EXPECT_EQ(prompts.questionAt, MainWindow::closeQuestionPosition(true, window.frameGeometry(), QSize()));
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(app->webServer().running());
    EXPECT_EQ(readFile(settingsFile()), before);
    EXPECT_TRUE(app->helpDocumentExists());
    EXPECT_EQ(finished, 0);

    // The question's place: over the window's middle, or near the screen's corner.
    EXPECT_EQ(MainWindow::closeQuestionPosition(true, QRect(100, 50, 700, 500), QSize(1920, 1080)),
              QPoint(430, 270));
    EXPECT_EQ(MainWindow::closeQuestionPosition(false, QRect(100, 50, 700, 500), QSize(1920, 1080)),
              QPoint(1720, 860));

    // Yes, but the settings cannot be written: the message, and the window stays.
    prompts.confirmAnswer = true;
    ::chmod(settingsFile().c_str(), 0444);
    EXPECT_FALSE(window.close());
    ASSERT_FALSE(prompts.messages.isEmpty());
    EXPECT_EQ(prompts.messages.last().toStdString(), "Unable to write to " + settingsFile());
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(app->webServer().running()); // the server stops before the save
    EXPECT_EQ(finished, 0);

    // Yes with a writable file: the shutdown order runs to its end.
    ::chmod(settingsFile().c_str(), 0644);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(IniFile(readFile(settingsFile())).value("WebServe", "Login"), "Members only");
    EXPECT_FALSE(app->helpDocumentExists());
}

TEST_F(MainWindowTest, RunWindowStartsInOrderAndSigtermClosesWithoutTheQuestion)
{
    // SIGTERM goes to the whole process, so no thread but the signal bridge's may take it; idle
    // pool threads that earlier tests left behind would. The run happens in a fresh copy of
    // this test program.
    if (!std::getenv("KESTRELON_UI_FRESH_PROCESS")) {
        EXPECT_EQ(runInFreshProcess(), 0);
        return;
    }
    // As main() does, before any thread starts.
    SignalBridge::block();
    writeSettings("AutoStart=1\nClosePrompt=1\nSendValue=1\nPortValue=5\n[SplashScreen]\nHold=0\n");
    const std::string record = dir.path() + "/port.txt";
    ::setenv("KESTRELON_PORT_RECORD", record.c_str(), 1);
    auto app = makeApp({}, false);
    FakePrompts prompts;

    // Hold cleared: the splash is never shown, not even for a moment.
    struct ShowWatcher : QObject {
        int splashShows = 0;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            splashShows += event->type() == QEvent::Show && qobject_cast<SplashScreen*>(watched);
            return false;
        }
    } watcher;
    qApp->installEventFilter(&watcher);
    bool sawRunning = false;
    bool splashGoneBeforeWindow = true;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        MainWindow* window = nullptr;
        SplashScreen* splash = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            window = window ? window : qobject_cast<MainWindow*>(widget);
            splash = splash ? splash : qobject_cast<SplashScreen*>(widget);
        }
        if (window && window->isVisible() && splash && splash->isVisible()) {
            splashGoneBeforeWindow = false;
        }
        if (!sawRunning && window && app->webServer().running()) {
            sawRunning = true;
            EXPECT_EQ(window->Label10->text(), "Running");
            ::kill(::getpid(), SIGTERM);
        }
    });
    poll.start();
    QTimer::singleShot(15000, [] { QCoreApplication::exit(99); });

    EXPECT_EQ(runWindow(*app, prompts), 0);
    EXPECT_TRUE(sawRunning);                 // AutoStart at the first showing
    EXPECT_EQ(readFile(record), "0278 5\n"); // the start-up port value at the first activation
    EXPECT_TRUE(splashGoneBeforeWindow);
    EXPECT_EQ(watcher.splashShows, 0);
    qApp->removeEventFilter(&watcher);
    EXPECT_TRUE(prompts.questions.isEmpty());
    EXPECT_FALSE(app->webServer().running());
    EXPECT_FALSE(app->helpDocumentExists()); // the shutdown order ran to its end
    // The settings were written: the short file now holds every section.
    EXPECT_EQ(IniFile(readFile(settingsFile())).value("System", "Debug"), "0");
}

TEST_F(MainWindowTest, AHiddenSplashIsGoneWithItsNativeWindow)
{
    SplashScreen splash;
    splash.start();
    EXPECT_TRUE(splash.isVisible());
    EXPECT_TRUE(splash.testAttribute(Qt::WA_WState_Created));
    click(&splash);
    EXPECT_TRUE(splash.finished());
    EXPECT_FALSE(splash.isVisible());
    EXPECT_FALSE(splash.testAttribute(Qt::WA_WState_Created));
    splash.start(); // once hidden it never comes back
    EXPECT_FALSE(splash.isVisible());
}

TEST_F(MainWindowTest, ASignalClosesWhateverTheFileAndAChangedFileIsReplacedOnlyWhenTheUserSaysSo)
{
    writeSettings("ClosePrompt=0\n");
    // A shown window on an Application of its own, and the status its close ends with.
    struct Run {
        std::unique_ptr<Application> app;
        FakePrompts prompts;
        std::unique_ptr<MainWindow> window;
        int status = -1;
    };
    auto start = [&] {
        auto run = std::make_unique<Run>();
        run->app = makeApp();
        run->window = std::make_unique<MainWindow>(*run->app, run->prompts);
        QObject::connect(run->window.get(), &MainWindow::finished,
                         [r = run.get()](int exitStatus) { r->status = exitStatus; });
        run->window->show();
        processEvents();
        return run;
    };

    auto run = start();
    // Another program writes the file; "Save" asks before it replaces that, No keeps it.
    const std::string theirs = "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + webRoot() + "\nLogin=theirs\n";
    dir.write("kestrelon.ini", theirs);
    run->prompts.confirmAnswer = false;
    run->window->systemPage()->Button8->click();
    ASSERT_EQ(run->prompts.questions.size(), 1);
    EXPECT_TRUE(run->prompts.questions[0].contains("was changed by another program"));
    EXPECT_EQ(readFile(settingsFile()), theirs);
    // The close asks the same; Yes replaces it.
    run->prompts.confirmAnswer = true;
    EXPECT_TRUE(run->window->close());
    EXPECT_EQ(run->prompts.questions.size(), 2);
    EXPECT_TRUE(run->prompts.messages.isEmpty());
    EXPECT_EQ(run->status, 0);
    EXPECT_EQ(IniFile(readFile(settingsFile())).value("WebServe", "Login"), "");

    // SIGTERM or SIGINT with a file that cannot be written: no box that nobody answers; the
    // shutdown runs to its end and the run ends with status 1.
    run = start();
    ::chmod(settingsFile().c_str(), 0444);
    run->window->closeWithoutQuestion();
    EXPECT_FALSE(run->window->isVisible());
    EXPECT_EQ(run->status, 1);
    EXPECT_TRUE(run->prompts.messages.isEmpty());
    EXPECT_FALSE(run->app->helpDocumentExists());
    ::chmod(settingsFile().c_str(), 0644);
}
