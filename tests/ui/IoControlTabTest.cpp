// The "I/O Control" page's wiring: the switch and the buttons reach the I/O control and the
// schedule, and the model's changes (remote disable, edits) reach the widgets.
#include "ui/IoControlTab.h"
#include "ui/MainWindow.h"
#include "ui/ScheduleDialog.h"
#include "ui/UiFixture.h"
#include "ui/WebServerPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>

#include <cstdlib>
#include <thread>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

using IoControlTabTest = UiTest;

IoControlTab* ioTab(MainWindow& window)
{
    return window.webServerPage()->findChild<IoControlTab*>();
}

} // namespace

TEST_F(IoControlTabTest, SwitchEnablesAddressAndScheduleAndTheStatusFollows)
{
    writeSettings("IOAddress=0378H (LPT1)\n[IO]\nSchedule=1\n");
    // Writes are recorded, so the labels do not depend on a port in this machine.
    ::setenv("KESTRELON_PORT_RECORD", (dir.path() + "/port.txt").c_str(), 1);
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    IoControlTab* tab = ioTab(window);
    ASSERT_TRUE(tab);
    QTabWidget* tabs = window.webServerPage()->tabs;
    EXPECT_EQ(tabs->tabText(tabs->indexOf(tab)), "I/O Control");
    EXPECT_EQ(tab->tabs->tabText(1), "Schedule ");
    EXPECT_EQ(tab->cboxAddress->currentText(), "0378H (LPT1)");
    EXPECT_FALSE(tab->cboxAddress->isEnabled());
    EXPECT_FALSE(tab->Panel63->isEnabled());
    EXPECT_EQ(tab->Label78->text(), "");

    tab->cbIOControl->click();
    EXPECT_TRUE(app->settings().snapshot()->WebServe.IO);
    EXPECT_TRUE(tab->cboxAddress->isEnabled());
    EXPECT_TRUE(tab->Panel63->isEnabled());
    EXPECT_EQ(tab->Label78->text(), "I/O Active on port: 0378H");
    EXPECT_EQ(app->port().portAddress(), 0x0378);

    // Picked from the list and typed: the text reaches the model, but the port keeps its address
    // and the status its text until the switch's reaction: a half-typed "03" never gets writes.
    tab->cboxAddress->setCurrentIndex(1);
    EXPECT_EQ(app->settings().snapshot()->WebServe.IOAddress, "0278H (LPT2)");
    tab->cboxAddress->setEditText("03");
    EXPECT_EQ(app->port().portAddress(), 0x0378);
    tab->cboxAddress->setEditText("03BCH");
    EXPECT_EQ(app->port().portAddress(), 0x0378);
    EXPECT_EQ(tab->Label78->text(), "I/O Active on port: 0378H");
    tab->cbIOControl->click();
    tab->cbIOControl->click();
    EXPECT_EQ(app->port().portAddress(), 0x03BC);
    EXPECT_EQ(tab->Label78->text(), "I/O Active on port: 03BCH");
    tab->cbSchedule->setChecked(true);

    // Remote disable: the model changes on another thread, the page follows on this one.
    std::thread([&] { app->settings().update([](Settings& s) { s.WebServe.IO = false; }); }).join();
    ASSERT_TRUE(processUntil([&] { return !tab->cbIOControl->isChecked(); }));
    EXPECT_EQ(tab->Label78->text(), "");
    EXPECT_FALSE(tab->cboxAddress->isEnabled());
    EXPECT_FALSE(tab->Panel63->isEnabled());
    EXPECT_FALSE(tab->cbSchedule->isChecked());
    EXPECT_FALSE(app->settings().snapshot()->IO.Schedule);

    // The other boxes are bound too.
    tab->edRemoteDisable->setText("secret");
    tab->cbRemoteDisable->click();
    tab->edEscChar->setText("~");
    EXPECT_EQ(tab->edRemoteDisable->echoMode(), QLineEdit::Password);
    auto s = app->settings().snapshot();
    EXPECT_EQ(s->WebServe.RemotePass, "secret");
    EXPECT_TRUE(s->WebServe.RemoteDisable);
    EXPECT_EQ(s->WebServe.EscChar, "~");
    ::unsetenv("KESTRELON_PORT_RECORD");
}

TEST_F(IoControlTabTest, SendNowReachesThePortWithTheSwitchOff)
{
    writeSettings();
    const std::string record = dir.path() + "/port.txt";
    ::setenv("KESTRELON_PORT_RECORD", record.c_str(), 1);
    {
        auto app = makeApp();
        FakePrompts prompts;
        MainWindow window(*app, prompts);
        IoControlTab* tab = ioTab(window);
        EXPECT_EQ(tab->Edit2->maxLength(), 3);
        tab->Edit2->setText("300");
        tab->Button10->click();
        tab->Edit2->setText("-5");
        tab->Button10->click();
        tab->cbSendValue->click();
        EXPECT_TRUE(app->settings().snapshot()->WebServe.SendValue);
        EXPECT_EQ(app->settings().snapshot()->WebServe.PortValue, "-5");
    }
    ::unsetenv("KESTRELON_PORT_RECORD");
    EXPECT_EQ(readFile(record), "0278 44\n0278 251\n");
}

TEST_F(IoControlTabTest, AddRemoveAndSelectScheduleRows)
{
    writeSettings("IO=1\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    window.move(40, 30);
    window.show();
    IoControlTab* tab = ioTab(window);
    ScheduleDialog* dialog = tab->Form6;
    EXPECT_FALSE(tab->Button15->isEnabled());

    // An every-day entry: the date is not asked for.
    tab->Button13->click();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->windowTitle(), "Add item to schedule");
    EXPECT_EQ(dialog->pos(), window.pos() + QPoint(150, 100));
    EXPECT_EQ(dialog->Edit1->text(), "0");
    EXPECT_TRUE(dialog->DateTimePicker2->isEnabled());
    dialog->CheckBox1->click();
    EXPECT_FALSE(dialog->DateTimePicker2->isEnabled());
    EXPECT_FALSE(dialog->lblDate->isEnabled());
    dialog->DateTimePicker1->setTime(QTime(7, 30, 5));
    dialog->Edit1->setText("-3");
    dialog->btnOK->click();
    EXPECT_FALSE(dialog->isVisible());

    // It opens as it was left; a dated entry this time.
    tab->Button13->click();
    EXPECT_TRUE(dialog->CheckBox1->isChecked());
    EXPECT_FALSE(dialog->DateTimePicker2->isEnabled());
    EXPECT_EQ(dialog->Edit1->text(), "-3");
    dialog->CheckBox1->click();
    dialog->DateTimePicker2->setDate(QDate(2026, 3, 5));
    dialog->Edit1->setText("x1");
    dialog->accept();
    // Cancel adds nothing.
    tab->Button13->click();
    dialog->btnCancel->click();

    const std::vector<ScheduleEntry> added{{"07:30:05", "-3", true}, {"05/03/2026 07:30:05", "x1", true}};
    EXPECT_EQ(app->settings().snapshot()->schedule, added);
    ASSERT_EQ(tab->CheckListBox7->count(), 2);
    ASSERT_EQ(tab->ListBox7->count(), 2);
    EXPECT_EQ(tab->CheckListBox7->item(1)->text(), "05/03/2026 07:30:05");
    EXPECT_EQ(tab->CheckListBox7->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(tab->ListBox7->item(1)->text(), "x1");

    // A row chosen in either list is chosen in both, and Remove becomes possible.
    tab->ListBox7->setCurrentRow(1);
    EXPECT_EQ(tab->CheckListBox7->currentRow(), 1);
    EXPECT_TRUE(tab->Button15->isEnabled());
    tab->CheckListBox7->setCurrentRow(0);
    EXPECT_EQ(tab->ListBox7->currentRow(), 0);

    // The check mark is the entry's enabled flag.
    tab->CheckListBox7->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(app->settings().snapshot()->schedule[1].active);

    // Remove takes the time and the value of the chosen row.
    tab->Button15->click();
    EXPECT_EQ(app->settings().snapshot()->schedule,
              (std::vector<ScheduleEntry>{{"05/03/2026 07:30:05", "x1", false}}));
    ASSERT_EQ(tab->CheckListBox7->count(), 1);
    ASSERT_EQ(tab->ListBox7->count(), 1);
    EXPECT_EQ(tab->ListBox7->item(0)->text(), "x1");
    EXPECT_FALSE(tab->Button15->isEnabled());

    // An entry that goes elsewhere (a fired one-off) leaves the lists; the selection stays on
    // its entry while rows move.
    app->schedule().addEntry({"08:00:00", "1", true});
    tab->CheckListBox7->setCurrentRow(1);
    app->settings().update([](Settings& s) { s.schedule.erase(s.schedule.begin()); });
    ASSERT_EQ(tab->CheckListBox7->count(), 1);
    EXPECT_EQ(tab->CheckListBox7->item(0)->text(), "08:00:00");
    EXPECT_EQ(tab->ListBox7->item(0)->text(), "1");
    EXPECT_EQ(tab->CheckListBox7->currentRow(), 0);
    EXPECT_EQ(tab->ListBox7->currentRow(), 0);
    EXPECT_TRUE(tab->Button15->isEnabled());
}

TEST_F(IoControlTabTest, ShowingTheScheduleTabWithTheSwitchOffUnchecksTheSchedule)
{
    writeSettings("IO=0\n[IO]\nSchedule=1\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    IoControlTab* tab = ioTab(window);
    EXPECT_TRUE(app->schedule().running()); // on since the program was made
    window.show();
    WebServerPage* page = window.webServerPage();
    page->tabs->setCurrentWidget(tab);
    EXPECT_TRUE(app->settings().snapshot()->IO.Schedule); // the "Configure" tab is in front

    tab->tabs->setCurrentWidget(tab->TabSheet23);
    EXPECT_FALSE(app->settings().snapshot()->IO.Schedule);
    EXPECT_FALSE(tab->cbSchedule->isChecked());
    EXPECT_FALSE(tab->Panel63->isEnabled());

    // With the switch on the tab leaves the box alone.
    tab->tabs->setCurrentIndex(0);
    tab->cbIOControl->click();
    EXPECT_TRUE(tab->Panel63->isEnabled());
    tab->cbSchedule->click();
    tab->tabs->setCurrentWidget(tab->TabSheet23);
    EXPECT_TRUE(app->settings().snapshot()->IO.Schedule);
    EXPECT_TRUE(tab->cbSchedule->isChecked());
}
