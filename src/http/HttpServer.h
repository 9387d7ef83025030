#pragma once

#include "core/Outcome.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrelon {

class HttpHandler;

// The bounds that keep idle, slow or greedy clients from starving the server.
struct HttpServerLimits {
    size_t headerLimit = 16 * 1024;   // larger header blocks get 431
    size_t headerFieldLimit = 100;    // more header fields (trailer fields included) get 431
    size_t chunkLineLimit = 8 * 1024; // a chunk's size line with its extensions, or the trailer; 400
    size_t bodyLimit = 1024 * 1024;   // larger bodies get 413
    // The bytes all connections together hold for requests (read buffers, header blocks, bodies,
    // announced body lengths included). A request that would go beyond gets 503, and so does a
    // new connection while the budget is spent.
    size_t bufferBudget = 64 * 1024 * 1024;
    std::chrono::milliseconds idleTimeout{15000};   // waiting for the first byte of a request
    std::chrono::milliseconds headerTimeout{10000}; // from its first byte to the end of the header
    std::chrono::milliseconds bodyTimeout{30000};   // the whole body, however fast data arrives
    std::chrono::milliseconds writeTimeout{30000};  // a reply write that makes no progress
    std::chrono::milliseconds lingerTimeout{2000};  // reading what a client still sends after the last reply
    // Open connections in all. A newcomer to a full server gets in by closing the connection
    // that has waited longest for a request; when none waits, the newcomer is closed.
    size_t maxConnections = 10000;
    // Requests of one client address that are still coming in pieces (a header or body that did
    // not arrive with its first bytes); a connection that would start one more is closed. Any
    // number of connections from one address are served while the server has room.
    size_t maxPartialRequestsPerAddress = 200;
    // A new connection is accepted once its first bytes arrive, or when this time is up (0: at
    // once). Connections that say nothing then wait in the kernel, not in the server.
    std::chrono::seconds deferAccept{1};
    unsigned ioThreads = 0;     // one io_context each; 0 means one per core
    unsigned workerThreads = 8; // for request steps that may block
};

// The HTTP/1.1 layer: accepts connections on one address and port, reads requests (keep-alive
// and pipelining included) and hands each GET, HEAD and POST to the handler, then sends its
// reply (see Reply: a body, a file, or a header after which the handler takes the connection
// over). Other methods get 501; what the layer refuses itself (400, 413, 431, 501, 503) carries
// errorPage(). Requests whose steps cannot block are answered on the I/O thread; the others run
// on a bounded worker pool, so one slow request never holds up the others. Clients are known by
// their plain address: an IPv4 client of a server on "::" as a.b.c.d, not ::ffff:a.b.c.d. No
// exception leaves the I/O or worker threads: one that escapes a step ends that connection.
// start, stop and the destructor belong to the thread that owns the server (the main thread).
class HttpServer {
public:
    // The handler must outlive the server.
    explicit HttpServer(HttpHandler& handler, HttpServerLimits limits = {});
    ~HttpServer();

    // Binds and starts listening; a failure says why (the system's message).
    Outcome start(const std::string& address, uint16_t port);
    // Stops listening and closes every connection. Nothing happens when not active.
    void stop();
    bool active() const;
    // The port actually bound (differs from the requested one when that was 0).
    uint16_t port() const;
    // Open connections right now; any thread.
    size_t connectionCount() const;
    // Bytes held for requests right now, against HttpServerLimits::bufferBudget; any thread.
    size_t bufferedBytes() const;

    struct Impl; // the Beast side, only in HttpServer.cpp

private:
    HttpHandler& m_handler;
    HttpServerLimits m_limits;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kestrelon
