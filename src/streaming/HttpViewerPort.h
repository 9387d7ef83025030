#pragma once

#include "http/HttpHandler.h"
#include "http/HttpServer.h"
#include "streaming/ViewerPort.h"

#include <memory>
#include <mutex>
#include <string>

namespace kestrelon {

class StreamViewers;

// The viewer port on the project's HTTP server: a browser that asks for "/" gets the player page,
// any other request the stream. A stream request first reserves a viewer's place (503 when none
// is free), then gets a header ("video/webm", no length, "Connection: close") after which its
// socket goes to the stream's sink. The header is read and bounded as for the web server; the
// handler never blocks, so a few threads serve it.
//
// Threads: open() and close() on the main thread; requests on the server's I/O thread.
class HttpViewerPort : public ViewerPort, private HttpHandler {
public:
    // address: where to listen; empty listens on every address (IPv6 and IPv4, or IPv4 alone
    // where the machine has no IPv6).
    explicit HttpViewerPort(std::string address = {});
    ~HttpViewerPort() override;

    bool open(uint16_t port, std::shared_ptr<StreamViewers> viewers, const std::string& utf8Title,
              QString& error) override;
    void close() override;
    // The port bound while open; 0 while closed.
    uint16_t port() const;

    // The limits the viewer port's server runs with.
    static HttpServerLimits limits();

private:
    HttpAnswer handle(const HttpRequest& request) override;
    void connectionError(std::string_view what) noexcept override;

    std::string m_address;
    HttpServer m_server;
    mutable std::mutex m_mutex; // the stream being served, for the I/O thread
    std::shared_ptr<StreamViewers> m_viewers;
    std::string m_page;
};

} // namespace kestrelon
