#pragma once

#include "net/MailSender.h"
#include "support/LoopbackSocket.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace kestrelon::test {

// An SMTP server on 127.0.0.1 that gets stuck, for the tests of time-outs and cancellation. Every
// connection is taken; then the server either never greets, or plays a plain dialogue (greeting,
// EHLO, MAIL, RCPT, DATA) up to the end of the message and never answers it. It serves any number
// of connections at once on a thread of its own and holds them until the client closes or the
// server is destroyed. Construct and destroy on one thread; the counts may be read from any.
class StuckSmtpServer {
public:
    enum class Mode { NeverGreet, StallAfterData };

    explicit StuckSmtpServer(Mode mode);
    ~StuckSmtpServer();
    StuckSmtpServer(const StuckSmtpServer&) = delete;
    StuckSmtpServer& operator=(const StuckSmtpServer&) = delete;

    uint16_t port() const { return m_listener.port(); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port()); } // "host:port"
    int connections() const { return m_connections; }
    // Connections the client has closed.
    int closed() const { return m_closed; }
    // Messages whose data arrived whole and were never answered.
    int stalledMessages() const { return m_stalled; }

private:
    void serve();

    const Mode m_mode;
    LoopbackListener m_listener{128};
    std::atomic<int> m_connections{0};
    std::atomic<int> m_closed{0};
    std::atomic<int> m_stalled{0};
    std::thread m_thread;
};

// An account for a server with time-outs that outlast any test: only a stop, or the one limit a
// test shortens, ends its dialogue.
inline SmtpAccount patientAccount(const std::string& server)
{
    SmtpAccount account;
    account.server = server;
    account.connectTimeoutMs = account.responseTimeoutMs = account.timeoutMs = 10 * 60 * 1000;
    return account;
}

} // namespace kestrelon::test
