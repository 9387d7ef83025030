#pragma once

#include "support/PythonServer.h"
#include "support/TempDir.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrelon::test {

// One message as the test server stored it.
struct ReceivedMail {
    std::string from;               // envelope sender (MAIL FROM)
    std::vector<std::string> rcpts; // envelope recipients (RCPT TO), in order
    std::string data;               // the DATA bytes, dot-stuffing removed, as they arrived
    // The message as Python's e-mail parser reads it: header values unfolded and decoded
    // (RFC 2047 words included), the body after its transfer decoding.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string parseError;              // set when the parser could not read the message
    std::string authMechanism, authUser; // empty when the session did not log in

    // The values of every header with this name (any case), in order.
    std::vector<std::string> header(const std::string& name) const;
};

// A real SMTP server (aiosmtpd, run by /usr/bin/python3) on 127.0.0.1 and a free port, in its
// own process group. Each message it accepts is stored as a file in a temporary folder. The
// process ends with stop() or the destructor, and on its own when the test process dies (its
// standard input closes). Construct, stop and destroy on one thread; messages() and
// waitForMessages() only read files and may be called from any thread.
class SmtpTestServer {
public:
    struct Options {
        std::string user; // when set, AUTH (LOGIN or PLAIN) with user/password is offered
        std::string password;
        bool authOptional = false;   // with a user: mail without logging in is accepted too
        std::string rejectRecipient; // RCPT of an address containing this text gets 550
    };

    // Starts the server and waits until it listens; throws std::runtime_error when it cannot.
    SmtpTestServer();
    explicit SmtpTestServer(Options options);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    uint16_t port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); } // "host:port"

    std::vector<ReceivedMail> messages() const; // in the order they arrived
    size_t messageCount() const;
    // Waits until at least count messages are stored or the time is up.
    bool waitForMessages(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    // Ends the server process and reaps it; idempotent.
    void stop();

    // A port on 127.0.0.1 that nobody listens on: connections to it are refused.
    static uint16_t closedPort();

private:
    TempDir m_folder;
    std::unique_ptr<PythonServer> m_process;
    uint16_t m_port = 0;
};

// A socket on 127.0.0.1 that listens but never accepts: a client's connection completes in the
// kernel and then hears nothing, like a server that hangs before its greeting.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

} // namespace kestrelon::test
