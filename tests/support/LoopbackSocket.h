#pragma once

#include <cstdint>

namespace kestrelon::test {

// A TCP socket bound to 127.0.0.1 and a free port (not yet listening); port is set to it.
// Throws std::runtime_error when no socket can be had. Any thread.
int boundLoopbackSocket(uint16_t& port);

// A listening socket on 127.0.0.1 and a free port, with a wake-up pipe for the thread that serves
// it: a test server polls fd() and wakeFd() and ends when wakeFd() turns readable. Throws
// std::runtime_error when it cannot listen. wake() may be called from any thread.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 16);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int fd() const { return m_fd; }
    int wakeFd() const { return m_wake[0]; }
    uint16_t port() const { return m_port; }
    void wake();

private:
    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    uint16_t m_port = 0;
};

} // namespace kestrelon::test
