// The "External Programs" tab's wiring: its buttons reach the program list, the list and its
// check marks follow the settings model.
#include "ui/ExternalProgramsTab.h"
#include "core/ProgramPaths.h"
#include "ui/MainWindow.h"
#include "ui/SystemPage.h"
#include "ui/UiFixture.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include <csignal>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

using ExternalProgramsTabTest = UiTest;

std::vector<std::string> texts(Application& app)
{
    std::vector<std::string> out;
    for (const CheckedEntry& e : app.settings().snapshot()->items) {
        out.push_back(e.text);
    }
    return out;
}

// A process the tab started, held by a pidfd; killed at the end if it still runs.
class Started {
public:
    explicit Started(pid_t pid) : m_pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
    ~Started()
    {
        if (m_pidfd >= 0 && !ended()) {
            ::syscall(SYS_pidfd_send_signal, m_pidfd, SIGKILL, nullptr, 0);
        }
        if (m_pidfd >= 0) {
            ::close(m_pidfd);
        }
    }
    bool ended() const
    {
        pollfd p{m_pidfd, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0;
    }

private:
    int m_pidfd;
};

std::string writeProgram(const TempDir& dir, const std::string& name)
{
    // Writes its pid, then waits; the tab's "Start Now" starts it.
    const std::string path = dir.write(name, "#!/bin/sh\necho $$ > \"$0.pid\"\nexec sleep 30\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

} // namespace

TEST_F(ExternalProgramsTabTest, ButtonsReachTheListAndTheListFollowsTheModel)
{
    const std::string cam = writeProgram(dir, "cam");
    const std::string enc = writeProgram(dir, "enc tools/enc");
    writeSettings("Close=0\n[items]\n" + cam + " -x=1\n" + enc + "=0\n");
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    ExternalProgramsTab* tab = window.systemPage()->externalProgramsTab;
    ASSERT_TRUE(tab);
    auto* tabs = window.systemPage()->findChild<QTabWidget*>("SystemTabs");
    EXPECT_EQ(tabs->tabText(tabs->indexOf(tab)), "External Programs");
    QListWidget* list = tab->CheckListBox1;
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text().toStdString(), cam + " -x");
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Unchecked);
    EXPECT_FALSE(tab->cbClose->isChecked());
    EXPECT_TRUE(tab->btnAddProg->isEnabled());
    EXPECT_FALSE(tab->btnRemoveProg->isEnabled()); // nothing selected

    // The program itself: a beep, the message, nothing added. The dialog opens in the
    // executable's folder and shows every file.
    prompts.fileAnswer = QString::fromStdString(dir.path() + "/kestrelon");
    tab->btnAddProg->click();
    EXPECT_EQ(prompts.messages, QStringList{"The server cannot start another instance of itself!"});
    EXPECT_EQ(prompts.fileDialogs.last(), QString::fromStdString(executableDir()) + "|All files (*)|");
    EXPECT_EQ(list->count(), 2);
    // Another letter case is another program.
    prompts.fileAnswer = QString::fromStdString(dir.path() + "/Kestrelon");
    tab->btnAddProg->click();
    EXPECT_EQ(prompts.messages.size(), 1);
    prompts.fileAnswer = QString::fromStdString(enc);
    tab->btnAddProg->click();
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(3)->checkState(), Qt::Unchecked);
    EXPECT_FALSE(tab->btnAddProg->isEnabled());

    // Cmd Line: the box starts with the current arguments; -x becomes -y; Cancel keeps them.
    list->setCurrentRow(0);
    EXPECT_TRUE(tab->btnCmdLine->isEnabled());
    prompts.inputAnswer = "-y";
    tab->btnCmdLine->click();
    EXPECT_EQ(prompts.inputTitles.last(), "Command Line:");
    EXPECT_EQ(prompts.inputPrompts.last(), "");
    EXPECT_EQ(prompts.inputInitials.last(), "-x");
    EXPECT_EQ(texts(*app)[0], cam + " -y");
    EXPECT_EQ(list->item(0)->text().toStdString(), cam + " -y");
    prompts.inputCancelled = true;
    tab->btnCmdLine->click();
    EXPECT_EQ(texts(*app)[0], cam + " -y");
    // An entry whose program does not exist offers no Cmd Line.
    list->setCurrentRow(2);
    EXPECT_FALSE(tab->btnCmdLine->isEnabled());

    // Remove: the selected entry goes, Add comes back.
    tab->btnRemoveProg->click();
    EXPECT_EQ(texts(*app), (std::vector<std::string>{cam + " -y", enc, enc}));
    EXPECT_TRUE(tab->btnAddProg->isEnabled());

    // Check marks and the close box reach the model.
    list->item(1)->setCheckState(Qt::Checked);
    EXPECT_TRUE(app->settings().snapshot()->items[1].checked);
    tab->cbClose->click();
    EXPECT_TRUE(app->settings().snapshot()->WebServe.Close);

    // Start Now starts the selected entry, check mark or not; the exit closes it.
    list->setCurrentRow(2);
    tab->btnStartProg->click();
    const auto pid = app->externalPrograms().slot(2);
    ASSERT_TRUE(pid);
    Started program(*pid);
    EXPECT_TRUE(processUntil([&] { return readFile(enc + ".pid") == std::to_string(*pid) + "\n"; }));
    EXPECT_EQ(app->shutdown().message, "");
    EXPECT_TRUE(program.ended());
}

TEST_F(ExternalProgramsTabTest, AddIsDisabledRightAfterStartUpWithFourEntries)
{
    std::string items = "[items]\n";
    for (int i = 0; i < 4; ++i) {
        items += "/opt/prog" + std::to_string(i) + "=0\n";
    }
    writeSettings(items);
    auto app = makeApp();
    FakePrompts prompts;
    MainWindow window(*app, prompts);
    ExternalProgramsTab* tab = window.systemPage()->externalProgramsTab;
    EXPECT_EQ(tab->CheckListBox1->count(), 4);
    EXPECT_FALSE(tab->btnAddProg->isEnabled());
}
