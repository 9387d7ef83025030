#pragma once

#include "iprefresh/ChangeMailer.h"

namespace kestrelon {

class MailQueue;

// The address-change mail through the program's mail queue, where every mail goes out: the
// queue's cap holds for it, and the shutdown gives it up with the others. The refresh pass still
// waits for the outcome, so its Message log line comes in the pass's order.
class QueuedChangeMailer : public ChangeMailer {
public:
    explicit QueuedChangeMailer(MailQueue& queue) : m_queue(queue) {}

    // A job's worker thread. Returns once the queue reports the mail sent or failed, or at once
    // when the stop is requested (the mail is then left to the queue's own shutdown).
    std::string send(const ChangeMail& mail, std::stop_token stop) override;

private:
    MailQueue& m_queue;
};

} // namespace kestrelon
