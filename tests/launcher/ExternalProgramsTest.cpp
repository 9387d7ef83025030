// The program list, the start-up launch and the close at exit, with real programs: shell scripts
// that record how they were started and then wait.
#include "launcher/ExternalPrograms.h"
#include "app/Application.h"
#include "core/IniFile.h"
#include "core/SettingsModel.h"
#include "launcher/PosixProcessLauncher.h"
#include "launcher/ProgramScripts.h"
#include "support/GuiApplication.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class ExternalProgramsTest : public ::testing::Test {
protected:
    void SetUp() override { ensureGuiApplication(); }

    // The list object on its own model, with the real launcher.
    void make(std::vector<CheckedEntry> items, bool close = true, bool noExternal = false)
    {
        Settings s;
        s.items = std::move(items);
        s.WebServe.Close = close;
        settings = std::make_unique<SettingsModel>(s);
        programs = std::make_unique<ExternalPrograms>(*settings, launcher, noExternal);
        programs->clearSlots();
    }

    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const CheckedEntry& e : programs->entries()) {
            out.push_back(e.text);
        }
        return out;
    }

    TempDir dir;
    // Declared first, so it kills what is left only after the launcher has let go.
    ProcessWatch watch;
    PosixProcessLauncher launcher;
    std::unique_ptr<SettingsModel> settings;
    std::unique_ptr<ExternalPrograms> programs;
};

} // namespace

TEST_F(ExternalProgramsTest, ListEditingAddRemoveCmdLineAndTheFourEntryLimit)
{
    const std::string a = writeRecordingScript(dir, "a");
    const std::string b = writeRecordingScript(dir, "b b/prog b");
    make({});
    EXPECT_TRUE(programs->canAdd());
    EXPECT_EQ(programs->btnAddProgClick(""), ExternalPrograms::AddResult::Nothing);

    // The program itself is refused by name (exact case) and by file; other letter case is another program.
    EXPECT_EQ(programs->btnAddProgClick(dir.path() + "/kestrelon"),
              ExternalPrograms::AddResult::OwnExecutable);
    EXPECT_EQ(programs->btnAddProgClick("/proc/self/exe"), ExternalPrograms::AddResult::OwnExecutable);
    EXPECT_TRUE(programs->entries().empty());
    EXPECT_EQ(programs->btnAddProgClick(dir.path() + "/Kestrelon"), ExternalPrograms::AddResult::Added);

    EXPECT_EQ(programs->btnAddProgClick(a), ExternalPrograms::AddResult::Added);
    EXPECT_EQ(programs->btnAddProgClick(b), ExternalPrograms::AddResult::Added);
    EXPECT_TRUE(programs->canAdd());
    EXPECT_EQ(programs->btnAddProgClick(a), ExternalPrograms::AddResult::Added);
    // Four: Add is disabled and refuses.
    EXPECT_FALSE(programs->canAdd());
    EXPECT_EQ(programs->btnAddProgClick(b), ExternalPrograms::AddResult::Full);
    EXPECT_EQ(texts(), (std::vector<std::string>{dir.path() + "/Kestrelon", a, b, a}));
    // A new entry carries no check mark.
    for (const CheckedEntry& e : programs->entries()) {
        EXPECT_FALSE(e.checked);
    }

    // Cmd Line: -x becomes -y, the path (with its blanks) stays; an empty answer leaves no blank.
    programs->btnCmdLineClick(2, "-x");
    EXPECT_EQ(programs->arguments(2), "-x");
    programs->btnCmdLineClick(2, "-y 'two words'");
    EXPECT_EQ(texts()[2], b + " -y 'two words'");
    EXPECT_EQ(programs->arguments(2), "-y 'two words'");
    programs->btnCmdLineClick(2, "");
    EXPECT_EQ(texts()[2], b);
    // An entry whose program does not exist has no path to put arguments after: it stays.
    EXPECT_FALSE(programs->hasExecutable(0));
    programs->btnCmdLineClick(0, "-z");
    EXPECT_EQ(texts()[0], dir.path() + "/Kestrelon");

    programs->setChecked(1, true);
    EXPECT_TRUE(settings->snapshot()->items[1].checked);
    programs->btnRemoveProgClick(0);
    programs->btnRemoveProgClick(7); // out of range: nothing
    EXPECT_EQ(texts(), (std::vector<std::string>{a, b, a}));
    EXPECT_TRUE(settings->snapshot()->items[0].checked);
    EXPECT_TRUE(programs->canAdd());

    // A reload that brings six entries: the first four are taken.
    settings->update([&](Settings& s) { s.items.assign(6, CheckedEntry{a, true}); });
    QCoreApplication::processEvents();
    EXPECT_EQ(settings->snapshot()->items.size(), 4u);
    EXPECT_FALSE(programs->canAdd());
}

TEST_F(ExternalProgramsTest, AfterStartUpFromAFileWithFourOrMoreEntriesAddIsDisabled)
{
    const std::string a = writeRecordingScript(dir, "a");
    std::string items = "[items]\n";
    for (int i = 0; i < 6; ++i) {
        items += a + " " + std::to_string(i) + "=" + (i % 2 ? "1" : "0") + "\n";
    }
    dir.write("www/index.html", "INDEX");
    const std::string ini =
        dir.write("kestrelon.ini", "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + dir.path() + "/www\n" + items);
    {
        Application app(CommandLine::parse({"--config", ini, "--listen", "127.0.0.1", "-noauto"}));
        std::string error;
        ASSERT_TRUE(app.create(error)) << error;
        ASSERT_EQ(app.externalPrograms().entries().size(), 4u);
        EXPECT_EQ(app.externalPrograms().entries()[3].text, a + " 3");
        EXPECT_TRUE(app.externalPrograms().entries()[3].checked);
        EXPECT_FALSE(app.externalPrograms().canAdd());
        app.firstShow();
        EXPECT_EQ(app.shutdown().message, "");
    }
    // The entries past the fourth are not written back.
    IniFile saved(readFile(ini));
    EXPECT_EQ(saved.keyNames("items").size(), 4u);
}

TEST_F(ExternalProgramsTest, StartUpLaunchStartsMarkedEntriesOnceAndStartNowAlways)
{
    const std::string a = writeRecordingScript(dir, "a");
    const std::string b = writeRecordingScript(dir, "b");
    const std::string upper = writeRecordingScript(dir, "CAM.EXE");
    const std::string gone = dir.path() + "/gone -x";
    // noexternal: the start-up launch starts nothing, "Start Now" still does.
    make({{a + " one", true}, {b, false}, {upper, true}, {gone, true}}, true, true);
    programs->StartExternal();
    EXPECT_FALSE(programs->slot(0));
    ASSERT_TRUE(programs->btnStartProgClick(1));
    ASSERT_TRUE(programs->slot(1));
    auto records = waitForRecords(b, 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].pid, *programs->slot(1));
    EXPECT_TRUE(watch.watch(records[0].pid));
    EXPECT_TRUE(readRecords(a).empty());

    // Without noexternal: marked entries start; "CAM.EXE" and a missing program never do.
    make({{a + " one", true}, {b, false}, {upper, true}, {gone, true}});
    programs->StartExternal();
    ASSERT_TRUE(programs->slot(0));
    EXPECT_FALSE(programs->slot(1));
    EXPECT_FALSE(programs->slot(2));
    EXPECT_FALSE(programs->slot(3));
    EXPECT_FALSE(programs->btnStartProgClick(2));
    EXPECT_FALSE(programs->btnStartProgClick(3));
    records = waitForRecords(a, 1);
    ASSERT_EQ(records.size(), 1u);
    const pid_t first = records[0].pid;
    EXPECT_EQ(first, *programs->slot(0));
    EXPECT_TRUE(watch.watch(first));

    // Its process still runs: a second launch leaves it alone.
    programs->StartExternal();
    EXPECT_EQ(*programs->slot(0), first);
    QCoreApplication::processEvents();
    EXPECT_EQ(readRecords(a).size(), 1u);

    // Once it has ended, the launch starts it again.
    watch.kill(first);
    programs->StartExternal();
    ASSERT_TRUE(programs->slot(0));
    EXPECT_NE(*programs->slot(0), first);
    records = waitForRecords(a, 2);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].pid, *programs->slot(0));
    EXPECT_TRUE(watch.watch(records[1].pid));

    // "Start Now" starts another one and takes over the slot; the first is still ours to close.
    const pid_t before = *programs->slot(0);
    ASSERT_TRUE(programs->btnStartProgClick(0));
    EXPECT_NE(*programs->slot(0), before);
    records = waitForRecords(a, 3);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_TRUE(watch.watch(records[2].pid));
    programs->closeStartedPrograms();
    EXPECT_TRUE(watch.waitForEnd(before, std::chrono::seconds(1)));
    EXPECT_TRUE(watch.waitForEnd(records[2].pid, std::chrono::seconds(1)));
}

TEST_F(ExternalProgramsTest, ProgramsStartedHereAndNothingElseAreClosedAtExit)
{
    const std::string cam = writeRecordingScript(dir, "Cam Tools/cam");
    const std::string enc = writeRecordingScript(dir, "enc");
    // A program that is not a shell script: a shell clears its signal mask itself, sleep does not.
    make({{cam + " -d 'my cam' \"$HOME\"", true}, {enc + " --rate=5", true}, {"/usr/bin/sleep 30", true}});

    // A descriptor Kestrelon holds open (a listening socket, say) must not reach the programs.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(dup2(fds[0], 50), 50);
    {
        // Kestrelon's threads block SIGTERM; the programs must not inherit that.
        KestrelonSignals kestrelonSignals;
        programs->StartExternal();
    }
    close(50);
    close(fds[0]);
    close(fds[1]);
    ASSERT_TRUE(programs->slot(0));
    ASSERT_TRUE(programs->slot(1));
    ASSERT_TRUE(programs->slot(2));
    const pid_t sleeper = *programs->slot(2);
    ASSERT_TRUE(watch.watch(sleeper));
    // Nothing blocked, none of the standard signals ignored. (glibc's posix_spawn leaves its own
    // two internal signals, 32 and 33, ignored; programs' real-time signals start above them.)
    EXPECT_EQ(signalMask(sleeper, "SigBlk"), "0000000000000000");
    EXPECT_EQ(std::stoull(signalMask(sleeper, "SigIgn"), nullptr, 16) & 0x7FFFFFFFull, 0u);
    const auto camRecords = waitForRecords(cam, 1);
    const auto encRecords = waitForRecords(enc, 1);
    ASSERT_EQ(camRecords.size(), 1u);
    ASSERT_EQ(encRecords.size(), 1u);
    EXPECT_EQ(camRecords[0].pid, *programs->slot(0));
    EXPECT_EQ(encRecords[0].pid, *programs->slot(1));
    ASSERT_TRUE(watch.watch(camRecords[0].pid));
    ASSERT_TRUE(watch.watch(encRecords[0].pid));
    EXPECT_EQ(camRecords[0].arguments, (std::vector<std::string>{"-d", "my cam", "$HOME"}));
    EXPECT_EQ(encRecords[0].arguments, (std::vector<std::string>{"--rate=5"}));
    // Each runs in its own folder, reads nothing from Kestrelon's input, gets no other descriptor.
    EXPECT_EQ(camRecords[0].cwd, dir.path() + "/Cam Tools");
    EXPECT_EQ(encRecords[0].cwd, dir.path());
    EXPECT_EQ(camRecords[0].stdinTarget, "/dev/null");
    EXPECT_FALSE(camRecords[0].fd50Open);
    EXPECT_FALSE(encRecords[0].fd50Open);
    // A program in a session of its own: Ctrl+C in Kestrelon's terminal does not reach it.
    EXPECT_EQ(getsid(camRecords[0].pid), camRecords[0].pid);

    // The same script with the same arguments, started by the test: not the launcher's.
    const pid_t other = spawnDirect(cam, {"-d", "my cam", "$HOME"});
    ASSERT_GT(other, 0);
    ASSERT_TRUE(watch.watch(other));
    ASSERT_EQ(waitForRecords(cam, 2).size(), 2u);
    EXPECT_FALSE(launcher.isRunning(other));
    EXPECT_FALSE(launcher.terminate(other));

    const auto before = std::chrono::steady_clock::now();
    programs->closeStartedPrograms();
    EXPECT_LT(std::chrono::steady_clock::now() - before, ExternalPrograms::kCloseWait);
    EXPECT_TRUE(watch.waitForEnd(camRecords[0].pid, std::chrono::seconds(1)));
    EXPECT_TRUE(watch.waitForEnd(encRecords[0].pid, std::chrono::seconds(1)));
    EXPECT_TRUE(watch.waitForEnd(sleeper, std::chrono::seconds(1)));
    EXPECT_FALSE(launcher.isRunning(*programs->slot(0)));
    // Ended by SIGTERM, each of them, and the test's own process runs on.
    EXPECT_EQ(readTerminated(cam), std::vector<pid_t>{camRecords[0].pid});
    EXPECT_EQ(readTerminated(enc), std::vector<pid_t>{encRecords[0].pid});
    EXPECT_TRUE(watch.running(other));
    watch.kill(other);
    EXPECT_FALSE(watch.running(other));
}

TEST_F(ExternalProgramsTest, WithCloseClearedTheProgramsKeepRunningAfterTheExit)
{
    const std::string a = writeRecordingScript(dir, "a");
    const std::string b = writeRecordingScript(dir, "b");
    make({{a, true}, {b, true}}, false);
    programs->StartExternal();
    const auto aRecords = waitForRecords(a, 1);
    const auto bRecords = waitForRecords(b, 1);
    ASSERT_EQ(aRecords.size(), 1u);
    ASSERT_EQ(bRecords.size(), 1u);
    ASSERT_TRUE(watch.watch(aRecords[0].pid));
    ASSERT_TRUE(watch.watch(bRecords[0].pid));
    programs->closeStartedPrograms();
    // The list and its launcher go as they do when Kestrelon ends; the programs stay.
    programs.reset();
    EXPECT_FALSE(watch.waitForEnd(aRecords[0].pid, std::chrono::milliseconds(300)));
    EXPECT_TRUE(watch.running(bRecords[0].pid));
    // The watch kills them at the end of the test.
}
