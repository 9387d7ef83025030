#include "support/PageTestServer.h"

#include <QByteArray>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <optional>

namespace kestrelon::test {

namespace {

std::string lower(std::string s)
{
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

bool sendAll(int fd, const std::string& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Waits until fd or the wake-up pipe turns readable, for at most timeoutMs (-1: no limit).
// False on the wake-up, a time-out or an error.
bool readable(int fd, int wakeFd, int timeoutMs)
{
    while (true) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        const int ready = ::poll(p, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0 && !p[1].revents && p[0].revents;
    }
}

} // namespace

std::string PageTestServer::Request::header(const std::string& lowerName) const
{
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

PageTestServer::PageTestServer()
{
    m_thread = std::thread([this] { serve(); });
}

PageTestServer::~PageTestServer()
{
    m_listener.wake();
    m_thread.join();
}

std::string PageTestServer::hostAndPath(const std::string& path) const
{
    return "127.0.0.1:" + std::to_string(port()) + path;
}

void PageTestServer::setPage(const std::string& path, Page page)
{
    std::lock_guard lock(m_mutex);
    m_pages[path] = std::move(page);
}

void PageTestServer::setPage(const std::string& path, const std::string& body)
{
    Page page;
    page.body = body;
    setPage(path, std::move(page));
}

void PageTestServer::setProtectedPage(const std::string& path, const std::string& body,
                                      const std::string& user, const std::string& password)
{
    Page page;
    page.body = body;
    page.user = user;
    page.password = password;
    setPage(path, std::move(page));
}

std::vector<PageTestServer::Request> PageTestServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void PageTestServer::serve()
{
    while (readable(m_listener.fd(), m_listener.wakeFd(), -1)) {
        const int fd = ::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            answer(fd);
            ::close(fd);
        }
    }
}

void PageTestServer::answer(int fd)
{
    std::string text;
    while (text.find("\r\n\r\n") == std::string::npos && text.size() < 64 * 1024) {
        if (!readable(fd, m_listener.wakeFd(), 10000)) {
            return;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    Request request;
    size_t lineEnd = text.find("\r\n");
    const std::string first = text.substr(0, lineEnd);
    const size_t space = first.find(' ');
    request.path = first.substr(space + 1, first.rfind(' ') - space - 1);
    for (size_t at = lineEnd + 2; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos || end == at) {
            break;
        }
        const std::string line = text.substr(at, end - at);
        const size_t colon = line.find(':');
        if (colon != std::string::npos) {
            size_t value = colon + 1;
            while (value < line.size() && line[value] == ' ') {
                ++value;
            }
            request.headers[lower(line.substr(0, colon))] = line.substr(value);
        }
        at = end + 2;
    }

    std::optional<Page> page;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        if (auto it = m_pages.find(request.path); it != m_pages.end()) {
            page = it->second;
        }
    }
    if (page && page->stall) {
        // Until the client closes the connection or the server ends.
        while (readable(fd, m_listener.wakeFd(), -1)) {
            char buffer[256];
            if (::recv(fd, buffer, sizeof buffer, 0) <= 0) {
                return;
            }
        }
        return;
    }
    int status = page ? page->status : 404;
    std::string body = page ? page->body : "<html><body>Not found</body></html>";
    std::string extra;
    if (page && !page->user.empty()) {
        const QByteArray expected =
            "Basic " + QByteArray::fromStdString(page->user + ":" + page->password).toBase64();
        if (request.header("authorization") != expected.toStdString()) {
            status = 401;
            body = "<html><body>Authorization required</body></html>";
            extra += "WWW-Authenticate: Basic realm=\"router\"\r\n";
        }
    }
    if (page && !page->setCookie.empty()) {
        extra += "Set-Cookie: " + page->setCookie + "\r\n";
    }
    sendAll(fd, "HTTP/1.1 " + std::to_string(status) + (status < 400 ? " OK" : " Error") +
                    "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n" + extra + "\r\n" + body);
}

} // namespace kestrelon::test
