// The mail queue against a real SMTP server and stuck ones on 127.0.0.1.
#include "net/MailQueue.h"
#include "support/ServerFixture.h"
#include "support/SmtpTestServer.h"
#include "support/StuckSmtpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// What became of each mail posted through it, in the order the reports came.
class Outcomes {
public:
    MailQueue::Done record(std::string name)
    {
        return [this, name](const std::string& error) {
            std::lock_guard lock(m_mutex);
            m_reports.emplace_back(name, error);
        };
    }
    std::vector<std::pair<std::string, std::string>> reports() const
    {
        std::lock_guard lock(m_mutex);
        return m_reports;
    }
    std::string of(const std::string& name) const
    {
        for (const auto& [n, error] : reports()) {
            if (n == name) {
                return error;
            }
        }
        return "(no report)";
    }
    size_t count() const { return reports().size(); }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, std::string>> m_reports;
};

SmtpAccount patientAccount(const std::string& server)
{
    SmtpAccount a;
    a.server = server;
    a.connectTimeoutMs = a.responseTimeoutMs = a.timeoutMs = 10 * 60 * 1000;
    return a;
}

MailMessage message(const std::string& body)
{
    return {"kestrelon@example.org", "owner@example.org", "Test", body};
}

} // namespace

TEST(MailQueue, MailsGoOutBesideAStuckOneAndTheCapRefusesTheRest)
{
    SmtpTestServer good;
    StuckSmtpServer stuck(StuckSmtpServer::Mode::StallAfterData);
    Outcomes outcomes;
    MailQueue queue({.threads = 2, .capacity = 3});

    EXPECT_TRUE(queue.post(patientAccount(stuck.address()), message("stuck"), outcomes.record("stuck")));
    ASSERT_TRUE(waitFor([&] { return stuck.stalledMessages() == 1; }));
    SmtpAccount account;
    account.server = good.address();
    EXPECT_TRUE(queue.post(account, message("good"), outcomes.record("good")));
    ASSERT_TRUE(good.waitForMessages(1));
    ASSERT_TRUE(waitFor([&] { return outcomes.count() == 1; }));
    EXPECT_EQ(outcomes.of("good"), "");

    // Three places: the stuck mail and two more; the fourth is refused at once, with its report.
    EXPECT_TRUE(queue.post(patientAccount(stuck.address()), message("second"), outcomes.record("second")));
    EXPECT_TRUE(queue.post(patientAccount(stuck.address()), message("third"), outcomes.record("third")));
    EXPECT_FALSE(queue.post(account, message("refused"), outcomes.record("refused")));
    EXPECT_EQ(outcomes.of("refused"), MailQueue::kQueueFull);
    EXPECT_EQ(queue.pending(), 3u);

    queue.stop();
    EXPECT_EQ(outcomes.count(), 5u);
    for (const char* name : {"stuck", "second", "third"}) {
        EXPECT_EQ(outcomes.of(name), MailQueue::kCancelled) << name;
    }
    EXPECT_EQ(good.messageCount(), 1u);
}

TEST(MailQueue, StopGivesUpStuckAndWaitingMailsAtOnceAndRefusesLaterOnes)
{
    StuckSmtpServer neverGreets(StuckSmtpServer::Mode::NeverGreet);
    StuckSmtpServer stalls(StuckSmtpServer::Mode::StallAfterData);
    Outcomes outcomes;
    MailQueue queue({.threads = 2, .capacity = 10});
    queue.post(patientAccount(neverGreets.address()), message("a"), outcomes.record("greeting"));
    queue.post(patientAccount(stalls.address()), message("b"), outcomes.record("data"));
    queue.post(patientAccount(stalls.address()), message("c"), outcomes.record("waiting"));
    ASSERT_TRUE(waitFor([&] { return neverGreets.connections() == 1 && stalls.stalledMessages() == 1; }));

    // Within the shutdown's five seconds, for dialogues stuck anywhere.
    auto start = std::chrono::steady_clock::now();
    queue.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    for (const char* name : {"greeting", "data", "waiting"}) {
        EXPECT_EQ(outcomes.of(name), MailQueue::kCancelled) << name;
    }
    EXPECT_EQ(stalls.connections(), 1) << "the waiting mail never started";

    EXPECT_FALSE(queue.post(patientAccount(stalls.address()), message("late"), outcomes.record("late")));
    EXPECT_EQ(outcomes.of("late"), MailQueue::kCancelled);
    queue.stop(); // again: nothing happens
    EXPECT_EQ(outcomes.count(), 4u);
}
