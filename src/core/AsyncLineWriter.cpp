#include "core/AsyncLineWriter.h"

#include "core/LoopTurn.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>
#include <utility>

namespace kestrelon {

struct AsyncLineWriter::State {
    State(int f, Limits l) : fd(f), limits(l) {}

    const int fd;
    const Limits limits;
    std::mutex mutex;
    std::condition_variable wake;    // something to write, or closing
    std::condition_variable settled; // a batch went out, or the thread ended
    std::string queue;               // the lines, each with its line end
    size_t queuedLines = 0;
    size_t queuedBytes = 0; // the lines' text, without the line ends
    size_t dropped = 0;
    bool waiting = false;   // the thread waits for lines: the next one wakes it
    bool gathering = false; // the thread lets lines gather before it writes them
    bool hurry = false;     // the gathering ends now: the queue is half full, or a flush waits
    bool writing = false;
    bool closing = false;
    bool ended = false;

    bool idle() const { return queue.empty() && dropped == 0 && !writing; }

    // Queues `lines` lines of `bytes` bytes (without their line ends), all or none: fill(out)
    // writes them, line ends and all, at the queue's end.
    template <typename Fill> void queueLines(size_t lines, size_t bytes, Fill&& fill)
    {
        std::lock_guard lock(mutex);
        if (queuedLines + lines > limits.maxLines || queuedBytes + bytes > limits.maxBytes) {
            dropped += lines;
        } else {
            queuedBytes += bytes;
            queuedLines += lines;
            const size_t at = queue.size();
            queue.resize(at + bytes + lines);
            fill(queue.data() + at);
        }
        if (waiting) {
            waiting = false; // one wake-up for the lines until it takes them
            wake.notify_one();
        } else if (gathering && !hurry &&
                   (2 * queuedLines >= limits.maxLines || 2 * queuedBytes >= limits.maxBytes)) {
            hurry = true; // written before the queue fills up and lines would be dropped
            wake.notify_one();
        }
    }
};

namespace {

// Writes all of text, waiting for the reader as long as it takes; false when the reader has gone.
bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n > 0) {
            text.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            // A descriptor somebody made non-blocking: wait until it takes more.
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, -1);
            continue;
        }
        return false;
    }
    return true;
}

// How long the thread lets lines gather after the first one woke it: one write for many lines,
// and on a busy server a wake-up of the thread only every so often (each one costs the threads
// that log more than the write).
constexpr std::chrono::milliseconds kGather{20};

void run(const std::shared_ptr<AsyncLineWriter::State>& s)
{
    // A write to a pipe whose reader has gone must not end the program: the signal stays blocked
    // (and pending) on this thread, and the write fails with EPIPE instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    // A batch thread: when it wakes up it waits for its turn and does not push the thread that
    // runs off its core (one that serves requests, mostly). Lines can wait that long.
    sched_param policy{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &policy);

    bool readerGone = false;
    std::string batch;
    std::unique_lock lock(s->mutex);
    while (true) {
        s->waiting = true;
        s->wake.wait(lock, [&] { return !s->queue.empty() || s->dropped > 0 || s->closing; });
        s->waiting = false;
        if (s->queue.empty() && s->dropped == 0) {
            break; // closing, and all written
        }
        if (!s->closing) {
            // The writers do not wake the thread meanwhile (it is not waiting), unless they fill
            // half the queue.
            s->gathering = true;
            s->wake.wait_for(lock, kGather, [&] { return s->closing || s->hurry; });
            s->gathering = false;
            s->hurry = false;
        }
        batch.clear();
        batch.swap(s->queue); // the queue goes on in the last batch's buffer
        s->queuedLines = 0;
        s->queuedBytes = 0;
        // The lines dropped so far came after the queued ones: their mark follows them.
        const size_t dropped = std::exchange(s->dropped, 0);
        s->writing = true;
        lock.unlock();

        if (dropped > 0) {
            batch.append(AsyncLineWriter::droppedMark(dropped)).push_back('\n');
        }
        if (!readerGone) {
            readerGone = !writeAll(s->fd, batch);
        }
        if (batch.capacity() > 256 * 1024) {
            std::string().swap(batch); // a burst's buffer is not kept
        }

        lock.lock();
        s->writing = false;
        s->settled.notify_all();
    }
    s->ended = true;
    s->settled.notify_all();
}

// The lines a thread that runs an event loop writes during one turn of it: they gather in a
// buffer of the thread's own and go to the writer's queue together, when the turn is over (or
// when they fill the buffer). The queue's lock is taken once a turn, not once a line, and the
// buffer is touched by this thread alone.
struct Lane {
    static constexpr size_t kMaxBytes = 16 * 1024;

    std::shared_ptr<AsyncLineWriter::State> state; // the writer the lines are for
    std::string text;
    size_t lines = 0;
    bool deferred = false;

    ~Lane() { pass(); }

    void pass() noexcept
    {
        if (lines == 0) {
            return;
        }
        try {
            state->queueLines(lines, text.size() - lines,
                              [this](char* out) { std::memcpy(out, text.data(), text.size()); });
        } catch (...) {
            // Out of memory: these lines are lost, the next ones try again.
        }
        text.clear();
        lines = 0;
    }

    static Lane& mine()
    {
        thread_local Lane lane;
        return lane;
    }

    static void passMine()
    {
        Lane& lane = mine();
        lane.deferred = false;
        lane.pass();
    }
};

} // namespace

AsyncLineWriter::AsyncLineWriter(int fd, Limits limits) : m_state(std::make_shared<State>(fd, limits))
{
    m_thread = std::thread([state = m_state] { run(state); });
}

AsyncLineWriter::~AsyncLineWriter()
{
    std::unique_lock lock(m_state->mutex);
    m_state->closing = true;
    m_state->wake.notify_all();
    const bool ended =
        m_state->settled.wait_for(lock, std::chrono::milliseconds(500), [&] { return m_state->ended; });
    lock.unlock();
    if (ended) {
        m_thread.join();
    } else {
        m_thread.detach(); // stuck on a reader that does not read; it holds its own state
    }
}

void AsyncLineWriter::write(std::string line)
{
    write({}, line);
}

void AsyncLineWriter::write(std::string_view prefix, std::string_view line)
{
    struct Pieces {
        std::string_view prefix;
        std::string_view line;
    } pieces{prefix, line};
    write(
        prefix.size() + line.size(),
        [](char* out, const void* context) {
            const auto& p = *static_cast<const Pieces*>(context);
            std::memcpy(out, p.prefix.data(), p.prefix.size());
            std::memcpy(out + p.prefix.size(), p.line.data(), p.line.size());
        },
        &pieces);
}

void AsyncLineWriter::write(size_t size, Fill fill, const void* context)
{
    if (LoopTurn::active()) {
        Lane& lane = Lane::mine();
        if (lane.state != m_state) {
            lane.pass(); // lines for another writer go first
            lane.state = m_state;
        }
        const size_t at = lane.text.size();
        lane.text.resize(at + size + 1);
        fill(lane.text.data() + at, context);
        lane.text.back() = '\n';
        ++lane.lines;
        // A lane always fits into an empty queue: it passes its lines on at a quarter of it.
        const Limits& limits = m_state->limits;
        if (lane.text.size() >= std::min(Lane::kMaxBytes, limits.maxBytes / 4) ||
            4 * lane.lines >= limits.maxLines) {
            lane.pass();
            if (lane.text.capacity() > 4 * Lane::kMaxBytes) {
                std::string().swap(lane.text); // a long line's room is not kept
            }
        } else if (!lane.deferred) {
            lane.deferred = LoopTurn::defer(&Lane::passMine);
        }
        return;
    }
    m_state->queueLines(1, size, [&](char* out) {
        fill(out, context);
        out[size] = '\n';
    });
}

bool AsyncLineWriter::flush(std::chrono::milliseconds bound)
{
    std::unique_lock lock(m_state->mutex);
    if (m_state->gathering) {
        m_state->hurry = true; // the lines go out now
        m_state->wake.notify_one();
    }
    return m_state->settled.wait_for(lock, bound, [&] { return m_state->idle() || m_state->ended; });
}

std::string AsyncLineWriter::droppedMark(size_t count)
{
    return std::to_string(count) + (count == 1 ? " line dropped" : " lines dropped");
}

} // namespace kestrelon
