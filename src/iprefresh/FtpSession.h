#pragma once

#include <stop_token>
#include <string>

namespace kestrelon {

struct FtpAccount {
    std::string host; // as typed in "Host"
    std::string user;
    std::string password;
    bool ascii = true; // transfer type: ASCII, else binary
};

// What a session reports while it runs; called on the thread that drives the session.
class FtpSessionEvents {
public:
    virtual ~FtpSessionEvents() = default;
    // The control connection stands (it may still be logging in).
    virtual void connected() = 0;
    // A connection that was reported connected has closed, for whatever reason: quit, a refused
    // login, a lost connection.
    virtual void disconnected() = 0;
};

// One FTP session on one control connection: connect and log in (port 21, active mode), change
// folder, store files, quit. The program's libcurl FTP session implements it; every wait is
// bounded by a time-out. One thread drives a session at a time (a job's worker thread).
// Failures return the error text; success returns the empty text.
class FtpSession {
public:
    virtual ~FtpSession() = default;
    // events stays valid until quit() returns, or until connect returns an error. A stop request
    // ends every wait of the session at once, up to its quit().
    virtual std::string connect(const FtpAccount& account, FtpSessionEvents& events,
                                std::stop_token stop) = 0;
    virtual std::string changeDirectory(const std::string& folder) = 0;
    // Stores the local file under remoteName (a name or a path), replacing a file there.
    virtual std::string store(const std::string& localFile, const std::string& remoteName) = 0;
    // Ends the session (QUIT, then the connection closes). Harmless when not connected.
    virtual void quit() = 0;
};

} // namespace kestrelon
