#pragma once

#include <QObject>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace kestrelon {

// Runs an owner's network work (a time query, an upload, a lookup, a mail) one job at a time on a
// worker thread of its own, so the window never waits for a peer and two jobs of one feature never
// overlap. A job is straight-line code; it hands results and log lines back with Context::post,
// which runs them on the runner's thread (the main thread) in the order posted. The job's stop
// token is raised by cancel() and at shutdown: every wait inside a job must give up when it is.
//
// Threads: the runner lives on the main thread; start, enqueue, busy, cancel and shutdown are
// called there. Jobs run on the worker thread.
class SerialJobRunner : public QObject {
    Q_OBJECT
public:
    class Context {
    public:
        std::stop_token stopToken() const { return m_stop; }
        bool stopRequested() const { return m_stop.stop_requested(); }
        // Runs fn on the runner's thread after everything posted before it. Dropped when the
        // runner is gone by then.
        void post(std::function<void()> fn) const;

    private:
        friend class SerialJobRunner;
        Context(SerialJobRunner* runner, std::stop_token stop) : m_runner(runner), m_stop(std::move(stop)) {}
        SerialJobRunner* m_runner;
        std::stop_token m_stop;
    };
    using Job = std::function<void(Context&)>;

    explicit SerialJobRunner(QObject* parent = nullptr);
    // Cancels what is queued and running and waits for the running job to give up.
    ~SerialJobRunner() override;

    // Starts job unless one is running or waiting: then it is skipped and false comes back (a tick
    // or a click while a job runs does nothing).
    bool start(Job job);
    // Queues job behind the running and waiting ones (where a request must wait its turn).
    void enqueue(Job job);
    // A job is running or waiting. Stays true until the last job's posts have run.
    bool busy() const { return m_pending > 0; }
    // Drops the waiting jobs and asks the running one to stop.
    void cancel();
    // cancel(), then waits up to bound for the running job to end. True when no job runs any more.
    // Afterwards nothing new is started.
    bool shutdown(std::chrono::milliseconds bound);

Q_SIGNALS:
    // The last job has ended and everything it posted has run.
    void idle();

private:
    void workerLoop(std::stop_token stop);
    void jobEnded();

    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::condition_variable m_ended;
    std::deque<Job> m_queue;
    std::stop_source m_jobStop;
    bool m_running = false;
    bool m_closed = false;
    int m_pending = 0; // main thread: jobs started and not yet reported ended
    // Last: stopped and joined before the members it uses go.
    std::jthread m_worker;
};

} // namespace kestrelon
