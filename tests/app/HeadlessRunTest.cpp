// The real program, headless, on a temporary settings file and a free port.
#include "core/IniFile.h"
#include "support/RawHttpClient.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrelon::test;

namespace {

// A child process whose standard error is read line by line.
class Program {
public:
    explicit Program(std::vector<std::string> args)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(KESTRELON_EXE));
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            execv(KESTRELON_EXE, argv.data());
            _exit(127);
        }
        close(fds[1]);
        m_err = fds[0];
    }
    ~Program()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_err >= 0) {
            close(m_err);
        }
    }

    // Reads standard error until a line matches, or the time is up.
    std::optional<std::smatch> waitForLine(const std::regex& pattern, std::chrono::milliseconds timeout)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            size_t nl;
            while ((nl = m_pending.find('\n')) != std::string::npos) {
                m_lines.push_back(m_pending.substr(0, nl));
                m_pending.erase(0, nl + 1);
                std::smatch m;
                if (std::regex_search(m_lines.back(), m, pattern)) {
                    m_match = m_lines.back();
                    std::regex_search(m_match, m, pattern);
                    return m;
                }
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{m_err, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return std::nullopt;
            }
            char buf[4096];
            ssize_t n = read(m_err, buf, sizeof buf);
            if (n <= 0) {
                return std::nullopt;
            }
            m_pending.append(buf, static_cast<size_t>(n));
        }
    }

    int terminateAndWait()
    {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        // Whatever it printed on the way out.
        waitForLine(std::regex("$^"), std::chrono::milliseconds(200));
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    const std::vector<std::string>& lines() const { return m_lines; }

private:
    pid_t m_pid = -1;
    int m_err = -1;
    std::string m_pending;
    std::string m_match;
    std::vector<std::string> m_lines;
};

} // namespace

TEST(HeadlessRun, ServesStopsOnSigtermAndSavesTheSettings)
{
    TempDir dir;
    dir.write("www/index.html", "HEADLESS");
    std::string ini =
        dir.write("k.ini", "; kept\n[WebServe]\nPort=0\nRevDNS=0\nAutoStart=1\nRoot=" + dir.path() +
                               "/www\n[Unknown]\nx=1\n");
    Program program({"--headless", "--config", ini, "--listen", "127.0.0.1"});
    auto listening = program.waitForLine(
        std::regex(
            R"(^server: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d   Listening for HTTP connections on 127\.0\.0\.1:(\d+)\.$)"),
        std::chrono::seconds(10));
    ASSERT_TRUE(listening);
    uint16_t port = static_cast<uint16_t>(std::stoi((*listening)[1]));
    auto r = httpGet(port, "/index.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "HEADLESS");
    ASSERT_TRUE(program.waitForLine(
        std::regex("^server: .*   Serving file " + dir.path() + "/www/index.html"), std::chrono::seconds(5)));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/kestrelon.html"));

    EXPECT_EQ(program.terminateAndWait(), 0);
    bool stopped = false;
    for (const auto& line : program.lines()) {
        stopped |= line.find("server: ") == 0 && line.find("   Server stopped") != std::string::npos;
    }
    EXPECT_TRUE(stopped);
    // Written at shutdown: every key now, and what was there before stays.
    std::string text = readFile(ini);
    EXPECT_EQ(text.rfind("; kept\n[WebServe]\nPort=0\n", 0), 0u);
    kestrelon::IniFile saved(text);
    EXPECT_EQ(saved.value("Unknown", "x"), "1");
    EXPECT_EQ(saved.value("WebServe", "RootFile"), "index.html");
    EXPECT_EQ(saved.value("VidStream", "Port"), "8080");
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/kestrelon.html"));
}

TEST(HeadlessRun, UnreadableSettingsFileExitsWithStatus2)
{
    TempDir dir;
    dir.mkdir("k.ini");
    Program program({"--headless", "--config", dir.path() + "/k.ini"});
    ASSERT_TRUE(
        program.waitForLine(std::regex("Unable to read " + dir.path() + "/k.ini"), std::chrono::seconds(10)));
    EXPECT_EQ(program.terminateAndWait(), 2);
}
