#pragma once

#include "support/ChildProcess.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace kestrelon::test {

// A program (the real Kestrelon, headless) as a child of the test, with its standard error read on
// a thread of its own, so that it never blocks on a full pipe. Killed and reaped when the object
// goes, if it still runs. Use it from one thread.
class HeadlessProgram {
public:
    // Starts exe with args and the test program's environment, where extraEnvironment's
    // "NAME=value" entries are added or replace those of the same name.
    HeadlessProgram(const std::string& exe, const std::vector<std::string>& args,
                    const std::vector<std::string>& extraEnvironment = {});
    ~HeadlessProgram();
    HeadlessProgram(const HeadlessProgram&) = delete;
    HeadlessProgram& operator=(const HeadlessProgram&) = delete;

    bool started() const { return m_started; }

    // Everything it has written to standard error so far.
    std::string stderrText() const;
    // Its complete lines so far.
    std::vector<std::string> lines() const;

    // The first line after the one the last wait stopped at that matches, if one comes in time.
    // The match stays valid as long as the object.
    std::optional<std::smatch> waitForLine(const std::regex& pattern, std::chrono::milliseconds timeout);
    std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& accept,
                                           std::chrono::milliseconds timeout);

    // From now on its standard error is not read any more: the pipe fills up and stays full, as
    // with a reader that has stopped.
    void stopReading() { m_notReading = true; }

    // SIGTERM; nothing once it has ended.
    void terminate();
    // Its exit status (128 + the signal that ended it), -1 when it still runs when the time is up.
    // After its end, what it wrote on the way out is in lines() and stderrText() too.
    int waitForExit(std::chrono::milliseconds timeout);

private:
    void readErrors();
    std::optional<size_t> waitForIndex(const std::function<bool(const std::string&)>& accept,
                                       std::chrono::milliseconds timeout);

    ChildProcess m_process;
    bool m_started = false;
    int m_err = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_notReading{false};
    std::thread m_reader;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_text;
    std::string m_pending;           // the start of a line still to come
    std::deque<std::string> m_lines; // a deque: its strings stay where they are, for waitForLine's matches
    size_t m_next = 0;               // the first line the next wait looks at
    bool m_reading = false;          // between a read of the pipe and its lines
    bool m_closed = false;           // the pipe's writers have all gone
};

} // namespace kestrelon::test
