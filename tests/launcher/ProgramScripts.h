#pragma once

#include "support/TempDir.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <csignal>
#include <sys/types.h>

namespace kestrelon::test {

// What one start of a recording script wrote: its pid, working folder, standard input, whether
// file descriptor 50 was open, and its arguments in order.
struct ScriptRecord {
    pid_t pid = -1;
    std::string cwd;
    std::string stdinTarget;
    bool fd50Open = false;
    std::vector<std::string> arguments;
};

// Writes an executable shell script at relative (folders are created) that appends a record of
// each start to "<script>.rec" and then waits until a signal ends it; on SIGTERM it appends its
// pid to "<script>.term" first. Returns its full path.
std::string writeRecordingScript(const TempDir& dir, const std::string& relative);
// Writes a file with the given mode.
std::string writeFileWithMode(const TempDir& dir, const std::string& relative, const std::string& content,
                              mode_t mode);

// The complete records in "<script>.rec", in order.
std::vector<ScriptRecord> readRecords(const std::string& script);
// The pids that "<script>.term" lists: the processes SIGTERM ended.
std::vector<pid_t> readTerminated(const std::string& script);
// Waits until "<script>.rec" holds at least count complete records, at most timeout.
std::vector<ScriptRecord> waitForRecords(const std::string& script, size_t count,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Processes the test started itself or through the code under test, held by pidfds so that a
// reused pid is never signalled. Whatever still runs at the end is killed (SIGKILL), and the
// test's own children are reaped.
class ProcessWatch {
public:
    ProcessWatch() = default;
    ~ProcessWatch();
    ProcessWatch(const ProcessWatch&) = delete;
    ProcessWatch& operator=(const ProcessWatch&) = delete;

    // Starts watching a running process; false when it is gone already.
    bool watch(pid_t pid);
    bool running(pid_t pid) const;
    // Waits until the process has ended, at most timeout; true when it has.
    bool waitForEnd(pid_t pid, std::chrono::milliseconds timeout) const;
    // SIGKILL through the pidfd, then waits for the end (and reaps a child of the test).
    void kill(pid_t pid);

private:
    std::map<pid_t, int> m_pidfds;
};

// Starts a program directly, as a child of the test (no launcher involved).
pid_t spawnDirect(const std::string& program, const std::vector<std::string>& arguments);

// While it exists, the calling thread blocks SIGTERM, as Kestrelon's threads do, and the process
// ignores SIGPIPE, as servers often do.
class KestrelonSignals {
public:
    KestrelonSignals();
    ~KestrelonSignals();
    KestrelonSignals(const KestrelonSignals&) = delete;
    KestrelonSignals& operator=(const KestrelonSignals&) = delete;

private:
    sigset_t m_previousMask;
    struct sigaction m_previousPipe;
};

// The "SigBlk:" or "SigIgn:" mask of a process, as /proc shows it; empty when it is gone.
std::string signalMask(pid_t pid, const std::string& field);

} // namespace kestrelon::test
