#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace kestrelon {

class StreamViewers;

// The viewer port: an HTTP server on the stream's "Port" whose handler answers the player page or
// hands the connection to the stream (classifyViewerRequest; StreamViewers::reserve before the
// reply, 503 when no place is free, Slot::handOver once the header is written). Main thread.
class ViewerPort {
public:
    virtual ~ViewerPort() = default;
    // Listens on port for the stream's viewers; title is the player page's. False with the reason.
    virtual bool open(uint16_t port, std::shared_ptr<StreamViewers> viewers, const std::string& utf8Title,
                      QString& error) = 0;
    virtual void close() = 0;
};

} // namespace kestrelon
