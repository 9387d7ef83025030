#pragma once

#include "net/CurlTransfer.h"
#include "net/FtpSession.h"

#include <memory>
#include <stop_token>
#include <string>
#include <vector>

namespace kestrelon {

// An FTP session on libcurl: one control connection from connect() to quit(), kept by the
// transfer's connection cache, with a data connection in active mode for each store. The
// connect event comes with the server's greeting, the disconnect event when that connection's
// socket is closed, for whatever reason; quit() says goodbye within a transfer of its own, so
// that its wait, too, is bounded and stopped by the session's stop token.
//
// One thread at a time may use an object; only the stop token may be triggered from another.
class FtpClient : public FtpSession {
public:
    struct Options {
        // connect: the connection, the greeting and the login; serverResponse: each reply (and
        // the server's connection back for a transfer); total: each command's whole exchange.
        CurlTransfer::Timeouts timeouts{std::chrono::milliseconds(10000), std::chrono::milliseconds(10000),
                                        std::chrono::milliseconds(60000)};
    };

    FtpClient() : FtpClient(Options{}) {}
    explicit FtpClient(Options options);
    // Quits a session that is still open.
    ~FtpClient() override;
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    std::string connect(const FtpAccount& account, FtpSessionEvents& events, std::stop_token stop) override;
    std::string changeDirectory(const std::string& folder) override;
    std::string store(const std::string& localFile, const std::string& remoteName) override;
    void quit() override;

    // The control connections the session has made (libcurl's count of new connections over
    // its transfers): 1 when everything went over the first one.
    long connectionsMade() const { return m_connectionsMade; }

private:
    struct RemotePath {
        bool absolute = false;
        std::vector<std::string> parts;
    };
    static RemotePath joined(const RemotePath& folder, const std::string& name);
    // The URL of a folder (ending in "/") or of a file in it, each part escaped.
    std::string url(const RemotePath& path, bool folder) const;
    // One transfer of the session; afterwards a closed control connection is reported.
    std::string run(const std::string& url);
    void greeted();
    void socketClosed(curl_socket_t fd);
    void closeSession(bool sayGoodbye);
    static curl_socket_t openSocket(void* user, curlsocktype purpose, curl_sockaddr* address);
    static int closeSocket(void* user, curl_socket_t fd);

    Options m_options;
    std::string m_base; // "ftp://host:port/"
    RemotePath m_folder;
    FtpSessionEvents* m_events = nullptr;
    std::stop_token m_stop;
    // Connection sockets opened since the last greeting; the one open at the greeting is the
    // control connection (parallel attempts for other addresses are closed before it).
    std::vector<curl_socket_t> m_candidates;
    curl_socket_t m_control = CURL_SOCKET_BAD;
    long m_connectionsMade = 0;
    // Last: it goes before what its options and callbacks point to.
    std::unique_ptr<CurlTransfer> m_transfer;
};

} // namespace kestrelon
