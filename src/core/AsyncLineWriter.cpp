#include "core/AsyncLineWriter.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <pthread.h>
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
    bool waiting = false; // the thread waits for lines: the next one wakes it
    bool writing = false;
    bool closing = false;
    bool ended = false;

    bool idle() const { return queue.empty() && dropped == 0 && !writing; }
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

// How long the thread lets lines gather after the first one woke it: one write for many lines.
constexpr std::chrono::milliseconds kGather{2};

void run(const std::shared_ptr<AsyncLineWriter::State>& s)
{
    // A write to a pipe whose reader has gone must not end the program: the signal stays blocked
    // (and pending) on this thread, and the write fails with EPIPE instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

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
            // The writers do not wake the thread meanwhile: it is not waiting.
            s->wake.wait_for(lock, kGather, [&] { return s->closing; });
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
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    const size_t size = prefix.size() + line.size();
    if (s.queuedLines >= s.limits.maxLines || s.queuedBytes + size > s.limits.maxBytes) {
        ++s.dropped;
    } else {
        s.queuedBytes += size;
        ++s.queuedLines;
        s.queue.append(prefix).append(line).push_back('\n');
    }
    if (s.waiting) {
        s.waiting = false; // one wake-up for the lines until it takes them
        s.wake.notify_one();
    }
}

bool AsyncLineWriter::flush(std::chrono::milliseconds bound)
{
    std::unique_lock lock(m_state->mutex);
    return m_state->settled.wait_for(lock, bound, [&] { return m_state->idle() || m_state->ended; });
}

std::string AsyncLineWriter::droppedMark(size_t count)
{
    return std::to_string(count) + (count == 1 ? " line dropped" : " lines dropped");
}

} // namespace kestrelon
