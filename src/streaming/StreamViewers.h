#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

namespace kestrelon {

// The viewers of one running stream: at most maxViewers at a time, each a connected socket that
// the viewer port hands over once it has written the reply's header. The stream's socket sink
// sends to them; a viewer that goes away, is too slow or stays silent too long is dropped by the
// sink and its place is free at once.
//
// Threads: every function may be called from any thread (the viewer port calls from its I/O
// threads, the page's timer from the main thread), except open() and close(), which belong to
// the stream's owner on the main thread. Create with std::make_shared.
class StreamViewers : public std::enable_shared_from_this<StreamViewers> {
public:
    // A place reserved for one viewer. Held while the reply's header is written; handOver() then
    // gives the socket to the stream. Dropped without a hand-over, it frees the place again.
    // Move-only; any thread.
    class Slot {
    public:
        Slot() = default;
        Slot(Slot&& other) noexcept;
        Slot& operator=(Slot&& other) noexcept;
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        ~Slot();
        explicit operator bool() const { return m_owner != nullptr; }

        // Takes fd in every case: the stream sends to it from now on, or, when the stream has
        // ended meanwhile, it is closed and false comes back. peer: the viewer's address as
        // text; empty reads it from the socket. The slot is empty afterwards.
        bool handOver(int fd, const std::string& peer = {});

    private:
        friend class StreamViewers;
        Slot(std::shared_ptr<StreamViewers> owner, uint64_t id) : m_owner(std::move(owner)), m_id(id) {}
        std::shared_ptr<StreamViewers> m_owner;
        uint64_t m_id = 0;
    };

    // Gives a socket to the stream's sink, tagged with the viewer's id. Answers false when the
    // sink did not take it; the socket is closed either way.
    using Deliver = std::function<bool(int fd, uint64_t id)>;

    explicit StreamViewers(int maxViewers);

    // A place for one more viewer, or an empty slot (answer 503) when maxViewers are connected or
    // reserved, when the stream takes no viewers (port or "Max. Users" 0) or is not running.
    Slot reserve();
    // reserve() and handOver() in one. On false the caller still owns fd (and answers 503).
    bool addViewer(int fd, const std::string& peer = {});

    // The connected viewers' addresses in the order they came.
    std::vector<std::string> addresses() const;
    // Viewers connected or about to be.
    int count() const;
    int maxViewers() const { return m_maxViewers; }

    // Main thread, by the stream's owner: from now on sockets go to deliver.
    void open(Deliver deliver);
    // Main thread: no socket is handed over any more; returns once a hand-over in progress has
    // ended. The sink drops the viewers it holds when it stops.
    void close();

    // The sink's threads: the viewer with this id has been dropped (the sink's client-removed
    // signal, which runs under the sink's lock: this touches the book only).
    void removed(uint64_t id);
    // The sink's threads: the sink has taken the viewer (client-added).
    void added(uint64_t id);

private:
    struct Entry {
        std::string address; // empty while only reserved
        bool handed = false;
        bool inSink = false;
    };

    bool handOver(uint64_t id, int fd, const std::string& peer);
    void release(uint64_t id);

    const int m_maxViewers;
    // Held shared across a hand-over, exclusively by close(): no socket reaches a sink that is
    // stopping. Never taken by the sink's signals, so it cannot deadlock with the sink's lock.
    std::shared_mutex m_deliverMutex;
    Deliver m_deliver;
    bool m_open = false;
    mutable std::mutex m_mutex; // the book; taken alone, briefly
    std::map<uint64_t, Entry> m_entries;
    uint64_t m_nextId = 1;
};

// The address of a connected socket's peer as text: IPv4 as four decimal numbers, most
// significant byte first (also for IPv4-mapped IPv6 peers); other IPv6 addresses in their usual
// form; empty when the socket has no peer.
std::string peerAddressText(int fd);

} // namespace kestrelon
