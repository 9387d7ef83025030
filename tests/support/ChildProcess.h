#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kestrelon::test {

// A program the tests start with fork and exec: killed and reaped when the object goes, if it still
// runs. Use it from one thread.
class ChildProcess {
public:
    struct Setup {
        std::vector<std::string> args; // the program's full path first
        // The whole environment ("NAME=value"); unset: the test program's own.
        std::optional<std::vector<std::string>> environment;
        // Put in place as its standard input, output and error; -1 leaves the test program's.
        int stdinFd = -1;
        int stdoutFd = -1;
        int stderrFd = -1;
        bool ownGroup = false;      // a process group of its own: signals reach all it starts
        bool endWithParent = false; // SIGTERM when the test program dies without its destructors
    };

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Returns once the program runs; throws std::runtime_error when it cannot (exec included).
    void start(const Setup& setup);

    // Started and not reaped yet.
    bool running() const { return m_pid > 0; }
    // Sends a signal (to the whole group with ownGroup); nothing once it has been reaped.
    void signal(int number);
    // Reaps it once it ends; its exit status (128 + the signal that ended it), -1 while it still
    // runs when the time is up. A zero timeout only looks.
    int waitForExit(std::chrono::milliseconds timeout);
    // SIGTERM, and SIGKILL when it has not ended within the grace time; idempotent.
    void stop(std::chrono::milliseconds grace = std::chrono::seconds(3));
    // SIGKILL, and waits for the end; idempotent.
    void kill();

private:
    pid_t m_pid = -1;
    bool m_ownGroup = false;
    int m_status = -1;
};

// The test program's environment with extra's "NAME=value" entries added or put in place of those
// of the same name; an entry "NAME" without "=" removes the variable.
std::vector<std::string> environmentWith(const std::vector<std::string>& extra);

// A command run to its end, its standard output and error together in one text. The program is
// looked up on PATH when its name has no "/". status: the exit status (128 + a signal), -1 when it
// could not be started (output then says why) or was still running when the time was up (it is
// killed then).
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult runCommand(const std::vector<std::string>& args, std::chrono::milliseconds timeout,
                         const std::vector<std::string>& extraEnvironment = {});

} // namespace kestrelon::test
