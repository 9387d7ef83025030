#include "iprefresh/QueuedChangeMailer.h"

#include "net/MailQueue.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace kestrelon {

namespace {

// Shared with the queue's report, which may come after the sender stopped waiting.
struct Outcome {
    std::mutex mutex;
    std::condition_variable_any reported;
    bool done = false;
    std::string error;
};

} // namespace

std::string QueuedChangeMailer::send(const ChangeMail& mail, std::stop_token stop)
{
    SmtpAccount account;
    account.server = mail.server;
    account.login = mail.login;
    account.user = mail.user;
    account.password = mail.password;
    account.connectTimeoutMs = mail.connectTimeoutMs;
    auto outcome = std::make_shared<Outcome>();
    m_queue.post(std::move(account), {mail.from, mail.to, mail.subject, mail.body},
                 [outcome](const std::string& error) {
                     std::lock_guard lock(outcome->mutex);
                     outcome->done = true;
                     outcome->error = error;
                     outcome->reported.notify_all();
                 });
    std::unique_lock lock(outcome->mutex);
    if (!outcome->reported.wait(lock, stop, [&] { return outcome->done; })) {
        return MailQueue::kCancelled;
    }
    return outcome->error;
}

} // namespace kestrelon
