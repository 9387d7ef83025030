#include "core/SerialJobRunner.h"

#include <QMetaObject>

namespace kestrelon {

void SerialJobRunner::Context::post(std::function<void()> fn) const
{
    QMetaObject::invokeMethod(m_runner, std::move(fn), Qt::QueuedConnection);
}

SerialJobRunner::SerialJobRunner(QObject* parent) : QObject(parent)
{
    m_worker = std::jthread([this](std::stop_token stop) { workerLoop(stop); });
}

SerialJobRunner::~SerialJobRunner()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_queue.clear();
        m_jobStop.request_stop();
    }
    m_worker.request_stop();
    m_wake.notify_all();
    m_worker.join();
}

bool SerialJobRunner::start(Job job)
{
    if (m_pending > 0) {
        return false;
    }
    enqueue(std::move(job));
    return m_pending > 0;
}

void SerialJobRunner::enqueue(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) {
            return;
        }
        m_queue.push_back(std::move(job));
    }
    ++m_pending;
    m_wake.notify_one();
}

void SerialJobRunner::cancel()
{
    std::lock_guard lock(m_mutex);
    // Dropped jobs never run; their end is reported as for the others, so busy() falls.
    for (size_t i = 0; i < m_queue.size(); ++i) {
        QMetaObject::invokeMethod(this, &SerialJobRunner::jobEnded, Qt::QueuedConnection);
    }
    m_queue.clear();
    m_jobStop.request_stop();
}

bool SerialJobRunner::shutdown(std::chrono::milliseconds bound)
{
    std::unique_lock lock(m_mutex);
    m_closed = true;
    m_queue.clear();
    m_jobStop.request_stop();
    return m_ended.wait_for(lock, bound, [this] { return !m_running; });
}

void SerialJobRunner::jobEnded()
{
    if (m_pending > 0 && --m_pending == 0) {
        Q_EMIT idle();
    }
}

void SerialJobRunner::workerLoop(std::stop_token stop)
{
    std::unique_lock lock(m_mutex);
    while (!stop.stop_requested()) {
        m_wake.wait(lock, stop, [this] { return !m_queue.empty(); });
        if (m_queue.empty()) {
            continue;
        }
        Job job = std::move(m_queue.front());
        m_queue.pop_front();
        if (m_jobStop.stop_requested()) {
            m_jobStop = std::stop_source(); // a cancel before this job was queued does not reach it
        }
        Context context(this, m_jobStop.get_token());
        m_running = true;
        lock.unlock();
        try {
            job(context);
        } catch (...) {
            // A job reports its own failures; one that throws still ends here and not the thread.
        }
        job = nullptr; // its captures go on this thread, before the end is reported
        lock.lock();
        m_running = false;
        m_ended.notify_all();
        // Queued behind everything the job posted.
        QMetaObject::invokeMethod(this, &SerialJobRunner::jobEnded, Qt::QueuedConnection);
    }
}

} // namespace kestrelon
