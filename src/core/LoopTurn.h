#pragma once

#include <functional>
#include <vector>

namespace kestrelon {

// Work that waits until the present turn of the calling thread's event loop is over, so that what
// a turn produced (lines for standard error) goes on once, together. A thread that runs an event
// loop holds a LoopTurn for as long as it runs it; on other threads nothing waits.
class LoopTurn {
public:
    using Task = void (*)();
    // Queues a call behind what the loop has to do now (the handlers that are ready).
    using Post = std::function<void(Task)>;

    // The calling thread runs its loop from now until the object goes; it must go on that thread.
    // Its destructor runs what still waits (the loop has stopped and will not run it).
    explicit LoopTurn(Post post);
    ~LoopTurn();
    LoopTurn(const LoopTurn&) = delete;
    LoopTurn& operator=(const LoopTurn&) = delete;

    // Whether the calling thread runs a loop.
    static bool active();
    // Has task run once the present turn of the calling thread's loop is over; the same task asked
    // for again before then runs once. False when the thread runs no loop: nothing was queued.
    static bool defer(Task task);

private:
    static void runWaiting();

    Post m_post;
    std::vector<Task> m_waiting;
    bool m_posted = false;
    LoopTurn* m_outer;
};

} // namespace kestrelon
