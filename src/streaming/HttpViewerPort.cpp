#include "streaming/HttpViewerPort.h"

#include "streaming/PlayerPage.h"
#include "streaming/StreamViewers.h"

namespace kestrelon {

HttpViewerPort::HttpViewerPort(std::string address) : m_address(std::move(address)), m_server(*this, limits())
{
}

HttpViewerPort::~HttpViewerPort()
{
    close();
}

HttpServerLimits HttpViewerPort::limits()
{
    HttpServerLimits limits;
    // A stream request has no body; the header limits and time-outs stay those of the web server.
    limits.bodyLimit = 4 * 1024;
    limits.bufferBudget = 4 * 1024 * 1024;
    // At most ten viewers, and they leave the server's count once their stream runs: the rest
    // are page loads and players trying again.
    limits.maxConnections = 64;
    limits.maxPartialRequestsPerAddress = 16;
    limits.ioThreads = 1;
    limits.workerThreads = 1;
    return limits;
}

bool HttpViewerPort::open(uint16_t port, std::shared_ptr<StreamViewers> viewers, const std::string& utf8Title,
                          QString& error)
{
    close();
    {
        std::lock_guard lock(m_mutex);
        m_viewers = std::move(viewers);
        m_page = playerPageHtml(utf8Title);
    }
    Outcome started = m_address.empty() ? m_server.start("::", port) : m_server.start(m_address, port);
    if (!started && m_address.empty()) {
        // A machine without IPv6.
        started = m_server.start("0.0.0.0", port);
    }
    if (!started) {
        error = QString::fromStdString(started.error());
        close();
        return false;
    }
    return true;
}

void HttpViewerPort::close()
{
    m_server.stop();
    std::lock_guard lock(m_mutex);
    m_viewers.reset();
    m_page.clear();
}

uint16_t HttpViewerPort::port() const
{
    return m_server.active() ? m_server.port() : 0;
}

HttpAnswer HttpViewerPort::handle(const HttpRequest& request)
{
    std::shared_ptr<StreamViewers> viewers;
    Reply reply;
    {
        std::lock_guard lock(m_mutex);
        viewers = m_viewers;
        if (classifyViewerRequest(request.target, request.field("Accept")) == ViewerRequest::PlayerPage) {
            reply.contentType = kPlayerPageContentType;
            reply.body = m_page;
            return reply;
        }
    }
    if (request.method == "POST") {
        reply.status = 405;
        reply.body = errorPage("Method Not Allowed");
        reply.fields.emplace_back("Allow", "GET, HEAD");
        return reply;
    }
    StreamViewers::Slot slot = viewers ? viewers->reserve() : StreamViewers::Slot();
    if (!slot) {
        // Every place is taken (or the stream is on its way down).
        reply.status = 503;
        reply.body = errorPage("Service Unavailable");
        return reply;
    }
    reply.contentType = kStreamContentType;
    reply.fields.emplace_back("Cache-Control", "no-cache");
    // The place stays reserved while the header goes out; a viewer who leaves before is freed
    // with the reply.
    auto held = std::make_shared<StreamViewers::Slot>(std::move(slot));
    reply.takeOver = [held, peer = std::string(request.clientAddress)](FileHandle socket) {
        held->handOver(socket.release(), peer);
    };
    return reply;
}

void HttpViewerPort::connectionError(std::string_view) noexcept
{
    // The connection is closed; a viewer's place goes with its reply.
}

} // namespace kestrelon
