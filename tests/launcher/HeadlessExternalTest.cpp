// The real program, headless: a marked entry starts about 2 s after the start and is asked to end
// at a SIGTERM shutdown; with -noexternal it does not start.
#include "launcher/ProgramScripts.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

// Kestrelon as a child of the test, its standard error in a file; killed if the test leaves it.
class Kestrelon {
public:
    Kestrelon(const std::vector<std::string>& args, const std::string& errFile)
    {
        std::vector<char*> argv{const_cast<char*>(KESTRELON_EXE)};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&m_pid, KESTRELON_EXE, &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        m_pidfd = m_pid > 0 ? static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0)) : -1;
    }
    ~Kestrelon()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_pidfd >= 0) {
            close(m_pidfd);
        }
    }

    bool started() const { return m_pid > 0 && m_pidfd >= 0; }

    // SIGTERM, then the exit status; -1 when it did not end within the time.
    int terminate(std::chrono::milliseconds timeout)
    {
        kill(m_pid, SIGTERM);
        pollfd p{m_pidfd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) {
            return -1;
        }
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    int m_pidfd = -1;
};

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
    Kestrelon program({"--headless", "--config", ini, "--listen", "127.0.0.1"}, dir.path() + "/err.txt");
    ASSERT_TRUE(program.started());
    const auto records = waitForRecords(script, 1, 10s);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(records.size(), 1u) << readFile(dir.path() + "/err.txt");
    ASSERT_TRUE(watch.watch(records[0].pid));
    // The 2 s start delay (a coarse timer may be up to 5 % early), and not much more.
    EXPECT_GE(elapsed, 1800ms);
    EXPECT_LT(elapsed, 8s);
    EXPECT_EQ(records[0].arguments, (std::vector<std::string>{"--to", "web root"}));
    EXPECT_EQ(records[0].cwd, dir.path() + "/feed tool");

    EXPECT_EQ(program.terminate(10s), 0) << readFile(dir.path() + "/err.txt");
    EXPECT_TRUE(watch.waitForEnd(records[0].pid, 1s));
    EXPECT_EQ(readTerminated(script), std::vector<pid_t>{records[0].pid});
}

TEST(HeadlessExternalPrograms, NoExternalStartsNothing)
{
    TempDir dir;
    const std::string script = writeRecordingScript(dir, "feed");
    const std::string ini = writeSettings(dir, script);
    const std::string err = dir.path() + "/err.txt";

    Kestrelon program({"--headless", "--config", ini, "--listen", "127.0.0.1", "-noexternal"}, err);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(
        waitFor([&] { return readFile(err).find("runs without a window") != std::string::npos; }, 10s));
    // Well past the start delay.
    std::this_thread::sleep_for(3s);
    EXPECT_TRUE(readRecords(script).empty());
    EXPECT_EQ(program.terminate(10s), 0);
    EXPECT_TRUE(readRecords(script).empty());
}
