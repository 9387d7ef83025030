#pragma once

#include "core/Outcome.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelon {

class AsyncLineWriter;

// How a LineLog is set up (LineLog::Options).
struct LineLogOptions {
    enum class LineLimit {
        BeforeEachLine, // the next line empties a log of more than kMaxLines lines first
        WhenAsked,      // the owner calls emptyIfFull() where its rule says (before a pass)
    };
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // A date and time pattern (core/DateTimePattern) whose text, followed by stampSeparator,
    // starts every line; empty for lines without a stamp.
    std::string stampPattern;
    std::string stampSeparator;
    LineLimit lineLimit = LineLimit::BeforeEachLine;
    // Asked on every append: false drops the line (the bounds still apply). Empty: always on.
    std::function<bool()> enabled;
    // The time of the stamps; the system clock when empty.
    Clock clock;
};

// One of the program's logs (the Message log, the time log, the IP-Refresh and snapshot upload
// logs): text lines in memory, stamped with the local date and time or not, with "Clear Log",
// "Save Log", readers that take only the lines they do not have yet, and a mirror that hands each
// line on (headless: standard error with the log's prefix).
//
// Bounds: a log that holds more than kMaxLines lines is emptied before its next line, or, for a
// log whose owner applies that rule itself, when the owner asks (emptyIfFull); a log that holds
// more than kMaxBytes of text is emptied before its next line in any case. A line longer than
// kMaxLineBytes is cut, with a mark that says so. Control characters in a text become "?", so a
// text from outside cannot forge lines.
//
// Threads: every member may be called from any thread; appending, emptying, clearing and reading
// are serialised by one lock. The mirror is called after the lock is released.
class LineLog : public QObject {
    Q_OBJECT
public:
    static constexpr size_t kMaxLines = 32000;
    static constexpr size_t kMaxBytes = 8 * 1024 * 1024;
    static constexpr size_t kMaxLineBytes = 2048;

    using Options = LineLogOptions;
    using LineLimit = LineLogOptions::LineLimit;
    using Clock = LineLogOptions::Clock;

    explicit LineLog(Options options = Options(), QObject* parent = nullptr);

    // Adds a line: the stamp, then the text.
    void append(std::string_view text);
    // Adds a line: the stamp, then the parts one after the other. The same line as append() of
    // the parts put together, without putting them together first.
    void append(std::initializer_list<std::string_view> parts);
    // Empties a log of more than kMaxLines lines. True when it did.
    bool emptyIfFull();
    // "Clear Log".
    void clear();

    std::vector<std::string> lines() const;
    size_t lineCount() const;

    // The lines a reader does not have yet. A reader that holds the first `shown` lines of epoch
    // `epoch` gets the lines after them; when the log was emptied since (cleared, or at a bound),
    // the epoch has moved on and it gets every line with the new epoch. Re-arms changed().
    struct Tail {
        uint64_t epoch = 0;
        size_t first = 0; // index of lines[0] in the log
        std::vector<std::string> lines;
    };
    Tail linesSince(uint64_t epoch, size_t shown) const;
    // Where the log stands: its epoch and its line count (the last line is count - 1).
    struct Position {
        uint64_t epoch = 0;
        size_t count = 0;
    };
    Position position() const;

    // "Save Log": writes the lines to the file, one a line, replacing it in one step.
    Outcome save(const std::string& path) const;

    // Each line, as stored, is handed to the sink too, just before the log keeps it. The sink runs
    // on the appending thread outside the log's lock, so it must be quick and thread-safe; lines
    // of one thread reach it in their order. An empty sink ends the mirror.
    void setSink(std::function<void(const std::string& line)> sink);
    // The headless mirror: each line, after the prefix, to the writer (which never blocks).
    void mirrorTo(std::shared_ptr<AsyncLineWriter> writer, std::string prefix);
    // A log whose lines nobody reads (headless, where no window shows them) keeps none: each line
    // goes to the sink alone, and the log stays empty. It frees what it held. On by default.
    void setKeepsLines(bool keeps);

    // The stamp text of a moment in a pattern, local time. Any thread.
    static std::string stamp(std::string_view pattern, std::chrono::system_clock::time_point time);

Q_SIGNALS:
    // Coalesced: emitted once after the log changed until someone reads it (lines, linesSince).
    void changed();

private:
    void emptyLocked();
    void keepLocked(std::string_view line);
    std::string lineAt(size_t index) const; // with the lock held
    bool overBounds() const;                // with the lock held
    void notify();

    const Options m_options;
    const uint64_t m_id; // tells this log's stamps apart from other logs' in the threads' caches
    mutable std::mutex m_mutex;
    // The lines, one after the other without line ends, and where each ends in it.
    std::vector<char> m_text;
    std::vector<size_t> m_ends;
    uint64_t m_epoch = 1; // counts the times the log was emptied
    void appendParts(const std::string_view* parts, size_t count);

    using Sink = std::function<void(const std::string&)>;
    // The mirror to a writer, which a log that keeps no lines fills without a line of its own.
    struct Mirror {
        std::shared_ptr<AsyncLineWriter> writer;
        std::string prefix;
    };
    // The sink and the mirror in use (one of them at most), read without the lock. Every one ever
    // set stays alive with the log (they are set a few times in a run), so a line never waits
    // for, or counts references to, them.
    std::atomic<const Sink*> m_sink{nullptr};
    std::atomic<const Mirror*> m_mirror{nullptr};
    std::vector<std::unique_ptr<const Sink>> m_sinks;
    std::vector<std::unique_ptr<const Mirror>> m_mirrors;
    mutable std::atomic<bool> m_notifyPending{false};
    std::atomic<bool> m_keepsLines{true};
};

} // namespace kestrelon
