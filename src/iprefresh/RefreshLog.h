#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace kestrelon {

// The IP-Refresh log as the lookup and the refresh cycle use it; the program's shared line log
// implements it. Lines are stored as given, stamped by the writer. Main thread.
class RefreshLog {
public:
    static constexpr size_t kMaxLines = 32000;

    virtual ~RefreshLog() = default;
    // Adds a line; the view scrolls to it.
    virtual void append(const std::string& line) = 0;
    virtual size_t lineCount() const = 0;
    virtual void clear() = 0;
};

// The stamp that starts every IP-Refresh log line: the local short date, a blank and the long
// time ("08/12/2026 14:03:05"). Any thread.
std::string refreshLogStamp(std::chrono::system_clock::time_point time);

} // namespace kestrelon
