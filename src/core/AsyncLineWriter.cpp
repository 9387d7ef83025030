#include "core/AsyncLineWriter.h"

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <deque>
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
    std::deque<std::string> queue;
    size_t queuedBytes = 0;
    size_t dropped = 0;
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

void run(const std::shared_ptr<AsyncLineWriter::State>& s)
{
    // A write to a pipe whose reader has gone must not end the program: the signal stays blocked
    // (and pending) on this thread, and the write fails with EPIPE instead.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    bool readerGone = false;
    std::unique_lock lock(s->mutex);
    while (true) {
        s->wake.wait(lock, [&] { return !s->queue.empty() || s->dropped > 0 || s->closing; });
        if (s->queue.empty() && s->dropped == 0) {
            break; // closing, and all written
        }
        std::deque<std::string> batch;
        batch.swap(s->queue);
        s->queuedBytes = 0;
        // The lines dropped so far came after the queued ones: their mark follows them.
        const size_t dropped = std::exchange(s->dropped, 0);
        s->writing = true;
        lock.unlock();

        std::string text;
        for (const std::string& line : batch) {
            text.append(line).push_back('\n');
        }
        if (dropped > 0) {
            text.append(AsyncLineWriter::droppedMark(dropped)).push_back('\n');
        }
        if (!readerGone) {
            readerGone = !writeAll(s->fd, text);
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
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    if (s.queue.size() >= s.limits.maxLines || s.queuedBytes + line.size() > s.limits.maxBytes) {
        ++s.dropped;
        s.wake.notify_one();
        return;
    }
    s.queuedBytes += line.size();
    s.queue.push_back(std::move(line));
    s.wake.notify_one();
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
