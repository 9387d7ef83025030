#include "StreamReceiver.h"

#include "support/LoopbackSocket.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace kestrelon::test {

namespace {

// Binds fd to clientAddress and connects it to port on 127.0.0.1.
bool connectFrom(int fd, const char* clientAddress, uint16_t port)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, clientAddress, &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
           ::connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
}

} // namespace

ViewerSockets connectViewer(const char* clientAddress, int receiveBuffer)
{
    uint16_t port = 0;
    const int listener = boundLoopbackSocket(port);
    ViewerSockets sockets;
    sockets.client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
        ::setsockopt(sockets.client, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    const bool ok = ::listen(listener, 1) == 0 && connectFrom(sockets.client, clientAddress, port) &&
                    (sockets.server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
    ::close(listener);
    if (!ok) {
        ::close(sockets.client);
        throw std::runtime_error("no loopback connection");
    }
    return sockets;
}

ViewerRequestResult requestViewerPort(uint16_t port, const char* sourceAddress, const std::string& accept)
{
    ViewerRequestResult result;
    result.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!accept.empty()) {
        request += "Accept: " + accept + "\r\n";
    }
    request += "\r\n";
    if (!connectFrom(result.fd, sourceAddress, port) ||
        ::send(result.fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
        return result;
    }
    // Byte by byte up to the blank line, so the body stays in the socket for the viewer.
    while (result.header.size() < 16384 && !result.header.ends_with("\r\n\r\n")) {
        pollfd p{result.fd, POLLIN, 0};
        char c = 0;
        if (::poll(&p, 1, 5000) <= 0 || ::recv(result.fd, &c, 1, 0) != 1) {
            return result;
        }
        result.header += c;
    }
    if (result.header.starts_with("HTTP/1.1 ") && result.header.size() > 12) {
        result.status = std::stoi(result.header.substr(9, 3));
    }
    return result;
}

double Received::bitrate(int64_t fromMs, int64_t toMs) const
{
    if (blocks.empty()) {
        return 0;
    }
    const int64_t start = blocks.front().timeMs;
    const Block* a = nullptr;
    const Block* b = nullptr;
    for (const Block& block : blocks) {
        if (block.timeMs - start <= fromMs) {
            a = &block;
        }
        if (block.timeMs - start <= toMs) {
            b = &block;
        }
    }
    if (!a || !b || b->timeMs <= a->timeMs) {
        return 0;
    }
    return double(b->endOffset - a->endOffset) * 8.0 * 1000.0 / double(b->timeMs - a->timeMs);
}

struct StreamReceiver::Decoder {
    GstElement* pipeline = nullptr;
    GstElement* source = nullptr;
};

namespace {

// EBML masters whose children are read in place.
bool isMaster(uint32_t id)
{
    switch (id) {
    case 0x1A45DFA3: // EBML
    case 0x18538067: // Segment
    case 0x1F43B675: // Cluster
    case 0x1254C367: // Tags
    case 0x7373:     // Tag
    case 0x67C8:     // SimpleTag
    case 0x63C0:     // Targets
    case 0x1549A966: // Info
    case 0x1654AE6B: // Tracks
    case 0xAE:       // TrackEntry
    case 0xE0:       // Video
    case 0xA0:       // BlockGroup
        return true;
    default:
        return false;
    }
}

uint64_t readUnsigned(const uint8_t* p, uint64_t size)
{
    uint64_t v = 0;
    for (uint64_t i = 0; i < size; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

std::string readText(const uint8_t* p, uint64_t size)
{
    std::string s(reinterpret_cast<const char*>(p), size_t(size));
    while (!s.empty() && s.back() == '\0') {
        s.pop_back();
    }
    return s;
}

// The length of a variable-length number from its first byte, 0 when invalid.
size_t varLength(uint8_t first, size_t maxLength)
{
    for (size_t length = 1; length <= maxLength; ++length) {
        if (first & (0x80 >> (length - 1))) {
            return length;
        }
    }
    return 0;
}

GstFlowReturn onSample(GstAppSink* sink, gpointer data);

} // namespace

StreamReceiver::StreamReceiver(int fd) : m_fd(fd)
{
    m_decoder = new Decoder;
    GError* error = nullptr;
    m_decoder->pipeline = gst_parse_launch(
        "appsrc name=in format=bytes caps=video/webm ! decodebin ! video/x-raw ! appsink name=out sync=false",
        &error);
    if (!m_decoder->pipeline) {
        g_clear_error(&error);
        throw std::runtime_error("no decoder pipeline");
    }
    m_decoder->source = gst_bin_get_by_name(GST_BIN(m_decoder->pipeline), "in");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(m_decoder->pipeline), "out");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
    gst_object_unref(sink);
    gst_element_set_state(m_decoder->pipeline, GST_STATE_PLAYING);
    m_thread = std::thread([this] { readLoop(); });
}

StreamReceiver::~StreamReceiver()
{
    leave();
    gst_element_set_state(m_decoder->pipeline, GST_STATE_NULL);
    gst_object_unref(m_decoder->source);
    gst_object_unref(m_decoder->pipeline);
    delete m_decoder;
}

void StreamReceiver::leave()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

Received StreamReceiver::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

bool StreamReceiver::waitFor(const std::function<bool(const Received&)>& condition,
                             std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return condition(m_received); });
}

void StreamReceiver::readLoop()
{
    std::vector<uint8_t> chunk(64 * 1024);
    while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) {
            continue;
        }
        const ssize_t n = ::recv(m_fd, chunk.data(), chunk.size(), 0);
        if (n <= 0) {
            gst_app_src_end_of_stream(GST_APP_SRC(m_decoder->source));
            std::lock_guard lock(m_mutex);
            m_received.closed = true;
            m_changed.notify_all();
            return;
        }
        gst_app_src_push_buffer(GST_APP_SRC(m_decoder->source),
                                gst_buffer_new_memdup(chunk.data(), size_t(n)));
        std::lock_guard lock(m_mutex);
        m_data.insert(m_data.end(), chunk.begin(), chunk.begin() + n);
        m_received.bytes = m_data.size();
        parse();
        m_changed.notify_all();
    }
}

void StreamReceiver::parse()
{
    const uint8_t* d = m_data.data();
    const size_t size = m_data.size();
    for (;;) {
        size_t p = m_cursor;
        if (p >= size) {
            return;
        }
        const size_t idLength = varLength(d[p], 4);
        if (idLength == 0 || p + idLength >= size) {
            return;
        }
        const uint32_t id = uint32_t(readUnsigned(d + p, idLength));
        const size_t sizeLength = varLength(d[p + idLength], 8);
        if (sizeLength == 0 || p + idLength + sizeLength > size) {
            return;
        }
        uint64_t length = d[p + idLength] & (0xFF >> sizeLength);
        for (size_t i = 1; i < sizeLength; ++i) {
            length = (length << 8) | d[p + idLength + i];
        }
        const size_t header = idLength + sizeLength;
        if (isMaster(id)) {
            m_cursor = p + header;
            continue;
        }
        if (p + header + length > size) {
            return;
        }
        const uint8_t* payload = d + p + header;
        switch (id) {
        case 0xB0:
            m_received.width = int(readUnsigned(payload, length));
            break;
        case 0xBA:
            m_received.height = int(readUnsigned(payload, length));
            break;
        case 0x45A3:
            m_lastTagName = readText(payload, length);
            break;
        case 0x4487:
            if (m_lastTagName == "TITLE") {
                m_received.title = readText(payload, length);
            }
            break;
        case 0xE7:
            m_clusterTime = int64_t(readUnsigned(payload, length));
            break;
        case 0xA3: {
            const size_t track = length > 0 ? varLength(payload[0], 8) : 0;
            if (track == 0 || length < track + 3) {
                break;
            }
            const auto relative = int16_t((payload[track] << 8) | payload[track + 1]);
            m_received.blocks.push_back(
                {m_clusterTime + relative, (payload[track + 2] & 0x80) != 0, p + header + size_t(length)});
            break;
        }
        default:
            break;
        }
        m_cursor = p + header + size_t(length);
    }
}

namespace {

GstFlowReturn onSample(GstAppSink* sink, gpointer data)
{
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) {
        return GST_FLOW_OK;
    }
    int width = 0;
    int height = 0;
    if (GstCaps* caps = gst_sample_get_caps(sample)) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        gst_structure_get_int(s, "width", &width);
        gst_structure_get_int(s, "height", &height);
    }
    gst_sample_unref(sample);
    static_cast<StreamReceiver*>(data)->decoded(width, height);
    return GST_FLOW_OK;
}

} // namespace

void StreamReceiver::decoded(int width, int height)
{
    std::lock_guard lock(m_mutex);
    ++m_received.decodedFrames;
    m_received.decodedWidth = width;
    m_received.decodedHeight = height;
    m_changed.notify_all();
}

} // namespace kestrelon::test
