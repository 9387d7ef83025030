#pragma once

#include "support/PythonServer.h"
#include "support/TempDir.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrelon::test {

// A real FTP server (pyftpdlib) on 127.0.0.1 and a free port, serving a temporary folder to one
// user, in a process of its own that ends with the object. What its clients did is kept as event
// lines ("connect", "login web", "refused web", "cwd /htdocs", "stor /htdocs/a.htm a", "quit",
// "disconnect"). Use it from one thread; events() and file() only read files.
class FtpTestServer {
public:
    static constexpr const char* kUser = "web";
    static constexpr const char* kPassword = "secret";

    // Starts the server and waits until it listens; throws std::runtime_error when it cannot.
    FtpTestServer();

    uint16_t port() const { return m_process->port(); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port()); } // "host:port"
    // The folder the user logs in to ("/" on the server).
    const std::string& root() const { return m_root; }
    // A stored file's content, by its path on the server ("/htdocs/a.htm").
    std::string file(const std::string& path) const { return readFile(m_root + path); }
    std::vector<std::string> events() const;

    // The next n logins are refused with 530.
    void refuseLogins(int n);
    // A STOR of a file with this name takes its data connection and then reads nothing more, so
    // the transfer never ends; an empty name ends the stalls.
    void stallStoreOf(const std::string& name);
    // Ends the server process; idempotent.
    void stop() { m_process->stop(); }

private:
    void command(const std::string& line);

    TempDir m_folder;
    std::string m_root;
    std::unique_ptr<PythonServer> m_process;
};

} // namespace kestrelon::test
