#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace kestrelon {

// Writes text lines to a file descriptor (standard error, for the headless mirror of the logs) from
// a thread of its own, so that a reader who does not read (a pipe nobody empties, a terminal
// stopped with Ctrl+S) never holds up the threads that log, nor the shutdown. The queue is bounded:
// lines that do not fit are dropped and counted, and once the writer can write again it puts one
// line "N lines dropped" where they were. A reader that has gone (a closed pipe) costs nothing: the
// writer's thread takes no SIGPIPE and drops what it cannot write.
//
// Threads: write() from any thread; it never blocks on the reader. Construction, flush() and the
// destructor belong to the owner's thread.
class AsyncLineWriter {
public:
    struct Limits {
        size_t maxLines = 8192;
        size_t maxBytes = 1024 * 1024;
    };

    explicit AsyncLineWriter(int fd, Limits limits);
    explicit AsyncLineWriter(int fd) : AsyncLineWriter(fd, Limits{}) {}
    // Waits up to half a second for the queue to go out. A writer still stuck on its reader then is left
    // behind; it ends with the process.
    ~AsyncLineWriter();
    AsyncLineWriter(const AsyncLineWriter&) = delete;
    AsyncLineWriter& operator=(const AsyncLineWriter&) = delete;

    // Queues the line (a line end is added), or counts it as dropped when the queue is full.
    // The lines that come within 20 ms of the first go out in one write, sooner when they fill
    // half the queue. On a thread that runs an event loop (LoopTurn), the lines of one turn of it
    // gather in a buffer of the thread's own and reach the queue together when the turn is over.
    void write(std::string line);
    // The same for prefix + line, without putting them together first.
    void write(std::string_view prefix, std::string_view line);
    // The same for a line of `size` bytes that fill(out, context) writes in place: a caller that
    // puts a line together from pieces does it where the line waits, with no copy in between.
    using Fill = void (*)(char* out, const void* context);
    void write(size_t size, Fill fill, const void* context);
    // Waits until everything queued so far has been written, at most bound. True when it was.
    bool flush(std::chrono::milliseconds bound);

    // The line that stands for lines that could not be queued.
    static std::string droppedMark(size_t count);

    struct State; // shared with the thread, which may outlive the object when its reader is stuck

private:
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace kestrelon
