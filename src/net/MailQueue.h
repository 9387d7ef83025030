#pragma once

#include "net/MailSender.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace kestrelon {

// Where the program's mails go out (the feedback form's and the IP-change mail): on a few threads
// of their own, so a stuck SMTP server costs only its own mails their time-outs, never a request
// step, the window or the shutdown. The queue holds a bounded number of mails; a mail beyond it
// is refused at once. stop() cancels what is being sent and drops what waits.
class MailQueue {
public:
    struct Limits {
        unsigned threads = 2;
        size_t capacity = 32; // mails waiting or being sent
    };

    // What became of a mail: the empty text when it was sent, else why not (the caller logs it).
    using Done = std::function<void(const std::string& error)>;

    static constexpr const char* kQueueFull = "Not sent: too many mails are waiting to go out";
    static constexpr const char* kCancelled = "Not sent: the program is shutting down";

    MailQueue() : MailQueue(Limits{}) {}
    explicit MailQueue(Limits limits);
    // Stops first.
    ~MailQueue();
    MailQueue(const MailQueue&) = delete;
    MailQueue& operator=(const MailQueue&) = delete;

    // Any thread; never blocks. Queues the mail and returns true; done runs on a mail thread once
    // it was sent or failed. When the queue is full or stopped, done(kQueueFull or kCancelled)
    // runs at once on the calling thread and the result is false.
    bool post(SmtpAccount account, MailMessage message, Done done);

    // The owner's thread (the main thread). Cancels the mails being sent (each ends within two
    // seconds), drops the waiting ones; done(kCancelled) runs for each, and returns once every
    // mail thread has ended. Later posts are refused. Idempotent.
    void stop();

    // Mails waiting or being sent; any thread.
    size_t pending() const;

private:
    struct Mail {
        SmtpAccount account;
        MailMessage message;
        Done done;
    };
    void run();

    const Limits m_limits;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Mail> m_waiting;
    size_t m_sending = 0;
    bool m_stopped = false;
    std::stop_source m_stop;
    std::vector<std::thread> m_threads;
};

} // namespace kestrelon
