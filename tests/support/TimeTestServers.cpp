#include "support/TimeTestServers.h"

#include "support/LoopbackSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace kestrelon::test {

namespace {

constexpr const char* kXinetd = "/usr/sbin/xinetd";
constexpr int64_t kSecondsFrom1900To1970 = 2208988800;
// The longest a tiny server holds a silent connection open: far beyond any client's wait.
constexpr int kHoldOpenMs = 10000;

} // namespace

// ---- xinetd ----

XinetdTimeServer::XinetdTimeServer()
{
    // Another program may take the free port before xinetd binds it: then try another one.
    for (int attempt = 0; attempt < 5; ++attempt) {
        uint16_t port = 0;
        ::close(boundLoopbackSocket(port));
        if (start(port)) {
            m_port = port;
            return;
        }
        stop();
    }
    throw std::runtime_error("xinetd's time service did not start:\n" + logText());
}

XinetdTimeServer::~XinetdTimeServer()
{
    stop();
}

std::string XinetdTimeServer::logText() const
{
    return readFile(m_folder.path() + "/xinetd.log");
}

bool XinetdTimeServer::start(uint16_t port)
{
    const std::string config = m_folder.write("xinetd.conf", "service time\n"
                                                             "{\n"
                                                             "    type        = INTERNAL UNLISTED\n"
                                                             "    id          = time-stream\n"
                                                             "    socket_type = stream\n"
                                                             "    protocol    = tcp\n"
                                                             "    wait        = no\n"
                                                             "    port        = " +
                                                                 std::to_string(port) +
                                                                 "\n"
                                                                 "    bind        = 127.0.0.1\n"
                                                                 "}\n");
    const std::string log = m_folder.path() + "/xinetd.log";
    std::filesystem::remove(log);
    const std::string pidFile = m_folder.path() + "/xinetd.pid";
    const std::string output = m_folder.path() + "/xinetd.out";
    std::vector<std::string> args = {kXinetd,    "-dontfork", "-f",       config,
                                     "-filelog", log,         "-pidfile", pidFile};
    ChildProcess::Setup setup;
    setup.args = std::move(args);
    setup.ownGroup = true;
    setup.endWithParent = true; // even when the test program dies without running its destructors
    // Close-on-exec: only the child gets them, as its standard streams.
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out >= 0 && in >= 0) {
        setup.stdinFd = in;
        setup.stdoutFd = setup.stderrFd = out;
    }
    const auto closeStreams = [&] {
        for (int fd : {in, out}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    };
    try {
        m_process.start(setup);
    } catch (...) {
        closeStreams();
        throw;
    }
    closeStreams();

    // Up when its log says the service started; "0 available services" means the bind failed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string text = logText();
        if (size_t at = text.find("Started working: "); at != std::string::npos) {
            return text.compare(at + 17, 2, "0 ") != 0;
        }
        m_process.waitForExit(std::chrono::milliseconds(0)); // reaps it when it has ended
        if (!m_process.running()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void XinetdTimeServer::stop()
{
    m_process.stop(std::chrono::seconds(3));
}

// ---- the tiny server ----

TinyTimeServer::TinyTimeServer(std::vector<Reply> replies) : m_replies(std::move(replies))
{
    if (m_replies.empty()) {
        m_replies.push_back(Reply::nothing());
    }
    m_thread = std::thread([this] { serve(); });
}

TinyTimeServer::~TinyTimeServer()
{
    m_listener.wake();
    m_thread.join();
}

uint32_t TinyTimeServer::valueOf(std::chrono::system_clock::time_point time)
{
    const int64_t seconds = std::chrono::floor<std::chrono::seconds>(time).time_since_epoch().count();
    return static_cast<uint32_t>(static_cast<uint64_t>(seconds + kSecondsFrom1900To1970) & 0xFFFFFFFFu);
}

void TinyTimeServer::serve()
{
    while (true) {
        pollfd p[2] = {{m_listener.fd(), POLLIN, 0}, {m_listener.wakeFd(), POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (p[1].revents) {
            return;
        }
        const int fd = ::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        const size_t index = static_cast<size_t>(m_connections++);
        answer(fd, m_replies[std::min(index, m_replies.size() - 1)]);
        ::close(fd);
    }
}

void TinyTimeServer::answer(int fd, const Reply& reply)
{
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(reply.value >> 24), static_cast<unsigned char>(reply.value >> 16),
        static_cast<unsigned char>(reply.value >> 8), static_cast<unsigned char>(reply.value)};
    switch (reply.kind) {
    case Reply::Kind::Value:
        if (pause(reply.delay)) {
            [[maybe_unused]] ssize_t n = ::send(fd, bytes, 4, MSG_NOSIGNAL);
        }
        break;
    case Reply::Kind::ThreeBytes: {
        [[maybe_unused]] ssize_t n = ::send(fd, bytes, 3, MSG_NOSIGNAL);
        holdOpen(fd);
        break;
    }
    case Reply::Kind::Nothing:
        holdOpen(fd);
        break;
    case Reply::Kind::Close:
        break;
    case Reply::Kind::Reset: {
        // Closing with a zero linger time sends a reset instead of the orderly end.
        linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        break;
    }
    }
}

bool TinyTimeServer::pause(std::chrono::milliseconds time)
{
    if (time.count() <= 0) {
        return true;
    }
    pollfd p{m_listener.wakeFd(), POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(time.count())) == 0;
}

void TinyTimeServer::holdOpen(int fd)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHoldOpenMs);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        pollfd p[2] = {{fd, POLLIN, 0}, {m_listener.wakeFd(), POLLIN, 0}};
        if (::poll(p, 2, static_cast<int>(left.count())) <= 0 || p[1].revents) {
            return;
        }
        char buffer[64];
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0) {
            return; // the client has gone
        }
    }
}

} // namespace kestrelon::test
