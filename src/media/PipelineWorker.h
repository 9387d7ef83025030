#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace kestrelon {

// One thread that runs a capture's state changes and pipeline edits in the order they are posted,
// so the main thread never waits for a device. A job must not refer to the object that posted it:
// it carries references to what it works on. Jobs never throw out of the thread.
class PipelineWorker {
public:
    // How long the destructor waits for the jobs still queued (the device being closed).
    static constexpr std::chrono::milliseconds kShutdownWait{3000};

    PipelineWorker();
    // Runs the jobs still queued, waiting at most kShutdownWait; a device that hangs longer is left
    // to the thread, which ends with the program.
    ~PipelineWorker();
    PipelineWorker(const PipelineWorker&) = delete;
    PipelineWorker& operator=(const PipelineWorker&) = delete;

    // Any thread.
    void post(std::function<void()> job);
    // Any thread but the worker's: waits until every job posted so far has run; false when the time
    // ran out first.
    bool waitIdle(std::chrono::milliseconds timeout);

    // The jobs and the thread's state, shared with the thread so it may outlive the worker.
    struct Queue;

private:
    std::shared_ptr<Queue> m_queue;
};

} // namespace kestrelon
