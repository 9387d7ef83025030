// The only file that includes Beast's parser and streams: they are slow to compile, and nothing
// else needs to see them.
#include "http/HttpServer.h"

#include "core/DottedAddress.h"
#include "core/LoopTurn.h"
#include "http/HttpHandler.h"
#include "http/ResponseHead.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <netinet/tcp.h>
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

std::string_view view(beast::string_view s)
{
    return {s.data(), s.size()};
}

// The client's address as the rules and the log know it: an IPv4 client of a server listening on
// "::" arrives as ::ffff:a.b.c.d and is taken as a.b.c.d.
asio::ip::address plainAddress(const asio::ip::address& address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address;
}

// The bytes that all connections hold for requests, against one budget for the server.
class BufferBudget {
public:
    explicit BufferBudget(size_t limit) : m_limit(limit) {}

    bool tryTake(size_t n)
    {
        size_t before = m_used.fetch_add(n);
        if (before + n > m_limit) {
            m_used.fetch_sub(n);
            return false;
        }
        return true;
    }
    void give(size_t n) { m_used.fetch_sub(n); }
    // Whether n more bytes would fit right now.
    bool room(size_t n) const { return m_used.load() + n <= m_limit; }
    size_t used() const { return m_used.load(); }

private:
    const size_t m_limit;
    std::atomic<size_t> m_used{0};
};

// Beast's request parser, counting header fields (and trailer fields) as it stores them: a
// header block of thousands of empty fields stays within the byte limit and still costs far more
// memory than its bytes.
class RequestParser : public http::request_parser<http::string_body> {
public:
    explicit RequestParser(size_t fieldLimit) : m_fieldLimit(fieldLimit) {}
    size_t fieldCount() const { return m_fields; }

private:
    void on_field_impl(http::field name, beast::string_view nameText, beast::string_view value,
                       error_code& ec) override
    {
        if (++m_fields > m_fieldLimit) {
            ec = http::error::header_limit;
            return;
        }
        get().insert(name, nameText, value);
    }

    const size_t m_fieldLimit;
    size_t m_fields = 0;
};

// The transfer codings of a request (RFC 9112 6.1): none, or "chunked" alone, which the parser
// decodes. Beast ignores a Transfer-Encoding that does not end in "chunked" and reads the body as
// the next request; such a request is refused instead: 501 for a coding this server cannot
// decode, 400 for a list that leaves the body's length unknown. parserChunked: the parser reads
// the body as chunked. Returns 0 when all is well.
unsigned transferCodingStatus(const http::fields& fields, bool parserChunked)
{
    size_t codings = 0;
    bool unknown = false;
    bool emptyField = false;
    auto [first, last] = fields.equal_range(http::field::transfer_encoding);
    for (auto field = first; field != last; ++field) {
        std::string_view rest = view(field->value());
        size_t inField = 0;
        while (!rest.empty()) {
            size_t comma = rest.find(',');
            std::string_view item = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
            item = item.substr(0, item.find(';')); // a coding's parameters
            while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) {
                item.remove_prefix(1);
            }
            while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) {
                item.remove_suffix(1);
            }
            if (!item.empty()) {
                ++inField;
                unknown |= !beast::iequals(beast::string_view(item.data(), item.size()), "chunked");
            }
        }
        emptyField |= inField == 0;
        codings += inField;
    }
    if (unknown) {
        return 501;
    }
    if (codings == 0 && !emptyField) {
        return 0; // no Transfer-Encoding at all
    }
    return codings == 1 && !emptyField && parserChunked ? 0 : 400;
}

// Where the bytes a client still sends after its last reply go: nobody reads them.
asio::mutable_buffer discardBuffer()
{
    static char discarded[65536];
    return asio::buffer(discarded);
}

// Counts connections in all, and per client address the requests that did not arrive whole
// (those that wait for more of themselves under the header and body deadlines).
class ConnectionLimiter {
public:
    ConnectionLimiter(size_t total, size_t slowPerAddress)
        : m_maxTotal(total), m_maxSlowPerAddress(slowPerAddress)
    {
    }

    // The total is counted without the lock: every connection counts itself in and out.
    bool tryAdd()
    {
        size_t total = m_total.load();
        do {
            if (total >= m_maxTotal) {
                return false;
            }
        } while (!m_total.compare_exchange_weak(total, total + 1));
        return true;
    }
    // One beyond the total, for a connection that makes room by closing an idle one.
    void addOver() { m_total.fetch_add(1); }
    void remove() { m_total.fetch_sub(1); }

    bool tryAddSlow(uint32_t address)
    {
        std::lock_guard lock(m_mutex);
        size_t& count = m_slow[address];
        if (count >= m_maxSlowPerAddress) {
            if (count == 0) {
                m_slow.erase(address);
            }
            return false;
        }
        ++count;
        return true;
    }
    void removeSlow(uint32_t address)
    {
        std::lock_guard lock(m_mutex);
        auto it = m_slow.find(address);
        if (it != m_slow.end() && --it->second == 0) {
            m_slow.erase(it);
        }
    }

    size_t total() const { return m_total.load(); }

private:
    const size_t m_maxTotal;
    const size_t m_maxSlowPerAddress;
    std::atomic<size_t> m_total{0};
    std::mutex m_mutex; // for the counts per address
    std::unordered_map<uint32_t, size_t> m_slow;
};

// The connections of one I/O thread that wait for a request (new ones, and keep-alive ones
// between requests), in the order they began to wait. All wait under the same idle time-out, so
// the first is always the next to time out: one timer per thread closes them, and a connection
// costs no timer of its own. Under pressure the longest waiting are closed to let a newcomer in.
// The links live in the connections. The lock is taken by the thread's own connections and, to
// make room, by a thread that accepts; the timer belongs to the thread.
struct IdleLink {
    void* owner = nullptr; // the connection
    IdleLink* prev = nullptr;
    IdleLink* next = nullptr;
    bool linked = false;
    std::chrono::steady_clock::time_point since;
};

class IdleList {
public:
    using Clock = std::chrono::steady_clock;

    // Links it last, waiting since now. True when the thread's timer is not set: it must be set
    // for this one.
    bool add(IdleLink& link, Clock::time_point now)
    {
        std::lock_guard lock(m_mutex);
        link.since = now;
        link.prev = m_tail;
        link.next = nullptr;
        (m_tail ? m_tail->next : m_head) = &link;
        m_tail = &link;
        link.linked = true;
        return !timerSet;
    }
    void remove(IdleLink& link)
    {
        std::lock_guard lock(m_mutex);
        unlink(link);
    }
    // Since when the longest waiting one waits; none when nobody waits.
    std::optional<Clock::time_point> oldest()
    {
        std::lock_guard lock(m_mutex);
        return m_head ? std::optional(m_head->since) : std::nullopt;
    }
    // Takes the longest waiting one off the list and hands it to take, under the lock (which
    // keeps it from being destroyed meanwhile). take returns false for one that is going anyway.
    template <class Take> bool takeOldest(Take take)
    {
        std::lock_guard lock(m_mutex);
        while (m_head) {
            IdleLink& oldest = *m_head;
            unlink(oldest);
            if (take(oldest)) {
                return true;
            }
        }
        return false;
    }
    // Takes off, and hands to take under the lock, every one that waits since `before` or longer.
    // Returns since when the first of those left waits.
    template <class Take> std::optional<Clock::time_point> takeSince(Clock::time_point before, Take take)
    {
        std::lock_guard lock(m_mutex);
        while (m_head && m_head->since <= before) {
            IdleLink& due = *m_head;
            unlink(due);
            take(due);
        }
        return m_head ? std::optional(m_head->since) : std::nullopt;
    }

    // The thread's idle time-out timer, and whether it is set. The thread's own.
    std::optional<asio::steady_timer> timer;
    bool timerSet = false;

private:
    void unlink(IdleLink& link)
    {
        if (!link.linked) {
            return;
        }
        (link.prev ? link.prev->next : m_head) = link.next;
        (link.next ? link.next->prev : m_tail) = link.prev;
        link.prev = link.next = nullptr;
        link.linked = false;
    }

    std::mutex m_mutex;
    IdleLink* m_head = nullptr;
    IdleLink* m_tail = nullptr;
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
        // sendfile has no MSG_NOSIGNAL: a client that has gone must not end the program. Blocked,
        // the signal stays pending on the I/O thread and the call fails with EPIPE instead.
        sigaddset(&set, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &set, &m_old);
    }
    ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }

private:
    sigset_t m_old;
};

} // namespace

// The header fields behind an HttpRequest are Beast's.
struct HttpRequestFields {
    static void set(HttpRequest& request, const http::fields& fields) { request.m_fields = &fields; }
    static const http::fields* get(const HttpRequest& request)
    {
        return static_cast<const http::fields*>(request.m_fields);
    }
};

std::string_view HttpRequest::field(std::string_view name) const
{
    const http::fields* fields = HttpRequestFields::get(*this);
    if (!fields) {
        return {};
    }
    auto it = fields->find(beast::string_view(name.data(), name.size()));
    return it == fields->end() ? std::string_view{} : view(it->value());
}

struct HttpServer::Impl {
    Impl(HttpHandler& h, const HttpServerLimits& l)
        : handler(h), limits(l), limiter(l.maxConnections, l.maxPartialRequestsPerAddress),
          budget(l.bufferBudget)
    {
    }

    HttpHandler& handler;
    HttpServerLimits limits;
    ConnectionLimiter limiter;
    BufferBudget budget;
    // One per I/O thread, by the thread's index; they outlive the contexts, whose destruction
    // ends the connections still linked.
    std::vector<std::unique_ptr<IdleList>> idle;
    std::vector<std::unique_ptr<asio::io_context>> contexts;
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> guards;
    std::unique_ptr<asio::thread_pool> workers;
    // One listening socket per I/O thread on the same port: the kernel spreads new connections
    // over them, and each thread accepts and serves its own, with no hand-over between threads.
    struct Listener {
        std::unique_ptr<tcp::acceptor> acceptor;
        std::unique_ptr<asio::steady_timer> retry;
        tcp::endpoint peer; // where the accept in progress puts the peer's address
        size_t index = 0;   // of its thread
    };
    std::vector<Listener> listeners;
    std::vector<std::thread> threads;
    uint16_t boundPort = 0;

    void accept(Listener& listener);
    // Closes the connection that has waited longest for a request; false when none waits.
    bool closeOldestIdle();
    // The idle time-out of a thread's connections: the timer is set for the first to wait.
    void setIdleTimer(IdleList& list, IdleList::Clock::time_point since);
    void idleTimerFired(IdleList& list);
};

namespace {

// What a connection's read buffer takes for the first bytes of a request; an idle keep-alive
// connection holds no more than this.
constexpr size_t kFirstRead = 8192;
// What a connection keeps for the first bytes of its next request while it waits for them: a
// browser's request mostly fits.
constexpr size_t kFirstBytes = 512;
// Room beyond the header limit, so that an overlong header is reported as such (431).
constexpr size_t kHeaderSlack = 4096;
// What one stored header field costs beyond its text.
constexpr size_t kFieldOverhead = 64;
// The most file bytes one connection sends before the others of its thread get a turn.
constexpr size_t kSendTurn = 1024 * 1024;
// How many requests in a row a connection answers within one call before it goes through the loop.
constexpr unsigned kInlineReplies = 16;

class Session : public std::enable_shared_from_this<Session> {
public:
    // refuse: the server's buffer budget is spent; the connection is answered 503 and closed.
    Session(tcp::socket socket, HttpServer::Impl& server, IdleList& idle, uint32_t addressKey,
            std::string clientAddress, uint16_t clientPort, bool refuse)
        : m_socket(std::move(socket)), m_server(server), m_limits(server.limits), m_idleList(idle),
          m_addressKey(addressKey),
          m_clientAddress(std::move(clientAddress)), m_clientPort(clientPort), m_refuseAtStart(refuse)
    {
        error_code ec;
        // Replies go out by sendmsg and sendfile straight on the socket.
        m_socket.non_blocking(true, ec);
        m_idle.owner = this;
    }

    ~Session()
    {
        m_idleList.remove(m_idle);
        m_server.budget.give(m_charged);
        endSlow();
        m_server.limiter.remove();
    }

    void start()
    {
        if (m_refuseAtStart) {
            return refuse();
        }
        awaitRequest();
    }
    tcp::socket::executor_type executor() { return m_socket.get_executor(); }

    // Closed to make room for a newcomer, unless a request came meanwhile. I/O thread.
    void evict()
    {
        if (!m_waiting) {
            return; // a request came first: it goes on
        }
        m_evicted = true;
        close();
    }

    // Waited the idle time-out for a request. I/O thread.
    void idleTimedOut()
    {
        if (m_waiting) {
            m_timedOut = true;
            close();
        }
    }

private:
    // Waits for the next request: a new connection's first, or a keep-alive connection's next,
    // on the thread's idle list and under its idle time-out. The receive tries at once when the
    // last read may have left bytes behind, otherwise it waits for the poller's word; either way
    // the wait costs no change of the connection's registration with the poller. The first bytes
    // go into a small buffer of the connection's own (a wait outlives the call), what does not fit
    // follows into the thread's buffer.
    void awaitRequest()
    {
        startIdle();
        m_socket.async_receive(asio::buffer(m_first), [self = shared_from_this()](error_code ec, std::size_t n) {
            self->firstArrived(ec, n);
        });
    }

    void firstArrived(error_code ec, size_t n)
    {
        m_inlineReplies = 0; // a new turn of the thread's loop
        if (m_waiting) {
            m_idleList.remove(m_idle);
            m_waiting = false;
        }
        if (ec || n == 0 || m_evicted) {
            return close();
        }
        if (n < m_first.size()) {
            m_readAll = true;
            return readHeader(std::string_view(m_first.data(), n));
        }
        // More than the small buffer holds: the rest is most likely there already.
        std::array<char, kFirstRead>& scratch = threadScratch();
        std::memcpy(scratch.data(), m_first.data(), n);
        ssize_t more;
        do {
            more = ::recv(m_socket.native_handle(), scratch.data() + n, scratch.size() - n, MSG_DONTWAIT);
        } while (more < 0 && errno == EINTR);
        if (more == 0 || (more < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            return close();
        }
        m_readAll = more < 0 || static_cast<size_t>(more) < scratch.size() - n;
        readHeader(std::string_view(scratch.data(), n + static_cast<size_t>(std::max<ssize_t>(more, 0))));
    }

    // Where the bytes of a request that was there at once are read: one buffer per I/O thread,
    // used only within the call that reads them.
    static std::array<char, kFirstRead>& threadScratch()
    {
        thread_local std::array<char, kFirstRead> scratch;
        return scratch;
    }

    // Between requests: wait for the next request (awaitRequest), unless a pipelined one is
    // already in the buffer. A waiting connection holds no read buffer: only what a request
    // leaves over is kept.
    void waitForRequest()
    {
        noDelay();
        endSlow();
        m_parser.reset();
        m_headerBytes = 0;
        m_announced = 0;
        m_buffer.max_size(std::max(m_limits.headerLimit + kHeaderSlack, kFirstRead));
        if (m_buffer.size() > 0) {
            recharge(); // smaller than before: always fits
            return readHeader({});
        }
        m_buffer.shrink_to_fit(); // empty: frees it
        recharge();
        awaitRequest();
    }

    // A reply's bytes go out without waiting for the client's acknowledgement of the last ones
    // (Nagle's rule). The first reply of a connection ends in at most one short segment, which
    // the rule never holds back, so the option is set only once a second write follows one: before
    // the next request, after a 100 Continue, for a connection's new owner.
    void noDelay()
    {
        if (!m_noDelay) {
            m_noDelay = true;
            error_code ec;
            m_socket.set_option(tcp::no_delay(true), ec);
        }
    }

    // Waits for a request from now on: on the thread's idle list, under its idle time-out.
    void startIdle()
    {
        m_waiting = true;
        const auto now = IdleList::Clock::now();
        if (m_idleList.add(m_idle, now)) {
            m_server.setIdleTimer(m_idleList, now);
        }
    }

    // Starts a request: from fresh bytes in the thread's buffer, or (fresh empty) from what the
    // connection's buffer holds.
    void readHeader(std::string_view fresh)
    {
        m_parser.emplace(m_limits.headerFieldLimit);
        m_parser->header_limit(static_cast<uint32_t>(m_limits.headerLimit));
        m_parser->body_limit(m_limits.bodyLimit);
        m_buffer.max_size(std::max({m_buffer.size(), m_limits.headerLimit + kHeaderSlack, kFirstRead}));
        // Keep-alive and pipelined requests are mostly there already: no read, no timer.
        error_code ec;
        if (!fresh.empty()) {
            const size_t used = m_parser->put(asio::buffer(fresh.data(), fresh.size()), ec);
            m_headerBytes += used;
            fresh.remove_prefix(used);
            if (!fresh.empty()) {
                // The rest of the request, or the next one.
                auto space = m_buffer.prepare(std::max(fresh.size(), kFirstRead));
                std::memcpy(space.data(), fresh.data(), fresh.size());
                m_buffer.commit(fresh.size());
            }
            if (!recharge()) {
                return refuse();
            }
        } else {
            const size_t used = m_parser->put(m_buffer.data(), ec);
            m_buffer.consume(used);
            m_headerBytes += used;
        }
        if (ec && ec != http::error::need_more) {
            return failRead(ec);
        }
        if (m_parser->is_header_done()) {
            return onHeader();
        }
        if (!startSlow()) {
            return close();
        }
        // One deadline for the whole header, so a client that trickles bytes is cut off.
        armDeadline(m_limits.headerTimeout);
        readPart(/*body=*/false);
    }

    // A request that comes in pieces: an address has only so many of these at a time.
    bool startSlow()
    {
        if (!m_slow) {
            if (!m_server.limiter.tryAddSlow(m_addressKey)) {
                return false;
            }
            m_slow = true;
        }
        return true;
    }

    void endSlow()
    {
        if (m_slow) {
            m_slow = false;
            m_server.limiter.removeSlow(m_addressKey);
        }
    }

    void onHeader()
    {
        cancelDeadline();
        auto& req = m_parser->get();
        if (unsigned status = transferCodingStatus(req, m_parser->chunked())) {
            return sendError(status, status == 501 ? "Not Implemented" : "Bad Request");
        }
        // The announced body counts from now: refused before any of it is stored.
        m_announced = m_parser->content_length().value_or(0);
        if (!recharge()) {
            return refuse();
        }
        if (m_parser->is_done()) {
            return dispatch();
        }
        if (!startSlow()) {
            return close();
        }
        if (beast::iequals(req[http::field::expect], "100-continue")) {
            static const char continueLine[] = "HTTP/1.1 100 Continue\r\n\r\n";
            noDelay();
            armDeadline(m_limits.writeTimeout);
            asio::async_write(m_socket, asio::buffer(continueLine, sizeof continueLine - 1),
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

    // One deadline for the whole body. A stream's own time-out is checked per read and loses the
    // race to data that keeps arriving, so a timer of the connection's own closes it.
    void readBody()
    {
        armDeadline(m_limits.bodyTimeout);
        readPart(/*body=*/true);
    }

    // One read of the header (until it is complete) or of the body (until the request is).
    void readPart(bool body)
    {
        if (body) {
            // The body goes into the body; what waits in the buffer is at most a chunk's size
            // line with its extensions, or the trailer, and these are bounded here.
            m_buffer.max_size(std::max(m_buffer.size(), m_limits.chunkLineLimit));
        }
        m_readAll = false; // the stream's read may have filled its buffer
        http::async_read_some(
            m_socket, m_buffer, *m_parser, [self = shared_from_this(), body](error_code ec, std::size_t n) {
                if (!body) {
                    self->m_headerBytes += n;
                }
                if (ec) {
                    return self->failRead(ec);
                }
                if (!self->recharge()) {
                    return self->refuse();
                }
                if (!(body ? self->m_parser->is_done() : self->m_parser->is_header_done())) {
                    return self->readPart(body);
                }
                if (!body) {
                    return self->onHeader();
                }
                self->cancelDeadline();
                self->dispatch();
            });
    }

    // A request that could not be read: answer what is wrong, when the client can still hear it.
    void failRead(error_code ec)
    {
        if (m_timedOut || ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == asio::error::eof || ec == asio::error::connection_reset ||
            ec == asio::error::operation_aborted || ec == http::error::partial_message) {
            return close();
        }
        if (ec == http::error::header_limit) {
            return sendError(431, "Request Header Fields Too Large");
        }
        if (ec == http::error::body_limit) {
            return sendError(413, "Payload Too Large");
        }
        sendError(400, "Bad Request");
    }

    // The server's buffer budget is spent.
    void refuse() { sendError(503, "Service Unavailable"); }

    // The bytes this connection holds for its request, taken from the server's budget. False when
    // they would go beyond it.
    bool recharge()
    {
        size_t want = m_buffer.capacity();
        if (m_parser) {
            want += m_headerBytes + m_parser->fieldCount() * kFieldOverhead +
                    std::max<size_t>(m_parser->get().body().capacity(), m_announced);
        }
        if (want > m_charged) {
            if (!m_server.budget.tryTake(want - m_charged)) {
                return false;
            }
        } else if (want < m_charged) {
            m_server.budget.give(m_charged - want);
        }
        m_charged = want;
        return true;
    }

    // Drops the request and the read buffer of a connection that is about to close.
    void releaseRequest()
    {
        m_parser.reset();
        m_headerBytes = 0;
        m_announced = 0;
        m_buffer.clear();
        m_buffer.shrink_to_fit();
        recharge();
    }

    void armDeadline(std::chrono::milliseconds after)
    {
        ++m_deadlineGeneration;
        m_deadlineArmed = true;
        deadline().expires_after(after);
        deadline().async_wait([self = shared_from_this(), generation = m_deadlineGeneration](error_code ec) {
            if (ec || generation != self->m_deadlineGeneration) {
                return;
            }
            self->m_timedOut = true;
            self->close();
        });
    }

    asio::steady_timer& deadline()
    {
        if (!m_deadline) {
            m_deadline.emplace(m_socket.get_executor());
        }
        return *m_deadline;
    }

    void cancelDeadline()
    {
        if (m_deadlineArmed) {
            ++m_deadlineGeneration;
            m_deadlineArmed = false;
            m_deadline->cancel();
        }
    }

    void dispatch()
    {
        endSlow();
        auto& req = m_parser->get();
        m_keepAlive = req.keep_alive();
        m_head = req.method() == http::verb::head;
        m_version = req.version();
        auto method = req.method();
        if (method != http::verb::get && method != http::verb::head && method != http::verb::post) {
            return sendError(501, "Not Implemented", /*closeAfter=*/false);
        }

        HttpRequest request;
        request.method = view(req.method_string());
        request.target = view(req.target());
        request.body = req.body();
        request.clientAddress = m_clientAddress;
        request.clientPort = m_clientPort;
        HttpRequestFields::set(request, req);

        HttpHandler& handler = m_server.handler;
        std::optional<HttpAnswer> answer;
        try {
            answer.emplace(handler.handle(request));
        } catch (const std::exception& e) {
            return internalError(e.what());
        } catch (...) {
            return internalError("unknown error");
        }
        if (!answer->blockingStep) {
            return sendReply(std::move(answer->reply));
        }
        // A step that may block (a reverse lookup, a form to store) runs on the worker pool and
        // comes back to this connection's own thread to send the reply.
        asio::post(*m_server.workers, [self = shared_from_this(), step = std::move(answer->blockingStep)] {
            // Nothing escapes into the pool's thread.
            std::shared_ptr<Reply> reply;
            std::string what;
            try {
                reply = std::make_shared<Reply>(step());
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
                what = "unknown error";
            }
            try {
                if (reply) {
                    asio::post(self->m_socket.get_executor(),
                               [self, reply] { self->sendReply(std::move(*reply)); });
                } else {
                    asio::post(self->m_socket.get_executor(), [self, what] { self->internalError(what); });
                }
            } catch (...) {
                // Out of memory even for that: the connection goes with the job.
            }
        });
    }

    // A request whose handling failed: reported, answered 500, closed.
    void internalError(const std::string& what)
    {
        m_server.handler.connectionError(what);
        sendError(500, "Internal Server Error");
    }

    // The header of a reply: status, content type and the fields the handler asked for.
    ResponseHead headOf(const Reply& reply) const
    {
        ResponseHead head;
        head.version = m_version;
        head.status = static_cast<unsigned>(reply.status);
        if (reply.status == 302) {
            head.reason = "Moved Temporarily";
        }
        if (reply.status != 204 && reply.status != 304) {
            head.contentType = reply.contentType;
        }
        head.location = reply.location;
        if (!reply.realm.empty()) {
            head.status = 401;
            head.reason = {};
            head.realm = reply.realm;
        }
        head.fields = &reply.fields;
        head.keepAlive = m_keepAlive;
        return head;
    }

    void sendReply(Reply reply)
    {
        if (reply.delay.count() > 0) {
            // The pause runs on a timer: the connection waits, no thread does.
            if (!m_delay) {
                m_delay.emplace(m_socket.get_executor());
            }
            m_delay->expires_after(reply.delay);
            reply.delay = {};
            m_reply = std::move(reply);
            m_delay->async_wait([self = shared_from_this()](error_code ec) {
                if (ec) {
                    return self->close();
                }
                self->sendReply(std::move(self->m_reply));
            });
            return;
        }
        m_reply = std::move(reply);
        Reply& r = m_reply;
        std::string& head = scratchHead();
        if (r.takeOver && !m_head && !r.headLength) {
            // The header alone; the body is the new owner's, until it closes the connection.
            m_keepAlive = false;
        }
        ResponseHead h = headOf(r);
        if (m_head || r.headLength) {
            // HEAD: the header alone, with the length the body would have. A reply whose body
            // would be a taken-over connection has no length to announce.
            if (r.status != 204 && !r.takeOver) {
                h.contentLength = r.headLength   ? *r.headLength
                                  : r.file       ? r.fileSize
                                  : r.sharedBody ? r.sharedBody->size()
                                                 : r.body.size();
            }
            appendResponseHead(head, h);
            r.file.reset();
            r.takeOver = nullptr;
            return startOutput(head);
        }
        if (r.takeOver) {
            appendResponseHead(head, h);
            return startOutput(head);
        }
        if (r.file) {
            h.contentLength = r.fileSize;
            appendResponseHead(head, h);
            m_outFile = std::move(r.file);
            m_outFileOffset = 0;
            m_outFileLeft = r.fileSize;
            return startOutput(head);
        }
        if (r.sharedBody) {
            h.contentLength = r.sharedBody->size();
            appendResponseHead(head, h);
            m_outShared = std::move(r.sharedBody);
            m_outBodyLeft = *m_outShared;
            return startOutput(head);
        }
        if (r.status != 204) {
            h.contentLength = r.body.size();
            m_outBody = std::move(r.body);
        }
        appendResponseHead(head, h);
        m_outBodyLeft = m_outBody;
        startOutput(head);
    }

    void sendError(unsigned status, const char* reason, bool closeAfter = true)
    {
        cancelDeadline();
        if (closeAfter) {
            m_keepAlive = false;
            releaseRequest();
        }
        m_reply = Reply{};
        m_outBody = errorPage(reason);
        ResponseHead h;
        h.version = 11;
        h.status = status;
        h.contentType = "text/html";
        h.keepAlive = m_keepAlive;
        h.contentLength = m_outBody.size();
        std::string& head = scratchHead();
        appendResponseHead(head, h);
        m_outBodyLeft = m_outBody;
        startOutput(head);
    }

    // Where a reply's header is put together: one buffer per I/O thread, so a reply that goes
    // out at once (most do) allocates nothing for it. A header that has to wait is copied into
    // the connection.
    static std::string& scratchHead()
    {
        thread_local std::string head;
        head.clear();
        return head;
    }

    // Sends the header, then the body from memory or the file's bytes by sendfile, as far as the
    // socket takes them now; waits for the socket to take more only when it is full. The write
    // time-out starts then and moves on with every byte that goes out, so a slow client that
    // reads gets a large file while one that stops reading is cut off.
    void startOutput(std::string_view head)
    {
        m_outHeadLeft = head;
        m_outHeadOwned = false;
        pump();
    }

    void pump()
    {
        if (!m_socket.is_open()) {
            return outputFailed(); // closed meanwhile (a deadline): its number may be another's now
        }
        const int fd = m_socket.native_handle();
        size_t turn = 0;
        while (true) {
            if (!m_outHeadLeft.empty() || !m_outBodyLeft.empty()) {
                iovec iov[2];
                int count = 0;
                if (!m_outHeadLeft.empty()) {
                    iov[count++] = {const_cast<char*>(m_outHeadLeft.data()), m_outHeadLeft.size()};
                }
                if (!m_outBodyLeft.empty()) {
                    iov[count++] = {const_cast<char*>(m_outBodyLeft.data()), m_outBodyLeft.size()};
                }
                msghdr msg{};
                msg.msg_iov = iov;
                msg.msg_iovlen = static_cast<size_t>(count);
                const ssize_t sent = ::sendmsg(fd, &msg, MSG_NOSIGNAL | (m_outFileLeft > 0 ? MSG_MORE : 0));
                if (sent < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    return errno == EAGAIN || errno == EWOULDBLOCK ? waitWritable() : outputFailed();
                }
                size_t n = static_cast<size_t>(sent);
                const size_t fromHead = std::min(n, m_outHeadLeft.size());
                m_outHeadLeft.remove_prefix(fromHead);
                m_outBodyLeft.remove_prefix(n - fromHead);
                progressed();
                continue;
            }
            if (m_outFileLeft > 0) {
                if (turn >= kSendTurn) {
                    // Other connections of this thread get their turn.
                    return asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->pump(); });
                }
                const size_t want = static_cast<size_t>(std::min<uint64_t>(m_outFileLeft, kSendTurn));
                const ssize_t sent = ::sendfile(fd, m_outFile.get(), &m_outFileOffset, want);
                if (sent < 0) {
                    if (errno == EINTR) {
                        continue;
                    }
                    return errno == EAGAIN || errno == EWOULDBLOCK ? waitWritable() : outputFailed();
                }
                if (sent == 0) {
                    // The file is shorter than announced: the client cannot tell where the reply
                    // ends, so the connection does.
                    return outputFailed();
                }
                m_outFileLeft -= static_cast<uint64_t>(sent);
                turn += static_cast<size_t>(sent);
                progressed();
                continue;
            }
            return outputDone();
        }
    }

    void progressed()
    {
        if (m_deadlineArmed) {
            m_progressAt = std::chrono::steady_clock::now();
        }
    }

    void waitWritable()
    {
        if (!m_outHeadOwned && !m_outHeadLeft.empty()) {
            m_outHead.assign(m_outHeadLeft);
            m_outHeadLeft = m_outHead;
            m_outHeadOwned = true;
        }
        if (!m_deadlineArmed) {
            armWriteDeadline();
        }
        m_socket.async_wait(tcp::socket::wait_write, [self = shared_from_this()](error_code ec) {
            if (ec) {
                return self->outputFailed();
            }
            self->pump();
        });
    }

    // One timer for the whole reply: when it fires while bytes still move, it waits on.
    void armWriteDeadline()
    {
        ++m_deadlineGeneration;
        m_deadlineArmed = true;
        m_progressAt = std::chrono::steady_clock::now();
        deadline().expires_at(m_progressAt + m_limits.writeTimeout);
        waitWriteDeadline();
    }

    void waitWriteDeadline()
    {
        m_deadline->async_wait([self = shared_from_this(), generation = m_deadlineGeneration](error_code ec) {
            if (ec || generation != self->m_deadlineGeneration) {
                return;
            }
            const auto due = self->m_progressAt + self->m_limits.writeTimeout;
            if (std::chrono::steady_clock::now() < due) {
                self->m_deadline->expires_at(due);
                return self->waitWriteDeadline();
            }
            self->m_timedOut = true;
            self->close();
        });
    }

    void clearOutput()
    {
        m_outHeadLeft = {};
        m_outBodyLeft = {};
        if (m_outHeadOwned) {
            std::string().swap(m_outHead);
            m_outHeadOwned = false;
        }
        std::string().swap(m_outBody);
        m_outShared.reset();
        m_outFile.reset();
        m_outFileLeft = 0;
    }

    void outputFailed()
    {
        clearOutput();
        m_reply = Reply{};
        close();
    }

    void outputDone()
    {
        cancelDeadline();
        clearOutput();
        if (m_reply.takeOver) {
            return handOver();
        }
        if (!m_reply.sent.file.empty()) {
            m_server.handler.sent(m_reply.sent, m_clientAddress, m_clientPort);
        }
        m_reply = Reply{}; // lowers a busy count it holds
        if (m_buffer.size() > 0 || ++m_inlineReplies > kInlineReplies) {
            // A pipelined request waits, or requests keep coming at once: they go through the
            // loop, not deeper into this stack.
            m_inlineReplies = 0;
            return asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->afterReply(); });
        }
        afterReply();
    }

    // After a take-over's header: the socket goes to its new owner, and this connection ends
    // without closing it.
    void handOver()
    {
        cancelDeadline();
        if (m_delay) {
            m_delay->cancel();
        }
        noDelay();
        auto takeOver = std::move(m_reply.takeOver);
        m_reply = Reply{};
        releaseRequest();
        error_code ec;
        FileHandle socket(m_socket.release(ec));
        if (ec || !socket) {
            return close();
        }
        // Asio left it non-blocking for its own use.
        const int flags = ::fcntl(socket.get(), F_GETFL);
        if (flags >= 0) {
            ::fcntl(socket.get(), F_SETFL, flags & ~O_NONBLOCK);
        }
        takeOver(std::move(socket));
    }

    void afterReply()
    {
        if (!m_keepAlive) {
            // Nothing more to read: close() alone sends the FIN, no shutdown() first.
            return quietlyDone() ? close(/*quiet=*/true) : lingeringClose();
        }
        waitForRequest();
    }

    // Whether the client has sent nothing beyond the request just answered: then the connection
    // closes at once, as a client that asked for the close expects. Otherwise what is still on
    // its way is read and dropped first (lingeringClose), so a reset does not cost the client its
    // reply.
    bool quietlyDone()
    {
        if (!m_parser || !m_parser->is_done() || m_buffer.size() > 0) {
            return false;
        }
        if (m_readAll) {
            // The read that brought the request's last bytes took everything there was, and the
            // request used it all. Only bytes sent after a request that ended the connection
            // could still come; like the common servers, no system call is spent on those.
            return true;
        }
        char byte;
        ssize_t n;
        do {
            n = ::recv(m_socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        // Nothing waiting, or the client has closed its side already: nothing to drain.
        return n == 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
    }

    // Closes the sending side first and reads what the client still sends for a moment, so the
    // last reply is not lost to a reset when the client had more data on its way. The moment ends
    // on its timer, however fast the data comes.
    void lingeringClose()
    {
        error_code ec;
        m_socket.shutdown(tcp::socket::shutdown_send, ec);
        releaseRequest();
        armDeadline(m_limits.lingerTimeout);
        drain();
    }

    void drain()
    {
        m_socket.async_read_some(discardBuffer(), [self = shared_from_this()](error_code ec, std::size_t) {
            if (ec) {
                return self->close();
            }
            self->drain();
        });
    }

    void close(bool quiet = false)
    {
        cancelDeadline();
        if (m_delay) {
            m_delay->cancel();
        }
        error_code ec;
        if (!quiet) {
            m_socket.shutdown(tcp::socket::shutdown_both, ec);
        }
        m_socket.close(ec);
    }

    tcp::socket m_socket;
    HttpServer::Impl& m_server;
    const HttpServerLimits& m_limits;
    IdleList& m_idleList; // its thread's
    uint32_t m_addressKey;
    beast::flat_buffer m_buffer;
    std::array<char, kFirstBytes> m_first; // the first bytes of the next request
    std::optional<RequestParser> m_parser;
    size_t m_headerBytes = 0; // the header block the parser has stored
    size_t m_announced = 0;   // the body length the header announced
    size_t m_charged = 0;     // taken from the server's budget
    std::string m_clientAddress;
    uint16_t m_clientPort = 0;
    bool m_refuseAtStart = false;
    bool m_slow = false;    // counted as a request that comes in pieces
    bool m_evicted = false; // closed to make room
    unsigned m_inlineReplies = 0;
    bool m_waiting = false; // for a request, under the idle time-out
    bool m_keepAlive = false;
    bool m_head = false;
    bool m_timedOut = false;
    unsigned m_version = 11;
    Reply m_reply;
    // The reply on its way out: what is left of its header, its body from memory and its file.
    std::string_view m_outHeadLeft;
    std::string m_outHead; // the header, when it had to wait for the socket
    bool m_outHeadOwned = false;
    std::string m_outBody;
    std::shared_ptr<const std::string> m_outShared;
    std::string_view m_outBodyLeft;
    FileHandle m_outFile;
    off_t m_outFileOffset = 0;
    uint64_t m_outFileLeft = 0;
    std::chrono::steady_clock::time_point m_progressAt; // the last byte out, while the deadline runs
    // Made when first needed: most connections never wait for either.
    std::optional<asio::steady_timer> m_delay;    // a reply's pause
    std::optional<asio::steady_timer> m_deadline; // a request in pieces, a reply that waits, the linger
    bool m_noDelay = false;                       // TCP_NODELAY is set
    bool m_readAll = false; // the last read emptied the socket: it returned less than it could

public:
    IdleLink m_idle; // on the server's idle list while waiting for a request
    unsigned m_deadlineGeneration = 0;
    bool m_deadlineArmed = false;
};

} // namespace

void HttpServer::Impl::accept(Listener& listener)
{
    // The peer's address comes with the accept itself: no lookup afterwards.
    tcp::acceptor& acceptor = *listener.acceptor;
    acceptor.async_accept(listener.peer, [this, &listener](error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !listener.acceptor->is_open()) {
            return;
        }
        if (ec) {
            // Out of descriptors and the like: try again shortly instead of spinning.
            listener.retry->expires_after(std::chrono::milliseconds(50));
            listener.retry->async_wait([this, &listener](error_code wec) {
                if (!wec) {
                    accept(listener);
                }
            });
            return;
        }
        error_code pec;
        const tcp::endpoint peer = listener.peer;
        if (peer.address().is_unspecified()) {
            pec = asio::error::not_connected;
        }
        const auto address = plainAddress(peer.address());
        const std::string addressText = pec                ? std::string()
                                        : address.is_v4() ? dottedQuad(address.to_v4().to_uint())
                                                          : address.to_string();
        uint32_t key = 0;
        if (!pec && address.is_v4()) {
            key = address.to_v4().to_uint();
        } else if (!pec) {
            key = static_cast<uint32_t>(std::hash<std::string>{}(addressText));
        }
        // A full server makes room by closing the connection that has waited longest for a request.
        bool admitted = !pec && limiter.tryAdd();
        if (!pec && !admitted && closeOldestIdle()) {
            limiter.addOver();
            admitted = true;
        }
        if (admitted) {
            // While the budget is spent, the newest connection is told so and closed.
            auto session = std::make_shared<Session>(std::move(socket), *this, *idle[listener.index], key,
                                                     addressText, peer.port(), !budget.room(kFirstRead));
            session->start(); // this thread is the connection's own
        } else {
            error_code cec;
            socket.close(cec);
        }
        accept(listener);
    });
}

bool HttpServer::Impl::closeOldestIdle()
{
    // The reference taken under a list's lock is let go only after the lock: if it were the
    // last one, the connection's destructor would take the lock again on this thread.
    std::shared_ptr<Session> oldest;
    while (!oldest) {
        IdleList* longest = nullptr;
        std::optional<IdleList::Clock::time_point> longestSince;
        for (auto& list : idle) {
            const auto since = list->oldest();
            if (since && (!longestSince || *since < *longestSince)) {
                longest = list.get();
                longestSince = since;
            }
        }
        if (!longest) {
            return false;
        }
        longest->takeOldest([&oldest](IdleLink& link) {
            oldest = static_cast<Session*>(link.owner)->weak_from_this().lock();
            return oldest != nullptr; // none: going anyway
        });
    }
    auto executor = oldest->executor();
    asio::post(executor, [oldest = std::move(oldest)] { oldest->evict(); });
    return true;
}

void HttpServer::Impl::setIdleTimer(IdleList& list, IdleList::Clock::time_point since)
{
    list.timerSet = true;
    list.timer->expires_at(since + limits.idleTimeout);
    list.timer->async_wait([this, &list](error_code ec) {
        if (ec) {
            list.timerSet = false;
            return;
        }
        idleTimerFired(list);
    });
}

void HttpServer::Impl::idleTimerFired(IdleList& list)
{
    // Taken off under the list's lock, closed after it (see closeOldestIdle).
    std::vector<std::shared_ptr<Session>> due;
    const auto next = list.takeSince(IdleList::Clock::now() - limits.idleTimeout, [&due](IdleLink& link) {
        if (auto session = static_cast<Session*>(link.owner)->weak_from_this().lock()) {
            due.push_back(std::move(session));
        }
    });
    if (next) {
        setIdleTimer(list, *next);
    } else {
        list.timerSet = false;
    }
    for (auto& session : due) {
        session->idleTimedOut();
    }
}

HttpServer::HttpServer(HttpHandler& handler, HttpServerLimits limits) : m_handler(handler), m_limits(limits)
{
}

HttpServer::~HttpServer()
{
    stop();
}

Outcome HttpServer::start(const std::string& address, uint16_t port)
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
        const bool shared = impl->contexts.size() > 1;
        if (shared && port != 0) {
            // Sockets that share a port would also share it with another server that asked
            // for the same (another copy of the program): a plain bind first tells whether the
            // port is free, as a single socket would.
            tcp::acceptor probe(*impl->contexts.front());
            probe.open(endpoint.protocol());
            probe.set_option(tcp::acceptor::reuse_address(true));
            probe.bind(endpoint);
            probe.close();
        }
        impl->listeners.reserve(impl->contexts.size());
        for (auto& context : impl->contexts) {
            Impl::Listener& listener = impl->listeners.emplace_back();
            listener.index = impl->listeners.size() - 1;
            listener.acceptor = std::make_unique<tcp::acceptor>(*context);
            listener.retry = std::make_unique<asio::steady_timer>(*context);
            tcp::acceptor& acceptor = *listener.acceptor;
            acceptor.open(endpoint.protocol());
            acceptor.set_option(tcp::acceptor::reuse_address(true));
            if (shared) {
                acceptor.set_option(asio::detail::socket_option::boolean<SOL_SOCKET, SO_REUSEPORT>(true));
            }
            acceptor.bind(endpoint);
            acceptor.listen(asio::socket_base::max_listen_connections);
            if (m_limits.deferAccept.count() > 0) {
                // The kernel hands a connection over once its first bytes are there: the first
                // read finds the request, and a connection that says nothing costs the server
                // nothing until the time is up.
                const int seconds = static_cast<int>(m_limits.deferAccept.count());
                ::setsockopt(acceptor.native_handle(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
            }
            // The first socket fixes the port (a chosen one when asked for 0); the others join it.
            endpoint.port(acceptor.local_endpoint().port());
        }
        impl->boundPort = endpoint.port();
        for (auto& context : impl->contexts) {
            impl->idle.push_back(std::make_unique<IdleList>());
            impl->idle.back()->timer.emplace(*context);
        }
    } catch (const boost::system::system_error& e) {
        return Outcome::failure(e.code().message());
    } catch (const std::exception& e) {
        return Outcome::failure(e.what());
    }

    {
        SignalBlock block; // the new threads inherit the blocked mask
        impl->workers = std::make_unique<asio::thread_pool>(std::max(1u, m_limits.workerThreads));
        for (auto& context : impl->contexts) {
            impl->threads.emplace_back([ctx = context.get(), &handler = m_handler] {
                // What the connections log during one turn of the loop goes on together.
                const LoopTurn turn([ctx](LoopTurn::Task task) { asio::post(*ctx, task); });
                // An error that escapes a connection's step ends that connection, not the thread:
                // the context goes on with the others.
                while (true) {
                    try {
                        ctx->run();
                        return;
                    } catch (const std::exception& e) {
                        handler.connectionError(e.what());
                    } catch (...) {
                        handler.connectionError("unknown error");
                    }
                }
            });
        }
    }
    for (size_t i = 0; i < impl->listeners.size(); ++i) {
        asio::post(*impl->contexts[i], [p = impl.get(), &listener = impl->listeners[i]] { p->accept(listener); });
    }
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
    for (auto& listener : impl.listeners) {
        error_code ec;
        listener.acceptor->close(ec);
    }
    // Requests still on the worker pool finish; what they post back is never run. The pool goes
    // first: its queued work holds connections whose sockets need their contexts alive.
    impl.workers->stop();
    impl.workers->join();
    impl.workers.reset();
    impl.listeners.clear();
    for (auto& list : impl.idle) {
        list->timer.reset(); // before its context; the list itself stays for the connections
    }
    impl.guards.clear();
    // Destroying a context destroys the handlers it still holds, and with them the connections.
    impl.contexts.clear();
    m_impl.reset();
    // What the stopped threads and connections freed stays with glibc's per-thread arenas until
    // it is trimmed: a server restarted every few minutes (IP-Refresh) would otherwise grow by a
    // megabyte or two per restart until every arena is in use.
    malloc_trim(0);
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

size_t HttpServer::bufferedBytes() const
{
    return m_impl ? m_impl->budget.used() : 0;
}

} // namespace kestrelon
