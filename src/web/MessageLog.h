#pragma once

#include "core/LineLog.h"
#include "core/Text.h"

#include <functional>
#include <string_view>

namespace kestrelon {

// The web server's Message log: lines of "dd/mm/yyyy hh:nn:ss", three blanks, the message, while
// "Enable Log" is on. A log line type like the program's others; any thread.
class MessageLog : public LineLog {
    Q_OBJECT
public:
    static constexpr size_t kMaxMessageBytes = kMaxLineBytes;
    // What callers cut a text from a client to (a request path) before it goes into a message.
    static constexpr size_t kMaxFieldBytes = 1024;

    // enabled tells whether "Enable Log" is on; it is asked on every call.
    explicit MessageLog(std::function<bool()> enabled, QObject* parent = nullptr);

    // Any thread.
    void DisplayMessage(std::string_view text) { append(text); }
    // A message of several parts, one after the other.
    void DisplayMessage(std::initializer_list<std::string_view> parts) { append(parts); }

    // The time stamp that starts a line, for a given moment (seconds since the epoch).
    static std::string stamp(int64_t epochSeconds);
};

} // namespace kestrelon
