#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kestrelon {

// Starts programs and later asks them to end. A launcher answers only for the processes it
// started itself: a process id it did not hand out, or whose process has ended, is never
// signalled, whoever uses that id now. Main thread.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;

    // Starts program (a path to an executable file) with the given arguments, directly, without
    // a shell. Returns the new process's id, or none when it could not be started.
    virtual std::optional<pid_t> start(const std::string& program,
                                       const std::vector<std::string>& arguments) = 0;
    // Sends SIGTERM to a process this launcher started that still runs. False when there is no
    // such process; nothing is sent then.
    virtual bool terminate(pid_t pid) = 0;
    // Whether a process this launcher started still runs; false for any other id.
    virtual bool isRunning(pid_t pid) = 0;
    // Waits until none of the processes runs, at most timeout in all. True when all have ended.
    virtual bool waitForEnd(const std::vector<pid_t>& pids, std::chrono::milliseconds timeout) = 0;
};

} // namespace kestrelon
