#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrelon::test {

// Both ends of a TCP connection on loopback: server is what the viewer port would hand to the
// stream, client is the viewer's end, bound to clientAddress (127.0.0.x). receiveBuffer > 0
// shrinks the viewer's receive buffer (a viewer on a slow line). Throws when no socket can be had.
struct ViewerSockets {
    int server = -1;
    int client = -1;
};
ViewerSockets connectViewer(const char* clientAddress = "127.0.0.1", int receiveBuffer = 0);

// A viewer's request to the viewer port, from sourceAddress (127.0.0.x): "GET / HTTP/1.1" with
// the Accept header given (none when empty). The reply's header is read and no byte beyond it, so
// fd (which the caller owns from then on) goes on with the body. status 0: no reply came.
struct ViewerRequestResult {
    int status = 0;
    std::string header; // the status line and fields, as received
    int fd = -1;
};
ViewerRequestResult requestViewerPort(uint16_t port, const char* sourceAddress,
                                      const std::string& accept = {});

// What a viewer has received so far, read from the WebM stream itself.
struct Received {
    struct Block {
        int64_t timeMs = 0; // the stream's own clock
        bool keyframe = false;
        size_t endOffset = 0; // bytes received up to the end of this picture
    };
    size_t bytes = 0;
    bool closed = false; // the stream's end closed the connection
    int width = 0;       // the track's frame size
    int height = 0;
    std::string title; // the TITLE tag's text
    std::vector<Block> blocks;
    // What GStreamer decoded of it.
    int decodedFrames = 0;
    int decodedWidth = 0;
    int decodedHeight = 0;

    // Stream time covered so far (last picture's time minus the first's), milliseconds.
    int64_t spanMs() const { return blocks.size() < 2 ? 0 : blocks.back().timeMs - blocks.front().timeMs; }
    // Bits per second over the pictures stamped from fromMs to toMs after the first picture.
    double bitrate(int64_t fromMs, int64_t toMs) const;
};

// A viewer: reads its end of the connection on a thread of its own, follows the WebM structure
// and feeds the bytes to a GStreamer decoder. Takes fd.
class StreamReceiver {
public:
    explicit StreamReceiver(int fd);
    ~StreamReceiver();
    StreamReceiver(const StreamReceiver&) = delete;
    StreamReceiver& operator=(const StreamReceiver&) = delete;

    Received received() const;
    // Waits until condition holds for what has been received (or the time is up); the answer
    // is the condition's last value.
    bool waitFor(const std::function<bool(const Received&)>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // The viewer goes away: its end is closed.
    void leave();

    // The decoder's thread: one more picture came out.
    void decoded(int width, int height);

private:
    struct Decoder;
    void readLoop();
    void parse();

    int m_fd;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Received m_received;
    std::vector<uint8_t> m_data;
    size_t m_cursor = 0;
    int64_t m_clusterTime = 0;
    std::string m_lastTagName;
    Decoder* m_decoder = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace kestrelon::test
