#include "support/LoopbackSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrelon::test {

int boundLoopbackSocket(uint16_t& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("socket failed");
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind failed");
    }
    port = ntohs(a.sin_port);
    return fd;
}

LoopbackListener::LoopbackListener(int backlog)
{
    m_fd = boundLoopbackSocket(m_port);
    if (::listen(m_fd, backlog) != 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        ::close(m_fd);
        throw std::runtime_error("listen failed");
    }
}

LoopbackListener::~LoopbackListener()
{
    ::close(m_fd);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void LoopbackListener::wake()
{
    const char stop = 's';
    [[maybe_unused]] ssize_t n = ::write(m_wake[1], &stop, 1);
}

} // namespace kestrelon::test
