#include "net/MailQueue.h"

#include "net/CurlTransfer.h"

#include <algorithm>

namespace kestrelon {

namespace {

// No exception leaves a mail thread: a callback that throws loses only its own report.
void report(const MailQueue::Done& done, const std::string& error) noexcept
{
    if (!done) {
        return;
    }
    try {
        done(error);
    } catch (...) {
    }
}

} // namespace

MailQueue::MailQueue(Limits limits) : m_limits(limits)
{
    const unsigned count = std::max(1u, m_limits.threads);
    for (unsigned i = 0; i < count; ++i) {
        m_threads.emplace_back([this] { run(); });
    }
}

MailQueue::~MailQueue()
{
    stop();
}

bool MailQueue::post(SmtpAccount account, MailMessage message, Done done)
{
    const char* refusal = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped) {
            refusal = kCancelled;
        } else if (m_waiting.size() + m_sending >= std::max<size_t>(1, m_limits.capacity)) {
            refusal = kQueueFull;
        } else {
            m_waiting.push_back({std::move(account), std::move(message), std::move(done)});
        }
    }
    if (refusal) {
        report(done, refusal);
        return false;
    }
    m_wake.notify_one();
    return true;
}

void MailQueue::stop()
{
    std::deque<Mail> dropped;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopped && m_threads.empty()) {
            return;
        }
        m_stopped = true;
        dropped.swap(m_waiting);
    }
    m_stop.request_stop();
    m_wake.notify_all();
    for (const Mail& mail : dropped) {
        report(mail.done, kCancelled);
    }
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
}

size_t MailQueue::pending() const
{
    std::lock_guard lock(m_mutex);
    return m_waiting.size() + m_sending;
}

void MailQueue::run()
{
    const std::stop_token stop = m_stop.get_token();
    while (true) {
        Mail mail;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopped || !m_waiting.empty(); });
            if (m_stopped) {
                return;
            }
            mail = std::move(m_waiting.front());
            m_waiting.pop_front();
            ++m_sending;
        }
        std::string error;
        try {
            error = MailSender::send(mail.account, mail.message, stop);
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = "Unexpected error";
        }
        if (error == CurlTransfer::kCancelled) {
            error = kCancelled;
        }
        report(mail.done, error);
        std::lock_guard lock(m_mutex);
        --m_sending;
    }
}

} // namespace kestrelon
