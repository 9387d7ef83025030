// The only file that includes Beast: it is slow to compile, and nothing else needs to see it.
#include "web/HttpServer.h"

#include "web/RequestHandler.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <atomic>
#include <csignal>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace kestrelon {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

namespace {

const char* const kServerName = "Kestrelon";

std::string_view view(beast::string_view s)
{
    return {s.data(), s.size()};
}

// Counts connections in all and per client address.
class ConnectionLimiter {
public:
    ConnectionLimiter(size_t total, size_t perAddress) : m_maxTotal(total), m_maxPerAddress(perAddress) {}

    bool tryAdd(uint32_t address)
    {
        std::lock_guard lock(m_mutex);
        if (m_total >= m_maxTotal) {
            return false;
        }
        size_t& count = m_perAddress[address];
        if (count >= m_maxPerAddress) {
            if (count == 0) {
                m_perAddress.erase(address);
            }
            return false;
        }
        ++count;
        ++m_total;
        return true;
    }

    void remove(uint32_t address)
    {
        std::lock_guard lock(m_mutex);
        auto it = m_perAddress.find(address);
        if (it != m_perAddress.end() && --it->second == 0) {
            m_perAddress.erase(it);
        }
        --m_total;
    }

    size_t total() const
    {
        std::lock_guard lock(m_mutex);
        return m_total;
    }

private:
    size_t m_maxTotal;
    size_t m_maxPerAddress;
    mutable std::mutex m_mutex;
    size_t m_total = 0;
    std::unordered_map<uint32_t, size_t> m_perAddress;
};

// Blocks the signals the program handles on its main thread, for as long as it lives, so that
// threads started meanwhile inherit a mask that keeps the signals away from them.
class SignalBlock {
public:
    SignalBlock()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set, &m_old);
    }
    ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }

private:
    sigset_t m_old;
};

} // namespace

struct HttpServer::Impl {
    Impl(RequestHandler& h, const HttpServerLimits& l)
        : handler(h), limits(l), limiter(l.maxConnections, l.maxConnectionsPerAddress)
    {
    }

    RequestHandler& handler;
    HttpServerLimits limits;
    ConnectionLimiter limiter;
    std::vector<std::unique_ptr<asio::io_context>> contexts;
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> guards;
    std::unique_ptr<asio::thread_pool> workers;
    std::unique_ptr<tcp::acceptor> acceptor;
    std::unique_ptr<asio::steady_timer> acceptRetry;
    std::vector<std::thread> threads;
    size_t nextContext = 0;
    uint16_t boundPort = 0;

    void accept();
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, HttpServer::Impl& server, uint32_t addressKey)
        : m_stream(std::move(socket)), m_server(server), m_limits(server.limits), m_addressKey(addressKey)
    {
        error_code ec;
        auto peer = m_stream.socket().remote_endpoint(ec);
        if (!ec) {
            m_clientAddress = peer.address().to_string();
            m_clientPort = peer.port();
        }
        m_stream.socket().set_option(tcp::no_delay(true), ec);
    }

    ~Session() { m_server.limiter.remove(m_addressKey); }

    void start() { waitForRequest(); }
    tcp::socket::executor_type executor() { return m_stream.socket().get_executor(); }

private:
    // Between requests: wait for the first byte under the idle time-out, unless a pipelined
    // request is already in the buffer.
    void waitForRequest()
    {
        if (m_buffer.size() > 0) {
            readHeader();
            return;
        }
        m_stream.expires_after(m_limits.idleTimeout);
        m_stream.async_read_some(m_buffer.prepare(8192),
                                 [self = shared_from_this()](error_code ec, std::size_t n) {
                                     if (ec) {
                                         return self->close();
                                     }
                                     self->m_buffer.commit(n);
                                     self->readHeader();
                                 });
    }

    void readHeader()
    {
        m_parser.emplace();
        m_parser->header_limit(static_cast<uint32_t>(m_limits.headerLimit));
        m_parser->body_limit(m_limits.bodyLimit);
        // One deadline for the whole header, so a client that trickles bytes is cut off.
        m_stream.expires_after(m_limits.headerTimeout);
        http::async_read_header(
            m_stream, m_buffer, *m_parser,
            [self = shared_from_this()](error_code ec, std::size_t) { self->onHeader(ec); });
    }

    void onHeader(error_code ec)
    {
        if (ec) {
            return failRead(ec);
        }
        if (m_parser->is_done()) {
            return dispatch();
        }
        auto& req = m_parser->get();
        if (beast::iequals(req[http::field::expect], "100-continue")) {
            static const char continueLine[] = "HTTP/1.1 100 Continue\r\n\r\n";
            m_stream.expires_after(m_limits.writeTimeout);
            asio::async_write(m_stream, asio::buffer(continueLine, sizeof continueLine - 1),
                              [self = shared_from_this()](error_code ec, std::size_t) {
                                  if (ec) {
                                      return self->close();
                                  }
                                  self->readBody();
                              });
            return;
        }
        readBody();
    }

    void readBody()
    {
        m_stream.expires_after(m_limits.bodyTimeout);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = shared_from_this()](error_code ec, std::size_t) {
                             if (ec) {
                                 return self->failRead(ec);
                             }
                             self->dispatch();
                         });
    }

    // A request that could not be read: answer what is wrong, when the client can still hear it.
    void failRead(error_code ec)
    {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::eof ||
            ec == asio::error::connection_reset || ec == asio::error::operation_aborted) {
            return close();
        }
        if (ec == http::error::header_limit) {
            return sendError(431, "Request Header Fields Too Large");
        }
        if (ec == http::error::body_limit) {
            return sendError(413, "Payload Too Large");
        }
        if (ec == http::error::partial_message) {
            return close();
        }
        sendError(400, "Bad Request");
    }

    void dispatch()
    {
        auto& req = m_parser->get();
        m_keepAlive = req.keep_alive();
        m_head = req.method() == http::verb::head;
        m_version = req.version();
        auto method = req.method();
        if (method != http::verb::get && method != http::verb::head && method != http::verb::post) {
            return sendError(501, "Not Implemented", /*closeAfter=*/false);
        }

        RawRequest raw;
        raw.method = view(req.method_string());
        raw.target = view(req.target());
        raw.contentType = view(req[http::field::content_type]);
        raw.authorization = view(req[http::field::authorization]);
        raw.body = req.body();
        raw.clientAddress = m_clientAddress;
        raw.clientPort = m_clientPort;

        RequestHandler& handler = m_server.handler;
        auto job = std::make_shared<RequestHandler::Job>(handler.begin(makeRequestItems(raw)));
        if (!RequestHandler::mayBlock(*job)) {
            return sendReply(run(handler, *job));
        }
        // The reverse lookup may take a while: do the request on the worker pool and come back to
        // this connection's own thread to send the reply.
        m_stream.expires_never();
        asio::post(*m_server.workers, [self = shared_from_this(), job, &handler] {
            auto reply = std::make_shared<Reply>(run(handler, *job));
            asio::post(self->m_stream.get_executor(), [self, reply] { self->sendReply(std::move(*reply)); });
        });
    }

    static Reply run(RequestHandler& handler, RequestHandler::Job& job)
    {
        try {
            return handler.HTTPServerCommandGet(job);
        } catch (const std::exception& e) {
            Reply reply;
            reply.status = 500;
            reply.body = e.what();
            return reply;
        }
    }

    template <class Body> void prepareHeader(http::response<Body>& res, const Reply& reply)
    {
        res.version(m_version);
        res.result(static_cast<unsigned>(reply.status));
        if (reply.status == 302) {
            res.reason("Moved Temporarily");
        }
        res.set(http::field::server, kServerName);
        if (reply.status != 204 && reply.status != 304) {
            res.set(http::field::content_type, headerValue(reply.contentType));
        }
        if (!reply.location.empty()) {
            res.set(http::field::location, headerValue(reply.location));
        }
        if (!reply.realm.empty()) {
            res.result(http::status::unauthorized);
            res.set(http::field::www_authenticate, "Basic realm=\"" + headerValue(reply.realm) + "\"");
        }
        res.keep_alive(m_keepAlive);
    }

    // Header values must not carry line breaks.
    static std::string headerValue(const std::string& text)
    {
        std::string out = text;
        for (char& c : out) {
            if (c == '\r' || c == '\n') {
                c = ' ';
            }
        }
        return out;
    }

    void sendReply(Reply reply)
    {
        if (reply.delay.count() > 0) {
            // The pause runs on a timer: the connection waits, no thread does.
            m_stream.expires_never();
            m_delay.expires_after(reply.delay);
            reply.delay = {};
            m_reply = std::move(reply);
            m_delay.async_wait([self = shared_from_this()](error_code ec) {
                if (ec) {
                    return self->close();
                }
                self->sendReply(std::move(self->m_reply));
            });
            return;
        }
        m_reply = std::move(reply);
        Reply& r = m_reply;
        if (m_head || r.headLength) {
            // HEAD: the header alone, with the length the body would have.
            auto res = std::make_shared<http::response<http::empty_body>>();
            prepareHeader(*res, r);
            if (r.status != 204) {
                res->set(
                    http::field::content_length,
                    std::to_string(r.headLength ? *r.headLength : (r.file ? r.fileSize : r.body.size())));
            }
            r.file.reset();
            return write(res, false);
        }
        if (r.file) {
            auto res = std::make_shared<http::response<http::file_body>>();
            prepareHeader(*res, r);
            beast::file f;
            f.native_handle(r.file.release());
            error_code ec;
            res->body().reset(std::move(f), ec);
            res->content_length(r.fileSize);
            return write(res, true);
        }
        auto res = std::make_shared<http::response<http::string_body>>();
        prepareHeader(*res, r);
        if (r.status != 204) {
            res->body() = std::move(r.body);
            res->prepare_payload();
        }
        write(res, false);
    }

    void sendError(unsigned status, const char* text, bool closeAfter = true)
    {
        auto res = std::make_shared<http::response<http::string_body>>();
        res->version(11);
        res->result(status);
        res->set(http::field::server, kServerName);
        res->set(http::field::content_type, "text/html");
        res->body() =
            std::string("<html><head><title>Error</title></head><body><h1>") + text + "</h1></body></html>";
        if (closeAfter) {
            m_keepAlive = false;
        }
        res->keep_alive(m_keepAlive);
        res->prepare_payload();
        m_reply = Reply{};
        write(res, false);
    }

    // Writes a reply in steps, each under the write time-out, so a large file to a slow but
    // reading client goes through while a client that stops reading is cut off.
    template <class Body> void write(std::shared_ptr<http::response<Body>> res, bool isFile)
    {
        auto sr = std::make_shared<http::response_serializer<Body>>(*res);
        writeSome(std::move(res), std::move(sr), isFile);
    }

    template <class Body>
    void writeSome(std::shared_ptr<http::response<Body>> res,
                   std::shared_ptr<http::response_serializer<Body>> sr, bool isFile)
    {
        m_stream.expires_after(m_limits.writeTimeout);
        auto* s = sr.get();
        http::async_write_some(m_stream, *s,
                               [self = shared_from_this(), res = std::move(res), sr = std::move(sr),
                                isFile](error_code ec, std::size_t) mutable {
                                   if (ec) {
                                       self->m_reply = Reply{};
                                       return self->close();
                                   }
                                   if (!sr->is_done()) {
                                       return self->writeSome(std::move(res), std::move(sr), isFile);
                                   }
                                   if (isFile) {
                                       self->m_server.handler.fileSent(self->m_reply, self->m_reply.fileSize);
                                   }
                                   self->m_reply = Reply{}; // lowers serverBusy
                                   self->afterReply();
                               });
    }

    void afterReply()
    {
        if (!m_keepAlive) {
            return lingeringClose();
        }
        m_parser.reset();
        waitForRequest();
    }

    // Closes the sending side first and reads what the client still sends for a moment, so the
    // last reply is not lost to a reset when the client had more data on its way.
    void lingeringClose()
    {
        error_code ec;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ec);
        m_stream.expires_after(std::chrono::seconds(2));
        drain();
    }

    void drain()
    {
        m_stream.async_read_some(asio::buffer(m_drainBuffer),
                                 [self = shared_from_this()](error_code ec, std::size_t) {
                                     if (ec) {
                                         return self->close();
                                     }
                                     self->drain();
                                 });
    }

    void close()
    {
        error_code ec;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ec);
        m_stream.close();
    }

    beast::tcp_stream m_stream;
    HttpServer::Impl& m_server;
    const HttpServerLimits& m_limits;
    uint32_t m_addressKey;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::string m_clientAddress;
    uint16_t m_clientPort = 0;
    bool m_keepAlive = false;
    bool m_head = false;
    unsigned m_version = 11;
    Reply m_reply;
    asio::steady_timer m_delay{m_stream.get_executor()};
    std::array<char, 4096> m_drainBuffer;
};

} // namespace

void HttpServer::Impl::accept()
{
    auto& target = *contexts[nextContext];
    nextContext = (nextContext + 1) % contexts.size();
    acceptor->async_accept(target, [this](error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor->is_open()) {
            return;
        }
        if (ec) {
            // Out of descriptors and the like: try again shortly instead of spinning.
            acceptRetry->expires_after(std::chrono::milliseconds(50));
            acceptRetry->async_wait([this](error_code wec) {
                if (!wec) {
                    accept();
                }
            });
            return;
        }
        error_code pec;
        auto peer = socket.remote_endpoint(pec);
        uint32_t key = 0;
        if (!pec && peer.address().is_v4()) {
            key = peer.address().to_v4().to_uint();
        } else if (!pec) {
            key = static_cast<uint32_t>(std::hash<std::string>{}(peer.address().to_string()));
        }
        if (!pec && limiter.tryAdd(key)) {
            auto session = std::make_shared<Session>(std::move(socket), *this, key);
            // Start on the connection's own thread.
            asio::post(session->executor(), [session] { session->start(); });
        } else {
            error_code cec;
            socket.close(cec);
        }
        accept();
    });
}

HttpServer::HttpServer(RequestHandler& handler, HttpServerLimits limits)
    : m_handler(handler), m_limits(limits)
{
}

HttpServer::~HttpServer()
{
    stop();
}

std::string HttpServer::start(const std::string& address, uint16_t port)
{
    if (m_impl) {
        return {};
    }
    auto impl = std::make_unique<Impl>(m_handler, m_limits);
    unsigned count =
        m_limits.ioThreads ? m_limits.ioThreads : std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < count; ++i) {
        // One thread per context: a connection's handlers never run in parallel, no strand needed.
        impl->contexts.push_back(std::make_unique<asio::io_context>(1));
        impl->guards.push_back(asio::make_work_guard(*impl->contexts.back()));
    }
    try {
        auto endpoint = tcp::endpoint(asio::ip::make_address(address), port);
        impl->acceptor = std::make_unique<tcp::acceptor>(*impl->contexts.front());
        impl->acceptor->open(endpoint.protocol());
        impl->acceptor->set_option(tcp::acceptor::reuse_address(true));
        impl->acceptor->bind(endpoint);
        impl->acceptor->listen(asio::socket_base::max_listen_connections);
        impl->boundPort = impl->acceptor->local_endpoint().port();
    } catch (const boost::system::system_error& e) {
        return e.code().message();
    } catch (const std::exception& e) {
        return e.what();
    }
    impl->acceptRetry = std::make_unique<asio::steady_timer>(*impl->contexts.front());

    {
        SignalBlock block; // the new threads inherit the blocked mask
        impl->workers = std::make_unique<asio::thread_pool>(std::max(1u, m_limits.workerThreads));
        for (auto& context : impl->contexts) {
            impl->threads.emplace_back([ctx = context.get()] { ctx->run(); });
        }
    }
    asio::post(*impl->contexts.front(), [p = impl.get()] { p->accept(); });
    m_impl = std::move(impl);
    return {};
}

void HttpServer::stop()
{
    if (!m_impl) {
        return;
    }
    Impl& impl = *m_impl;
    for (auto& guard : impl.guards) {
        guard.reset();
    }
    for (auto& context : impl.contexts) {
        context->stop();
    }
    for (auto& thread : impl.threads) {
        thread.join();
    }
    error_code ec;
    impl.acceptor->close(ec);
    // Requests still on the worker pool finish; what they post back is never run. The pool goes
    // first: its queued work holds connections whose sockets need their contexts alive.
    impl.workers->stop();
    impl.workers->join();
    impl.workers.reset();
    impl.acceptRetry.reset();
    impl.acceptor.reset();
    impl.guards.clear();
    // Destroying a context destroys the handlers it still holds, and with them the connections.
    impl.contexts.clear();
    m_impl.reset();
}

bool HttpServer::active() const
{
    return m_impl != nullptr;
}

uint16_t HttpServer::port() const
{
    return m_impl ? m_impl->boundPort : 0;
}

size_t HttpServer::connectionCount() const
{
    return m_impl ? m_impl->limiter.total() : 0;
}

} // namespace kestrelon
