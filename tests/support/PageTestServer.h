#pragma once

#include "support/LoopbackSocket.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrelon::test {

// A small HTTP server on 127.0.0.1 and a free port for the pages the address lookup reads: echo
// pages and router-like status pages, optionally behind Basic authentication, optionally setting a
// cookie. It answers one connection at a time on a thread of its own, one request each
// ("Connection: close"), and keeps every request it was sent. Pages may be set and requests read
// from any thread.
class PageTestServer {
public:
    struct Page {
        std::string body;
        int status = 200;
        std::string user; // when set, the page wants Basic authentication with user and password
        std::string password;
        std::string setCookie; // a Set-Cookie value to send with the page
        bool stall = false;    // read the request, then answer nothing until the client gives up
    };
    struct Request {
        std::string path;
        std::map<std::string, std::string> headers; // names in lower case
        std::string header(const std::string& lowerName) const;
    };

    PageTestServer();
    ~PageTestServer();
    PageTestServer(const PageTestServer&) = delete;
    PageTestServer& operator=(const PageTestServer&) = delete;

    uint16_t port() const { return m_listener.port(); }
    // "127.0.0.1:port" + path, without a scheme, as the router URL field takes it.
    std::string hostAndPath(const std::string& path) const;
    // A path without a page gets 404.
    void setPage(const std::string& path, Page page);
    void setPage(const std::string& path, const std::string& body);
    // A page behind Basic authentication.
    void setProtectedPage(const std::string& path, const std::string& body, const std::string& user,
                          const std::string& password);
    std::vector<Request> requests() const;

private:
    void serve();
    void answer(int fd);

    LoopbackListener m_listener;
    mutable std::mutex m_mutex;
    std::map<std::string, Page> m_pages;
    std::vector<Request> m_requests;
    std::thread m_thread;
};

} // namespace kestrelon::test
