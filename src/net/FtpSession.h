#pragma once

#include <stop_token>
#include <string>

namespace kestrelon {

struct FtpAccount {
    std::string host; // as typed in "Host": a name or address, with ":port" for another port than 21
    std::string user; // empty: anonymous
    std::string password;
    bool ascii = true; // transfer type: ASCII, else binary
};

// What a session reports while it runs; called on the thread that drives the session.
class FtpSessionEvents {
public:
    virtual ~FtpSessionEvents() = default;
    // The control connection stands: the server has greeted (the login may still follow).
    virtual void connected() = 0;
    // A connection that was reported connected has closed, for whatever reason: quit, a refused
    // login, a lost connection, a time-out.
    virtual void disconnected() = 0;
};

// One FTP session on one control connection: connect and log in (port 21, active mode), change
// folder, store files, quit. Used by the site upload of IP-Refresh and by the snapshot upload;
// FtpClient implements it on libcurl. One thread drives a session at a time (a job's worker
// thread); every wait is bounded by a time-out. Failures return the error text; success returns
// the empty text.
class FtpSession {
public:
    virtual ~FtpSession() = default;
    // Connects and logs in. events stays valid until quit() returns, or until connect returns an
    // error. A stop request ends every wait of the session at once, up to its quit().
    virtual std::string connect(const FtpAccount& account, FtpSessionEvents& events,
                                std::stop_token stop) = 0;
    // Changes the folder the following stores go to; a folder that is not there is an error.
    virtual std::string changeDirectory(const std::string& folder) = 0;
    // Stores the local file under remoteName (a name, or a path with "/"), replacing a file there.
    virtual std::string store(const std::string& localFile, const std::string& remoteName) = 0;
    // Ends the session (QUIT, then the connection closes). Harmless when not connected.
    virtual void quit() = 0;
};

} // namespace kestrelon
