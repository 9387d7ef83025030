// The Web Server page's wiring: its buttons reach the server, the server's state and the
// settings model reach its widgets.
#include "ui/WebServerPage.h"
#include "support/RawHttpClient.h"
#include "ui/LogView.h"
#include "ui/MainWindow.h"
#include "ui/UiFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

using WebServerPageTest = UiTest;

QColor textColour(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

std::vector<std::string> blocked(Application& app)
{
    return app.settings().snapshot()->blocked;
}

} // namespace

TEST_F(WebServerPageTest, StartStopReachesTheServerAndTheCaptionsFollow)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    WebServerPage* page = window.webServerPage();
    EXPECT_EQ(page->btnStartServer->text(), "Start Server");
    EXPECT_EQ(window.Label10->text(), "Stopped");
    ASSERT_TRUE(page->btnStartServer->isEnabled());
    EXPECT_EQ(page->cbLocalHost->currentText(), "127.0.0.1");
    EXPECT_EQ(page->cbLocalHost->itemText(page->cbLocalHost->count() - 1), "127.0.0.1");

    page->btnStartServer->click();
    ASSERT_TRUE(app->webServer().running());
    EXPECT_EQ(page->btnStartServer->text(), "Stop Server");
    EXPECT_EQ(window.Label10->text(), "Running");
    EXPECT_EQ(textColour(window.Label10), QColor(0x00, 0x80, 0x00));
    EXPECT_FALSE(page->edRoot->isEnabled());
    EXPECT_FALSE(page->btnBrowse->isEnabled());
    EXPECT_FALSE(page->GroupBox1->isEnabled());
    auto reply = httpGet(app->webServer().boundPort(), "/");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "INDEX");
    // The log view follows the log, lines from the request threads included.
    ASSERT_TRUE(processUntil([&] {
        return page->memLog->toPlainText().contains("Serving file") &&
               page->Label79->text().toULongLong() == app->messageLog().lineCount();
    }));
    EXPECT_TRUE(page->memLog->toPlainText().contains("Listening for HTTP connections on 127.0.0.1:"));

    page->btnStartServer->click();
    EXPECT_FALSE(app->webServer().running());
    EXPECT_EQ(page->btnStartServer->text(), "Start Server");
    EXPECT_EQ(window.Label10->text(), "Stopped");
    EXPECT_EQ(textColour(window.Label10), QColor(Qt::black));
    EXPECT_TRUE(page->edRoot->isEnabled());
    EXPECT_TRUE(page->GroupBox1->isEnabled());

    // The address typed into the list is the one the server binds; one it cannot bind fails
    // with a message, which goes to the status bar while the window is not on the screen.
    page->cbLocalHost->setEditText("999.1.1.1");
    page->btnStartServer->click();
    EXPECT_FALSE(app->webServer().running());
    EXPECT_EQ(page->btnStartServer->text(), "Start Server");
    EXPECT_FALSE(page->edRoot->isEnabled()); // stays disabled after a failed start
    ASSERT_TRUE(processUntil([&] { return window.statusText() == "Unable to assign address 999.1.1.1"; }));
    EXPECT_TRUE(prompts.messages.isEmpty());
    window.show();
    page->btnStartServer->click();
    ASSERT_TRUE(processUntil([&] { return prompts.messages.size() == 1; }));
    EXPECT_EQ(prompts.messages.first(), "Unable to assign address 999.1.1.1");
}

TEST_F(WebServerPageTest, RootWarningAndSettingsFollowTheWidgetsAndTheModel)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    WebServerPage* page = window.webServerPage();
    auto web = [&] { return app->settings().snapshot()->WebServe; };
    auto warningShown = [&] { return !page->Label54->isHidden(); };
    EXPECT_EQ(page->Label54->text(), " Root Folder or Default Filename does not exist! ");
    EXPECT_FALSE(warningShown());

    // Typed text goes to the settings at once, and the Start button follows it.
    page->edRoot->setText(QString::fromStdString(webRoot() + "/missing"));
    EXPECT_EQ(web().Root, webRoot() + "/missing");
    EXPECT_FALSE(page->btnStartServer->isEnabled());
    EXPECT_FALSE(page->cbAutoStartServer->isEnabled());
    EXPECT_TRUE(warningShown());
    page->edRoot->setText(QString::fromStdString(webRoot() + "/"));
    EXPECT_TRUE(page->btnStartServer->isEnabled());
    EXPECT_TRUE(page->cbAutoStartServer->isEnabled());
    EXPECT_FALSE(warningShown());
    // Leaving the box drops the trailing "/".
    Q_EMIT page->edRoot->editingFinished();
    EXPECT_EQ(page->edRoot->text().toStdString(), webRoot());
    EXPECT_EQ(web().Root, webRoot());
    page->edDefaultFile->setText("nothere.html");
    EXPECT_FALSE(page->btnStartServer->isEnabled());
    EXPECT_TRUE(warningShown());

    // One choice in the Browse dialog sets the root folder and the default file.
    prompts.fileAnswer = QString::fromStdString(dir.write("site/home.htm", "HOME"));
    page->btnBrowse->click();
    ASSERT_EQ(prompts.fileDialogs.size(), 1);
    EXPECT_EQ(prompts.fileDialogs.first().toStdString(),
              webRoot() +
                  "|All Files (*.htm *.html *.js);;HTML Files (*.htm *.html);;Script Files (*.js)|htm");
    EXPECT_EQ(web().Root, dir.path() + "/site");
    EXPECT_EQ(web().RootFile, "home.htm");
    EXPECT_TRUE(page->btnStartServer->isEnabled());
    EXPECT_FALSE(warningShown());

    // Boxes write their settings; a change of the model (a reload, a remote disable) shows.
    page->cbRevDNS->click();
    EXPECT_TRUE(web().RevDNS);
    page->edPassword->setText("secret");
    EXPECT_EQ(web().Pass, "secret");
    EXPECT_EQ(page->edPort->maxLength(), 5);
    app->settings().update([](Settings& s) {
        s.WebServe.Auth = true;
        s.WebServe.User = "ann";
        s.blocked = {"10.0.0.1"};
    });
    EXPECT_TRUE(page->cbAuthentication->isChecked());
    EXPECT_EQ(page->edUserName->text(), "ann");
    ASSERT_EQ(page->BlockedList->count(), 1);
    EXPECT_EQ(page->BlockedList->item(0)->text(), "10.0.0.1");

    // A reload of the settings file (SIGHUP) reaches the widgets, the Start button included.
    writeSettings("RootFile=gone.html\n");
    ASSERT_EQ(app->reload(), "");
    EXPECT_EQ(page->edRoot->text().toStdString(), webRoot());
    EXPECT_EQ(page->edDefaultFile->text(), "gone.html");
    EXPECT_FALSE(page->cbAuthentication->isChecked());
    EXPECT_EQ(page->BlockedList->count(), 0);
    EXPECT_FALSE(page->btnStartServer->isEnabled());
    EXPECT_TRUE(warningShown());
}

TEST_F(WebServerPageTest, LogPopupItemsAndBlockedList)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    WebServerPage* page = window.webServerPage();
    LogView* log = page->logView;
    app->messageLog().clear();
    processEvents();

    QStringList items;
    for (QAction* action : log->popupMenu()->actions()) {
        items << (action->isSeparator() ? QString("-") : action->text());
    }
    EXPECT_EQ(items, QStringList({"Copy", "Select All", "-", "Clear Log", "Save Log As...", "-",
                                  "Add To Blocked List"}));
    auto enabled = [&] {
        log->popupMenu();
        return std::vector<bool>{log->copyAction->isEnabled(), log->selectAllAction->isEnabled(),
                                 log->clearAction->isEnabled(), log->saveAction->isEnabled(),
                                 page->memBlock->isEnabled()};
    };
    EXPECT_EQ(enabled(), std::vector<bool>({false, false, false, false, false}));

    app->messageLog().DisplayMessage("Command GET / received from 127.0.0.5:4000  [?]");
    app->messageLog().DisplayMessage("Serving file index.html to 127.0.0.5:4000");
    ASSERT_TRUE(processUntil([&] { return page->Label79->text() == "2"; }));
    EXPECT_EQ(page->memLog->document()->blockCount(), 2); // no empty first line
    EXPECT_EQ(enabled(), std::vector<bool>({false, true, true, true, false}));
    page->memLog->moveCursor(QTextCursor::Start);
    ASSERT_TRUE(page->memLog->find("127.0.0.5"));
    EXPECT_EQ(enabled(), std::vector<bool>({true, true, true, true, true}));

    // "Add To Blocked List" takes the selected text.
    page->memBlock->trigger();
    EXPECT_EQ(blocked(*app), std::vector<std::string>({"127.0.0.5"}));
    ASSERT_EQ(page->BlockedList->count(), 1);

    // "Save Log As..." writes every line.
    prompts.fileAnswer = QString::fromStdString(dir.path() + "/saved.txt");
    log->saveAction->trigger();
    EXPECT_EQ(prompts.fileDialogs.last().toStdString(), app->paths().dataDir + "|Log Files (*.txt)|txt");
    auto lines = app->messageLog().lines();
    EXPECT_EQ(readFile(dir.path() + "/saved.txt"), lines[0] + "\n" + lines[1] + "\n");

    log->selectAllAction->trigger();
    EXPECT_EQ(page->memLog->textCursor().selectedText().size(), page->memLog->toPlainText().size());
    log->clearAction->trigger();
    EXPECT_EQ(app->messageLog().lineCount(), 0u);
    EXPECT_TRUE(page->memLog->toPlainText().isEmpty());
    EXPECT_EQ(page->Label79->text(), "0");
    EXPECT_EQ(enabled(), std::vector<bool>({false, false, false, false, false}));
    // A line after the clear starts the view afresh.
    app->messageLog().DisplayMessage("Server stopped");
    ASSERT_TRUE(processUntil([&] { return page->Label79->text() == "1"; }));
    EXPECT_TRUE(page->memLog->toPlainText().endsWith("   Server stopped"));

    // "Add": a cancelled input box adds an empty entry.
    prompts.inputAnswer = "";
    page->btnAddBlocked->click();
    EXPECT_EQ(prompts.inputTitles, QStringList({"Add Item"}));
    EXPECT_EQ(prompts.inputPrompts, QStringList({""}));
    prompts.inputAnswer = "evil.example";
    page->btnAddBlocked->click();
    EXPECT_EQ(blocked(*app), std::vector<std::string>({"127.0.0.5", "", "evil.example"}));
    ASSERT_EQ(page->BlockedList->count(), 3);

    // "Remove" takes the selected entry, and nothing without one.
    page->BlockedList->clearSelection();
    page->btnRemoveBlocked->click();
    EXPECT_EQ(blocked(*app).size(), 3u);
    page->BlockedList->setCurrentRow(0);
    page->btnRemoveBlocked->click();
    EXPECT_EQ(blocked(*app), std::vector<std::string>({"", "evil.example"}));
    EXPECT_EQ(page->BlockedList->item(1)->text(), "evil.example");
}
