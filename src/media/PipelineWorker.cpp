#include "media/PipelineWorker.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace kestrelon {

struct PipelineWorker::Queue {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void()>> jobs;
    bool busy = false;
    bool stopping = false;
    bool finished = false;
};

namespace {

void runJobs(const std::shared_ptr<PipelineWorker::Queue>& queue)
{
    std::unique_lock lock(queue->mutex);
    for (;;) {
        queue->wake.wait(lock, [&] { return queue->stopping || !queue->jobs.empty(); });
        if (queue->jobs.empty()) {
            break; // stopping, and nothing left to do
        }
        auto job = std::move(queue->jobs.front());
        queue->jobs.pop_front();
        queue->busy = true;
        lock.unlock();
        try {
            job();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "camera: a pipeline job failed: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "camera: a pipeline job failed\n");
        }
        job = nullptr; // drop what it holds before the queue reports idle
        lock.lock();
        queue->busy = false;
        if (queue->jobs.empty()) {
            queue->idle.notify_all();
        }
    }
    queue->finished = true;
    queue->idle.notify_all();
}

} // namespace

PipelineWorker::PipelineWorker() : m_queue(std::make_shared<Queue>())
{
    std::thread([queue = m_queue] { runJobs(queue); }).detach();
}

PipelineWorker::~PipelineWorker()
{
    std::unique_lock lock(m_queue->mutex);
    m_queue->stopping = true;
    m_queue->wake.notify_all();
    if (!m_queue->idle.wait_for(lock, kShutdownWait, [&] { return m_queue->finished; })) {
        std::fprintf(stderr, "camera: a video device did not close in time; leaving it behind\n");
    }
}

void PipelineWorker::post(std::function<void()> job)
{
    std::lock_guard lock(m_queue->mutex);
    m_queue->jobs.push_back(std::move(job));
    m_queue->wake.notify_one();
}

bool PipelineWorker::waitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_queue->mutex);
    return m_queue->idle.wait_for(lock, timeout, [&] { return m_queue->jobs.empty() && !m_queue->busy; });
}

} // namespace kestrelon
