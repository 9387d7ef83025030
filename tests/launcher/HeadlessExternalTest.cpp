// The real program, headless: a marked entry starts about 2 s after the start and is asked to end
// at a SIGTERM shutdown; with -noexternal it does not start.
#include "launcher/ProgramScripts.h"
#include "support/HeadlessProgram.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

std::string writeSettings(const TempDir& dir, const std::string& entry)
{
    dir.write("www/index.html", "INDEX");
    return dir.write("kestrelon.ini", "[WebServe]\nPort=0\nRevDNS=0\nClose=1\nRoot=" + dir.path() +
                                          "/www\n[items]\n" + entry + "=1\n");
}

} // namespace

TEST(HeadlessExternalPrograms, MarkedEntryStartsAfterTwoSecondsAndEndsAtShutdown)
{
    TempDir dir;
    const std::string script = writeRecordingScript(dir, "feed tool/feed");
    const std::string ini = writeSettings(dir, script + " --to 'web root'");
    ProcessWatch watch;

    const auto started = std::chrono::steady_clock::now();
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1"});
    ASSERT_TRUE(program.started());
    const auto records = waitForRecords(script, 1, 10s);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(records.size(), 1u) << program.stderrText();
    ASSERT_TRUE(watch.watch(records[0].pid));
    // The 2 s start delay (a coarse timer may be up to 5 % early), and not much more.
    EXPECT_GE(elapsed, 1800ms);
    EXPECT_LT(elapsed, 8s);
    EXPECT_EQ(records[0].arguments, (std::vector<std::string>{"--to", "web root"}));
    EXPECT_EQ(records[0].cwd, dir.path() + "/feed tool");

    program.terminate();
    EXPECT_EQ(program.waitForExit(10s), 0) << program.stderrText();
    EXPECT_TRUE(watch.waitForEnd(records[0].pid, 1s));
    EXPECT_EQ(readTerminated(script), std::vector<pid_t>{records[0].pid});
}

TEST(HeadlessExternalPrograms, NoExternalStartsNothing)
{
    TempDir dir;
    const std::string script = writeRecordingScript(dir, "feed");
    const std::string ini = writeSettings(dir, script);

    HeadlessProgram program(KESTRELON_EXE,
                            {"--headless", "--config", ini, "--listen", "127.0.0.1", "-noexternal"});
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.waitForLine(
        [](const std::string& line) { return line.find("runs without a window") != std::string::npos; },
        10s));
    // A second run, started later and without the switch, is the clock: once its program has
    // started, the first run's start delay has passed as well.
    TempDir other;
    const std::string reference = writeRecordingScript(other, "reference");
    HeadlessProgram clock(
        KESTRELON_EXE, {"--headless", "--config", writeSettings(other, reference), "--listen", "127.0.0.1"});
    ASSERT_EQ(waitForRecords(reference, 1, 10s).size(), 1u) << clock.stderrText();
    clock.terminate();
    EXPECT_EQ(clock.waitForExit(10s), 0);

    EXPECT_TRUE(readRecords(script).empty());
    program.terminate();
    EXPECT_EQ(program.waitForExit(10s), 0);
    EXPECT_TRUE(readRecords(script).empty());
}
