#pragma once

#include "support/ChildProcess.h"
#include "support/LoopbackSocket.h"
#include "support/TempDir.h"
#include "timecheck/ClockSetter.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrelon::test {

// Debian's xinetd with its built-in RFC 868 time service ("time", INTERNAL) on 127.0.0.1 and a
// free port, from a configuration file of its own in a temporary folder, in the foreground
// (-dontfork) and logging to a file there (-filelog). The port is chosen afresh for each fixture
// so that test programs running side by side never meet. Construct, stop and destroy on one
// thread.
class XinetdTimeServer {
public:
    // Starts xinetd and waits until its service is up; throws std::runtime_error when it cannot.
    XinetdTimeServer();
    ~XinetdTimeServer();
    XinetdTimeServer(const XinetdTimeServer&) = delete;
    XinetdTimeServer& operator=(const XinetdTimeServer&) = delete;

    uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); } // "host:port"
    std::string logText() const;

    // Ends xinetd and reaps it; idempotent.
    void stop();

private:
    bool start(uint16_t port);

    TempDir m_folder;
    ChildProcess m_process;
    uint16_t m_port = 0;
};

// A tiny time server on 127.0.0.1 and a free port. Each connection, in turn, gets the next of the
// replies it was given (the last repeats): four bytes of a chosen value after a chosen delay,
// three bytes and then silence, nothing at all, a close at once, or a reset (a broken
// connection). It serves one connection at a time on a thread of its own; every wait is bounded
// by the client or by the destructor.
class TinyTimeServer {
public:
    struct Reply {
        enum class Kind { Value, ThreeBytes, Nothing, Close, Reset };
        Kind kind = Kind::Value;
        uint32_t value = 0;
        std::chrono::milliseconds delay{0};

        static Reply of(uint32_t value, std::chrono::milliseconds delay = {})
        {
            return {Kind::Value, value, delay};
        }
        static Reply threeBytes() { return {Kind::ThreeBytes}; }
        static Reply nothing() { return {Kind::Nothing}; }
        static Reply close() { return {Kind::Close}; }
        static Reply reset() { return {Kind::Reset}; }
    };

    explicit TinyTimeServer(std::vector<Reply> replies);
    explicit TinyTimeServer(Reply reply) : TinyTimeServer(std::vector<Reply>{reply}) {}
    ~TinyTimeServer();
    TinyTimeServer(const TinyTimeServer&) = delete;
    TinyTimeServer& operator=(const TinyTimeServer&) = delete;

    uint16_t port() const { return m_listener.port(); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port()); } // "host:port"
    // Connections accepted so far.
    int connections() const { return m_connections; }

    // The value of a UTC time: seconds since 1900-01-01 00:00, modulo 2^32.
    static uint32_t valueOf(std::chrono::system_clock::time_point time);

private:
    void serve();
    void answer(int fd, const Reply& reply);
    // Sleeps until the time is up or the server is stopped; false when stopped.
    bool pause(std::chrono::milliseconds time);
    // Holds the connection open until the client closes it or the server stops.
    void holdOpen(int fd);

    std::vector<Reply> m_replies;
    LoopbackListener m_listener;
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

// A clock setter that only records: the tests never change the machine's clock. Thread-safe.
class RecordingClockSetter : public ClockSetter {
public:
    explicit RecordingClockSetter(bool result = true) : m_result(result) {}
    bool setClock(std::chrono::system_clock::time_point time) override
    {
        std::lock_guard lock(m_mutex);
        m_times.push_back(time);
        return m_result;
    }
    std::vector<std::chrono::system_clock::time_point> times() const
    {
        std::lock_guard lock(m_mutex);
        return m_times;
    }

private:
    const bool m_result;
    mutable std::mutex m_mutex;
    std::vector<std::chrono::system_clock::time_point> m_times;
};

} // namespace kestrelon::test
