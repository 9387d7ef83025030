#include "support/RawHttpClient.h"

#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrelon::test {

RawConnection::RawConnection(uint16_t port, const std::string& sourceAddress, const std::string& host)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return;
    }
    if (!sourceAddress.empty()) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, sourceAddress.c_str(), &local.sin_addr);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &remote.sin_addr);
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

RawConnection::~RawConnection()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool RawConnection::send(const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

namespace {

bool waitReadable(int fd, std::chrono::steady_clock::time_point deadline)
{
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
        return false;
    }
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(left.count())) > 0;
}

} // namespace

bool RawConnection::fill(std::chrono::steady_clock::time_point deadline)
{
    if (!waitReadable(m_fd, deadline)) {
        return false;
    }
    char buf[65536];
    ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
    if (n <= 0) {
        return false;
    }
    m_buffer.append(buf, static_cast<size_t>(n));
    return true;
}

std::optional<HttpResponse> RawConnection::readResponse(bool headOnly, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t end;
    while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(deadline)) {
            return std::nullopt;
        }
    }
    HttpResponse r;
    std::string head = m_buffer.substr(0, end);
    size_t lineEnd = head.find("\r\n");
    std::string statusLine = head.substr(0, lineEnd);
    size_t sp1 = statusLine.find(' ');
    size_t sp2 = statusLine.find(' ', sp1 + 1);
    r.status = std::atoi(statusLine.substr(sp1 + 1, sp2 - sp1 - 1).c_str());
    r.reason = sp2 == std::string::npos ? std::string() : statusLine.substr(sp2 + 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t next = head.find("\r\n", pos);
        std::string line = head.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            std::string value = line.substr(colon + 1);
            while (!value.empty() && value.front() == ' ') {
                value.erase(0, 1);
            }
            r.headers[name] = value;
        }
        if (next == std::string::npos) {
            break;
        }
        pos = next + 2;
    }
    size_t bodyStart = end + 4;
    size_t length = 0;
    bool toClose = false;
    if (!headOnly && r.status != 204 && r.status != 304 && r.status >= 200) {
        if (r.headers.count("content-length")) {
            length = std::stoull(r.headers["content-length"]);
        } else {
            toClose = true;
        }
    }
    if (toClose) {
        while (fill(deadline)) {
        }
        length = m_buffer.size() - bodyStart;
    }
    while (m_buffer.size() < bodyStart + length) {
        if (!fill(deadline)) {
            return std::nullopt;
        }
    }
    r.body = m_buffer.substr(bodyStart, length);
    r.raw = m_buffer.substr(0, bodyStart + length);
    m_buffer.erase(0, bodyStart + length);
    return r;
}

bool RawConnection::waitForClose(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (waitReadable(m_fd, deadline)) {
        char buf[65536];
        ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n <= 0) {
            return true;
        }
    }
    return false;
}

std::optional<HttpResponse> httpGet(uint16_t port, const std::string& target, const std::string& extraHeaders,
                                    const std::string& method, const std::string& sourceAddress)
{
    RawConnection c(port, sourceAddress);
    if (!c.connected()) {
        return std::nullopt;
    }
    c.send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders +
           "Connection: close\r\n\r\n");
    return c.readResponse(method == "HEAD");
}

std::optional<HttpResponse> httpPost(uint16_t port, const std::string& target, const std::string& body,
                                     const std::string& sourceAddress, const std::string& contentType)
{
    RawConnection c(port, sourceAddress);
    if (!c.connected()) {
        return std::nullopt;
    }
    c.send("POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    return c.readResponse();
}

std::string base64(const std::string& text)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (unsigned char c : text) {
        bits = (bits << 8) | c;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out.push_back(alphabet[(bits >> count) & 63]);
        }
    }
    if (count > 0) {
        out.push_back(alphabet[(bits << (6 - count)) & 63]);
    }
    while (out.size() % 4) {
        out.push_back('=');
    }
    return out;
}

} // namespace kestrelon::test
