// The "Time Server" page's wiring: "Check Now" reaches the time check and its line reaches the
// log view, the daily box drives the status panel's label, "Help" opens "Time Format", and the
// settings follow the widgets both ways.
#include "ui/TimeServerPage.h"
#include "support/TimeTestServers.h"
#include "timecheck/TimeCheck.h"
#include "ui/LogView.h"
#include "ui/MainWindow.h"
#include "ui/TimeFormatDialog.h"
#include "ui/UiFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimeEdit>

#include <regex>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

using TimeServerPageTest = UiTest;

QColor textColour(QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

TEST_F(TimeServerPageTest, CheckNowRunsWhileTheWindowRespondsAndTheLogShowsTheLine)
{
    TinyTimeServer server(
        TinyTimeServer::Reply::of(TinyTimeServer::valueOf(std::chrono::system_clock::now()), 400ms));
    writeSettings("[TimeServer]\nServer=" + server.address() + "\nFormat=hh:nn:ss\nLast=before\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    TimeServerPage* page = window.timeServerPage();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->objectName(), "ts3");
    EXPECT_EQ(page->title(), "Time Server");
    EXPECT_EQ(page->Label17->text(), "before");

    const auto started = std::chrono::steady_clock::now();
    page->btnClock->click();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 200ms);
    EXPECT_EQ(window.statusText(), "Connecting to Time Server...");
    ASSERT_TRUE(processUntil([&] { return page->lbTime->shownLines() == 1; }));
    const std::string line = page->lbTime->shownLine(0).toStdString();
    EXPECT_TRUE(std::regex_match(line, std::regex(R"(\d\d:\d\d:\d\d {15}\d\d:\d\d:\d\d)"))) << line;
    EXPECT_EQ(line, app->timeCheck().log().lines().at(0));
    EXPECT_EQ(window.statusText(), "");
    // The server's time in the pattern, shown and remembered.
    EXPECT_EQ(page->Label17->text().toStdString(), line.substr(0, 8));
    EXPECT_EQ(page->Panel16->text(), page->Label17->text());

    page->btnClearTimeLog->click();
    EXPECT_EQ(page->lbTime->shownLines(), 0);
    EXPECT_EQ(app->timeCheck().log().lineCount(), 0u);
}

TEST_F(TimeServerPageTest, TheStateLabelFollowsCheckDaily)
{
    writeSettings("[TimeServer]\nDaily=1\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    TimeServerPage* page = window.timeServerPage();
    // Set at start-up from the settings.
    EXPECT_TRUE(page->cbDaily->isChecked());
    EXPECT_EQ(window.Label30->text(), "Running");
    EXPECT_EQ(textColour(window.Label30), QColor(0x00, 0x80, 0x00));
    EXPECT_TRUE(app->timeCheck().DailyTimer.isActive());

    page->cbDaily->click();
    EXPECT_FALSE(app->settings().snapshot()->TimeServer.Daily);
    EXPECT_EQ(window.Label30->text(), "Stopped");
    EXPECT_EQ(textColour(window.Label30), QColor(Qt::black));
    EXPECT_FALSE(app->timeCheck().DailyTimer.isActive());

    page->cbDaily->click();
    EXPECT_TRUE(app->settings().snapshot()->TimeServer.Daily);
    EXPECT_EQ(window.Label30->text(), "Running");
    EXPECT_TRUE(app->timeCheck().DailyTimer.isActive());
}

TEST_F(TimeServerPageTest, HelpOpensTimeFormatWithItsTextAndOkClosesIt)
{
    writeSettings();
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    window.show();
    TimeServerPage* page = window.timeServerPage();

    page->btnHelp->click();
    auto* dialog = window.findChild<TimeFormatDialog*>("TForm2");
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(processUntil([&] { return dialog->isVisible(); }));
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->windowTitle(), "Time Format");
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_EQ(dialog->Memo1->toPlainText(), QString::fromLatin1(kTimeFormatHelp));
    EXPECT_TRUE(dialog->Memo1->isReadOnly());
    EXPECT_TRUE(QFontInfo(dialog->Memo1->font()).fixedPitch());
    // The whole text fits: nothing to scroll.
    EXPECT_EQ(dialog->Memo1->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(dialog->Memo1->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(dialog->Button1->text(), "OK");
    dialog->Button1->click();
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(TimeServerPageTest, TheControlsAreBoundToTheSettingsBothWays)
{
    writeSettings("[TimeServer]\nDailyTime=08:15:00\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    TimeServerPage* page = window.timeServerPage();

    ASSERT_EQ(page->cboxTimeServer->count(), 6);
    EXPECT_EQ(page->cboxTimeServer->itemText(0), "129.6.15.28");
    EXPECT_EQ(page->cboxTimeServer->currentText(), "129.6.15.28");
    EXPECT_EQ(page->spDateTime->displayFormat(), "HH:mm");
    EXPECT_EQ(page->spDateTime->time(), QTime(8, 15));
    EXPECT_EQ(page->edFormat->text(), "ddd dd mmm yyyy hh:nn:ss");

    page->cboxTimeServer->setCurrentIndex(4);
    page->spDateTime->setTime(QTime(7, 30));
    page->edFormat->setText("hh:nn");
    page->cbAdjustClock->click();
    page->cbAutoTime->click();
    auto s = app->settings().snapshot();
    EXPECT_EQ(s->TimeServer.Server, "132.163.97.1");
    EXPECT_EQ(s->TimeServer.DailyTime, 7 * 3600 + 30 * 60);
    EXPECT_EQ(s->TimeServer.Format, "hh:nn");
    EXPECT_TRUE(s->TimeServer.Auto);
    // Never leave the real clock setter armed in a test.
    page->cbAdjustClock->click();
    EXPECT_FALSE(app->settings().snapshot()->TimeServer.PCAdjust);

    app->settings().update([](Settings& all) {
        all.TimeServer.Last = "Sat 12 Feb 2005  16:45:23";
        all.TimeServer.DailyTime = 22 * 3600 + 5 * 60;
        all.TimeServer.Server = "127.0.0.1:3737";
    });
    EXPECT_EQ(page->Label17->text(), "Sat 12 Feb 2005  16:45:23");
    EXPECT_EQ(page->spDateTime->time(), QTime(22, 5));
    EXPECT_EQ(page->cboxTimeServer->currentText(), "127.0.0.1:3737");
}

TEST_F(TimeServerPageTest, TheClockRunsWhileThePageIsShown)
{
    writeSettings("[TimeServer]\nFormat=yyyy\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    window.show();
    TimeServerPage* page = window.timeServerPage();
    EXPECT_FALSE(app->timeCheck().DateTimeTimer.isActive());

    window.MainTabClick(3);
    EXPECT_TRUE(app->timeCheck().DateTimeTimer.isActive());
    EXPECT_EQ(page->Panel16->text(), QString::number(QDate::currentDate().year()));
    window.MainTabClick(0);
    EXPECT_FALSE(app->timeCheck().DateTimeTimer.isActive());
}
