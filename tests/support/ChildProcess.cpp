#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kestrelon::test {

namespace {

int exitStatus(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> list;
    for (std::string& s : strings) {
        list.push_back(s.data());
    }
    list.push_back(nullptr);
    return list;
}

} // namespace

ChildProcess::~ChildProcess()
{
    kill();
}

void ChildProcess::start(const Setup& setup)
{
    if (running() || setup.args.empty()) {
        throw std::logic_error("ChildProcess::start: already running, or no program");
    }
    // Everything the child needs is made before the fork: after it, only async-signal-safe calls.
    std::vector<std::string> args = setup.args;
    std::vector<char*> argv = pointers(args);
    std::vector<std::string> environment = setup.environment.value_or(std::vector<std::string>{});
    std::vector<char*> ownEnvp = pointers(environment);
    char** envp = setup.environment ? ownEnvp.data() : environ;
    const int streams[3] = {setup.stdinFd, setup.stdoutFd, setup.stderrFd};
    const bool ownGroup = setup.ownGroup;
    const bool endWithParent = setup.endWithParent;

    // The child writes exec's errno here; the pipe closes unwritten when exec succeeds.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(report[0]);
        ::close(report[1]);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        if (endWithParent) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) {
                ::_exit(127);
            }
        }
        if (ownGroup) {
            ::setpgid(0, 0);
        }
        for (int i = 0; i < 3; ++i) {
            if (streams[i] >= 0) {
                ::dup2(streams[i], i);
            }
        }
        ::execve(argv[0], argv.data(), envp);
        const int error = errno;
        [[maybe_unused]] ssize_t n = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == sizeof error) {
        ::waitpid(pid, nullptr, 0);
        throw std::runtime_error("cannot start " + setup.args[0] + ": " + std::strerror(error));
    }
    m_pid = pid;
    m_ownGroup = ownGroup;
    m_status = -1;
}

void ChildProcess::signal(int number)
{
    if (running()) {
        ::kill(m_ownGroup ? -m_pid : m_pid, number);
    }
}

int ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_status = exitStatus(status);
            m_pid = -1;
        } else if (r < 0 && errno == ECHILD) {
            m_pid = -1; // reaped elsewhere: its status is lost
        } else if (std::chrono::steady_clock::now() >= deadline) {
            return -1;
        } else if (r == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return m_status;
}

void ChildProcess::stop(std::chrono::milliseconds grace)
{
    signal(SIGTERM);
    waitForExit(grace);
    kill();
}

void ChildProcess::kill()
{
    if (!running()) {
        return;
    }
    signal(SIGKILL);
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(m_pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    m_status = r == m_pid ? exitStatus(status) : -1;
    m_pid = -1;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& extra)
{
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (std::none_of(extra.begin(), extra.end(),
                         [&](const std::string& x) { return nameOf(x) == nameOf(entry); })) {
            environment.push_back(entry);
        }
    }
    std::copy_if(extra.begin(), extra.end(), std::back_inserter(environment),
                 [](const std::string& x) { return x.find('=') != std::string::npos; });
    return environment;
}

CommandResult runCommand(const std::vector<std::string>& args, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extraEnvironment)
{
    CommandResult result;
    ChildProcess::Setup setup;
    setup.args = args;
    if (!args.empty() && args[0].find('/') == std::string::npos) {
        const char* path = std::getenv("PATH");
        std::string folders = path ? path : "/usr/bin:/bin";
        for (size_t start = 0; start <= folders.size();) {
            size_t colon = std::min(folders.find(':', start), folders.size());
            const std::string candidate = folders.substr(start, colon - start) + "/" + args[0];
            if (::access(candidate.c_str(), X_OK) == 0) {
                setup.args[0] = candidate;
                break;
            }
            start = colon + 1;
        }
    }
    if (!extraEnvironment.empty()) {
        setup.environment = environmentWith(extraEnvironment);
    }
    // The output goes to an unnamed file: a pipe could fill up while nobody reads it.
    FILE* output = std::tmpfile();
    if (!output) {
        result.output = "no temporary file";
        return result;
    }
    setup.stdoutFd = setup.stderrFd = ::fileno(output);
    ChildProcess process;
    try {
        process.start(setup);
        result.status = process.waitForExit(timeout);
    } catch (const std::exception& e) {
        result.output = e.what();
    }
    process.kill();
    if (result.output.empty()) {
        std::rewind(output);
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, output)) > 0;) {
            result.output.append(buffer, n);
        }
    }
    std::fclose(output);
    return result;
}

} // namespace kestrelon::test
