#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace kestrelon {

// What one query of a time server gave.
struct TimeAnswer {
    enum class Outcome {
        Answered, // the four bytes arrived
        NoAnswer, // connected, but fewer than four bytes came before the server closed or the wait ended
        Failed,   // no connection: bad address, name not found, refused, unreachable, reset, cancelled
    };
    Outcome outcome = Outcome::Failed;
    // Answered: the server's time (UTC), half the round trip added.
    std::chrono::system_clock::time_point time{};
    uint32_t value = 0; // the four bytes as received
    std::string error;  // why not, for NoAnswer and Failed

    bool answered() const { return outcome == Outcome::Answered; }
};

// A client of the Time protocol (RFC 868): connect by TCP, read the server's four-byte count of
// seconds since 1900-01-01 00:00 UTC, disconnect. Blocking, with every wait bounded; any thread
// may use it, and one object may serve several threads at once (it keeps no state of its own).
class TimeClient {
public:
    static constexpr uint16_t kPort = 37;
    static constexpr int64_t kSecondsFrom1900To1970 = 2208988800;

    struct Options {
        std::chrono::milliseconds connectTimeout{5000};
        // How long the four bytes may take once the connection is made.
        std::chrono::milliseconds answerTimeout{2500};
    };

    TimeClient() = default;
    explicit TimeClient(Options options) : m_options(options) {}

    // One query of a server named as parseHostPort reads it, on port 37 when none is given. now is
    // the local clock's reading; it picks the 136-year era of the answer.
    // A stop request ends the waits early with Failed.
    TimeAnswer query(std::string_view server, std::chrono::system_clock::time_point now,
                     std::stop_token stop = {}) const;

    // The time a 32-bit value stands for: the value counts seconds since 1900 and wraps every
    // 2^32 seconds (first in February 2036), so of the times value + k * 2^32 (k >= 0) the one
    // nearest to now is taken.
    static std::chrono::system_clock::time_point timeFromValue(uint32_t value,
                                                               std::chrono::system_clock::time_point now);

private:
    Options m_options;
};

} // namespace kestrelon
