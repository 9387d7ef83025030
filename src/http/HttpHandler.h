#pragma once

#include "http/Reply.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrelon {

// One request as the HTTP layer has read it. The views point into the connection's buffers and
// hold only while HttpHandler::handle runs: copy what a later step needs.
class HttpRequest {
public:
    std::string_view method; // as sent: "GET", "HEAD" or "POST"
    std::string_view target; // path and query, still encoded
    std::string_view body;
    std::string_view clientAddress; // an IPv4 client as a.b.c.d, also on a server listening on "::"
    uint16_t clientPort = 0;

    // The value of a header field (the first of that name), matched in any case; empty when the
    // request has none.
    std::string_view field(std::string_view name) const;

private:
    friend struct HttpRequestFields;
    const void* m_fields = nullptr; // the layer's own header store
};

// A handler's answer: the reply, or a step that makes it on the server's worker pool, for work
// that may block (a name lookup, a file to write, a mail to queue). The step must copy what it
// needs of the request.
struct HttpAnswer {
    HttpAnswer(Reply r) : reply(std::move(r)) {}
    static HttpAnswer onWorkerPool(std::function<Reply()> step)
    {
        HttpAnswer answer{Reply{}};
        answer.blockingStep = std::move(step);
        return answer;
    }

    Reply reply;
    std::function<Reply()> blockingStep;
};

// What serves the requests of an HttpServer. One call per request, never one per byte.
class HttpHandler {
public:
    virtual ~HttpHandler() = default;

    // Every GET, HEAD and POST request. Called on the I/O threads, for many connections at once,
    // so it must not block: what may block goes into the answer's step. An exception from here
    // or from the step is reported to connectionError and answered 500; the connection closes.
    virtual HttpAnswer handle(const HttpRequest& request) = 0;

    // An error that escaped a request's step or the layer itself and ended its connection (the
    // server goes on). Any I/O or worker thread; must not throw.
    virtual void connectionError(std::string_view what) noexcept = 0;

    // A reply with a Reply::Sent record has gone out whole, to the client at that address and
    // port. Called on the connection's I/O thread; must not block or throw.
    virtual void sent(const Reply::Sent& sent, std::string_view clientAddress, uint16_t clientPort) noexcept
    {
        (void)sent;
        (void)clientAddress;
        (void)clientPort;
    }
};

// The page of an error status, with its reason phrase as the heading. Any thread.
std::string errorPage(std::string_view reason);

} // namespace kestrelon
