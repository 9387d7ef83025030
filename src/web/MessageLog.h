#pragma once

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelon {

// The web server's Message log: lines of "dd/mm/yyyy hh:nn:ss", three blanks, the message.
// DisplayMessage may be called from any thread; appending, emptying at the limits, clearing and
// reading are serialised by one lock.
class MessageLog : public QObject {
    Q_OBJECT
public:
    // A log that holds more than this many lines, or more than this many bytes of text, is
    // emptied before the next line goes in.
    static constexpr size_t kMaxLines = 32000;
    static constexpr size_t kMaxBytes = 8 * 1024 * 1024;
    // A message longer than this is cut, with a mark that says so (see clippedText).
    static constexpr size_t kMaxMessageBytes = 2048;
    // What callers cut a text from a client to (a request path) before it goes into a message.
    static constexpr size_t kMaxFieldBytes = 1024;

    // enabled tells whether "Enable Log" is on; it is asked on every call.
    explicit MessageLog(std::function<bool()> enabled, QObject* parent = nullptr);

    // Any thread. Control characters in the text become "?", so a request cannot forge lines.
    void DisplayMessage(std::string_view text);

    // Any thread. Each line, as stored, is also handed to the sink (the headless mirror on
    // standard error). The sink runs on the logging thread after the log's lock is released, so it
    // must be quick and thread-safe; lines of one thread reach it in their order.
    void setSink(std::function<void(const std::string& line)> sink);

    std::vector<std::string> lines() const;
    size_t lineCount() const;

    // The lines a view does not show yet. A view that shows the first `shown` lines of epoch
    // `epoch` gets the lines after them; when the log was emptied since (cleared, or at the line
    // limit), the epoch has moved on and it gets every line with the new epoch. Re-arms changed().
    struct Tail {
        uint64_t epoch = 0;
        size_t first = 0; // index of lines[0] in the log
        std::vector<std::string> lines;
    };
    Tail linesSince(uint64_t epoch, size_t shown) const;
    void clear();

    // The time stamp that starts a line, for a given moment (seconds since the epoch).
    static std::string stamp(int64_t epochSeconds);

Q_SIGNALS:
    // Coalesced: emitted once after the log changed until someone reads it with lines().
    void changed();

private:
    void notify();

    std::function<bool()> m_enabled;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    uint64_t m_epoch = 1; // counts the times the log was emptied
    size_t m_bytes = 0;   // text held in m_lines
    std::shared_ptr<const std::function<void(const std::string&)>> m_sink;
    int64_t m_stampSecond = -1;
    std::string m_stampText;
    mutable std::atomic<bool> m_notifyPending{false};
};

// Replaces every control character (below 0x20, and 0x7F) by "?".
std::string withoutControlChars(std::string_view text);

// The text, or when it is longer than maxBytes its start followed by "[... N bytes cut]". A cut
// never splits a UTF-8 sequence.
std::string clippedText(std::string_view text, size_t maxBytes);

} // namespace kestrelon
