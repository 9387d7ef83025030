// A stand-in for the viewer port, for the browser test of the player page: serves the page or
// the stream of one profile row of the test pattern on 127.0.0.1, one thread per connection.
//
//   stream_test_server ROW [TITLE]
//
// Prints "PORT n" once it listens; ends when its standard input closes.
#include "streaming/PlayerPage.h"
#include "streaming/StreamPipeline.h"
#include "streaming/TestPatternFeed.h"
#include "support/LoopbackSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace kestrelon;

namespace {

bool sendAll(int fd, const std::string& text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += size_t(n);
    }
    return true;
}

// The request's header block, at most 16 KiB within 5 s; empty when there is none.
std::string readHeader(int fd)
{
    std::string header;
    char buffer[2048];
    while (header.find("\r\n\r\n") == std::string::npos && header.size() < 16384) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) {
            return {};
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return {};
        }
        header.append(buffer, size_t(n));
    }
    return header;
}

std::string field(const std::string& header, const std::string& name)
{
    size_t at = 0;
    while ((at = header.find("\r\n", at)) != std::string::npos) {
        at += 2;
        if (header.compare(at, name.size(), name) == 0 && header[at + name.size()] == ':') {
            const size_t start = header.find_first_not_of(' ', at + name.size() + 1);
            return header.substr(start, header.find("\r\n", start) - start);
        }
    }
    return {};
}

void serve(int fd, StreamPipeline& stream)
{
    const std::string header = readHeader(fd);
    const size_t space = header.find(' ');
    const std::string target = header.substr(space + 1, header.find(' ', space + 1) - space - 1);
    if (header.empty() || space == std::string::npos) {
        ::close(fd);
        return;
    }
    if (classifyViewerRequest(target, field(header, "Accept")) == ViewerRequest::PlayerPage) {
        const std::string page = playerPageHtml(stream.title());
        sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(kPlayerPageContentType) +
                        "\r\nContent-Length: " + std::to_string(page.size()) +
                        "\r\nConnection: close\r\n\r\n" + page);
        ::close(fd);
        return;
    }
    StreamViewers::Slot slot = stream.viewers()->reserve();
    if (!slot) {
        sendAll(fd, "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        ::close(fd);
        return;
    }
    if (!sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: " + std::string(kStreamContentType) +
                         "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n")) {
        ::close(fd);
        return;
    }
    slot.handOver(fd);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: stream_test_server ROW [TITLE]\n");
        return 2;
    }
    QString error;
    StreamPipeline stream(makeStreamProfile(std::atoi(argv[1]), 50), argc > 2 ? argv[2] : "", 5);
    if (stream.start(std::make_unique<TestPatternFeed>(), {}, error) != StreamPipeline::Start::Started) {
        std::fprintf(stderr, "the stream does not start: %s\n", error.toUtf8().constData());
        return 1;
    }
    uint16_t port = 0;
    const int listener = kestrelon::test::boundLoopbackSocket(port);
    ::listen(listener, 16);
    std::printf("PORT %u\n", unsigned(port));
    std::fflush(stdout);
    for (;;) {
        pollfd p[2] = {{listener, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        ::poll(p, 2, -1);
        if (p[1].revents) {
            char c;
            if (::read(STDIN_FILENO, &c, 1) <= 0) {
                break;
            }
        }
        if (p[0].revents & POLLIN) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                std::thread([fd, &stream] { serve(fd, stream); }).detach();
            }
        }
    }
    ::close(listener);
    stream.stop();
    return 0;
}
