#include "support/StuckSmtpServer.h"

#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace kestrelon::test {

namespace {

struct Client {
    int fd = -1;
    std::string input;
    bool inData = false;
    bool stalled = false;
};

void reply(int fd, const char* text)
{
    [[maybe_unused]] ssize_t n = ::send(fd, text, std::char_traits<char>::length(text), MSG_NOSIGNAL);
}

// Answers the complete command lines in the client's input; returns true when a message ended.
bool answerCommands(Client& c)
{
    while (!c.stalled) {
        if (c.inData) {
            size_t end = c.input.find("\r\n.\r\n");
            if (end == std::string::npos) {
                return false;
            }
            c.input.clear();
            c.inData = false;
            c.stalled = true; // the reply to the data never comes
            return true;
        }
        size_t end = c.input.find("\r\n");
        if (end == std::string::npos) {
            return false;
        }
        std::string line = c.input.substr(0, end);
        c.input.erase(0, end + 2);
        std::string verb = line.substr(0, 4);
        for (char& ch : verb) {
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
        if (verb == "EHLO" || verb == "HELO") {
            reply(c.fd, "250 stuck.example\r\n");
        } else if (verb == "DATA") {
            reply(c.fd, "354 End data with <CR><LF>.<CR><LF>\r\n");
            c.inData = true;
            // The data may start with the message's end already, when it is empty.
            c.input.insert(0, "\r\n");
        } else {
            reply(c.fd, "250 OK\r\n");
        }
    }
    return false;
}

} // namespace

StuckSmtpServer::StuckSmtpServer(Mode mode) : m_mode(mode)
{
    m_thread = std::thread([this] { serve(); });
}

StuckSmtpServer::~StuckSmtpServer()
{
    m_listener.wake();
    m_thread.join();
}

void StuckSmtpServer::serve()
{
    std::vector<Client> clients;
    while (true) {
        std::vector<pollfd> p = {{m_listener.fd(), POLLIN, 0}, {m_listener.wakeFd(), POLLIN, 0}};
        for (const Client& c : clients) {
            p.push_back({c.fd, POLLIN, 0});
        }
        if (::poll(p.data(), p.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (p[1].revents) {
            break;
        }
        // Clients first: accepting below changes the list.
        for (size_t i = clients.size(); i-- > 0;) {
            if (!p[i + 2].revents) {
                continue;
            }
            Client& c = clients[i];
            char buffer[4096];
            ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(c.fd);
                ++m_closed;
                clients.erase(clients.begin() + static_cast<long>(i));
                continue;
            }
            if (m_mode == Mode::StallAfterData) {
                c.input.append(buffer, static_cast<size_t>(n));
                if (answerCommands(c)) {
                    ++m_stalled;
                }
            }
        }
        if (p[0].revents) {
            int fd = ::accept4(m_listener.fd(), nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                ++m_connections;
                if (m_mode == Mode::StallAfterData) {
                    reply(fd, "220 stuck.example ESMTP\r\n");
                }
                clients.push_back(Client{fd, {}, false, false});
            }
        }
    }
    for (const Client& c : clients) {
        ::close(c.fd);
    }
}

} // namespace kestrelon::test
