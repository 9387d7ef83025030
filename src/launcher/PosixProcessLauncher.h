#pragma once

#include "launcher/ProcessLauncher.h"

#include <map>

class QSocketNotifier;

namespace kestrelon {

// The launcher for real programs, on posix_spawn and pidfds.
//
// A started program is the user's program, not a part of Kestrelon: it runs in a session of its
// own (Ctrl+C in Kestrelon's terminal does not reach it), with an empty signal mask and default
// signal actions (Kestrelon blocks SIGTERM in all its threads), stdin from /dev/null, Kestrelon's
// stdout and stderr, and none of Kestrelon's other file descriptors (a listening socket inherited
// by a child would keep the web server's port taken after Kestrelon ends). Its working folder is
// the program's own folder, so it finds files kept beside it wherever Kestrelon was started from.
// It outlives Kestrelon: nothing ends it when Kestrelon exits or crashes; only "Close all
// programs on exit" asks it to end.
//
// Each started process is held by a pidfd taken right after the spawn, while the process is an
// unreaped child of ours and its id cannot have been given to anybody else. Signals go through
// the pidfd, so a process id that has been reused by another process is never signalled. An ended
// child is reaped as soon as the pidfd reports its end, so no zombie is left behind.
//
// Create, call and destroy on the main thread, which needs an event loop for the reaping.
class PosixProcessLauncher : public ProcessLauncher {
public:
    PosixProcessLauncher();
    // Forgets the processes; they keep running.
    ~PosixProcessLauncher() override;
    PosixProcessLauncher(const PosixProcessLauncher&) = delete;
    PosixProcessLauncher& operator=(const PosixProcessLauncher&) = delete;

    std::optional<pid_t> start(const std::string& program,
                               const std::vector<std::string>& arguments) override;
    bool terminate(pid_t pid) override;
    bool isRunning(pid_t pid) override;
    bool waitForEnd(const std::vector<pid_t>& pids, std::chrono::milliseconds timeout) override;

private:
    struct Child {
        int pidfd = -1;
        QSocketNotifier* notifier = nullptr;
    };

    // Reaps the child when its pidfd says it has ended; true when it has (it is forgotten then).
    bool reapIfEnded(pid_t pid);
    void forget(pid_t pid);

    std::map<pid_t, Child> m_children;
};

} // namespace kestrelon
