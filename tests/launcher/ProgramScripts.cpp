#include "launcher/ProgramScripts.h"

#include "support/ServerFixture.h"

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrelon::test {

namespace {

// The record is written in one go at the end (a temporary file appended whole), so a reader
// never sees half of one. The script then waits in short steps, so that its SIGTERM handler runs
// within a tenth of a second and a SIGKILL leaves nothing behind for longer than that.
constexpr const char* kRecordingScript = R"SH(#!/bin/sh
trap 'echo $$ >> "$0.term"; exit 0' TERM
tmp="$0.rec.$$"
{
  echo "pid=$$"
  echo "cwd=$(pwd)"
  echo "stdin=$(readlink /proc/$$/fd/0)"
  if [ -e /proc/$$/fd/50 ]; then echo "fd50=open"; else echo "fd50=closed"; fi
  for a in "$@"; do echo "arg=$a"; done
  echo "end"
} > "$tmp"
cat "$tmp" >> "$0.rec"
rm -f "$tmp"
while :; do sleep 0.1; done
)SH";

} // namespace

std::string writeFileWithMode(const TempDir& dir, const std::string& relative, const std::string& content,
                              mode_t mode)
{
    const std::string path = dir.write(relative, content);
    ::chmod(path.c_str(), mode);
    return path;
}

std::string writeRecordingScript(const TempDir& dir, const std::string& relative)
{
    return writeFileWithMode(dir, relative, kRecordingScript, 0755);
}

std::vector<ScriptRecord> readRecords(const std::string& script)
{
    std::vector<ScriptRecord> records;
    std::istringstream in(readFile(script + ".rec"));
    ScriptRecord current;
    for (std::string line; std::getline(in, line);) {
        if (line == "end") {
            records.push_back(current);
            current = {};
        } else if (line.rfind("pid=", 0) == 0) {
            current.pid = std::stoi(line.substr(4));
        } else if (line.rfind("cwd=", 0) == 0) {
            current.cwd = line.substr(4);
        } else if (line.rfind("stdin=", 0) == 0) {
            current.stdinTarget = line.substr(6);
        } else if (line.rfind("fd50=", 0) == 0) {
            current.fd50Open = line == "fd50=open";
        } else if (line.rfind("arg=", 0) == 0) {
            current.arguments.push_back(line.substr(4));
        }
    }
    return records;
}

std::vector<pid_t> readTerminated(const std::string& script)
{
    std::vector<pid_t> pids;
    std::istringstream in(readFile(script + ".term"));
    for (pid_t pid; in >> pid;) {
        pids.push_back(pid);
    }
    return pids;
}

std::vector<ScriptRecord> waitForRecords(const std::string& script, size_t count,
                                         std::chrono::milliseconds timeout)
{
    std::vector<ScriptRecord> records;
    waitFor(
        [&] {
            records = readRecords(script);
            return records.size() >= count;
        },
        timeout);
    return records;
}

ProcessWatch::~ProcessWatch()
{
    for (const auto& [pid, pidfd] : m_pidfds) {
        if (running(pid)) {
            ::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0);
        }
        waitForEnd(pid, std::chrono::seconds(5));
        // A child of the test is reaped here; anybody else's gives ECHILD.
        ::waitpid(pid, nullptr, WNOHANG);
        ::close(pidfd);
    }
}

bool ProcessWatch::watch(pid_t pid)
{
    if (m_pidfds.count(pid)) {
        return running(pid);
    }
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
        return false;
    }
    m_pidfds[pid] = pidfd;
    return running(pid);
}

bool ProcessWatch::running(pid_t pid) const
{
    return !waitForEnd(pid, std::chrono::milliseconds(0));
}

bool ProcessWatch::waitForEnd(pid_t pid, std::chrono::milliseconds timeout) const
{
    auto it = m_pidfds.find(pid);
    if (it == m_pidfds.end()) {
        return true;
    }
    pollfd p{it->second, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

void ProcessWatch::kill(pid_t pid)
{
    auto it = m_pidfds.find(pid);
    if (it == m_pidfds.end()) {
        return;
    }
    ::syscall(SYS_pidfd_send_signal, it->second, SIGKILL, nullptr, 0);
    waitForEnd(pid, std::chrono::seconds(5));
    ::waitpid(pid, nullptr, WNOHANG);
}

pid_t spawnDirect(const std::string& program, const std::vector<std::string>& arguments)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

KestrelonSignals::KestrelonSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, &m_previousMask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &m_previousPipe);
}

KestrelonSignals::~KestrelonSignals()
{
    sigaction(SIGPIPE, &m_previousPipe, nullptr);
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

std::string signalMask(pid_t pid, const std::string& field)
{
    std::istringstream in(readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field + ":", 0) == 0) {
            const size_t value = line.find_first_not_of(" \t", field.size() + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return {};
}

} // namespace kestrelon::test
