// The mail queue against a real SMTP server and stuck ones on 127.0.0.1.
#include "net/MailQueue.h"
#include "support/ServerFixture.h"
#include "support/SmtpTestServer.h"
#include "support/StuckSmtpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// What became of each mail posted through it, by name.
class Outcomes {
public:
    MailQueue::Done record(std::string name)
    {
        return [this, name](const std::string& error) {
            std::lock_guard lock(m_mutex);
            m_reports[name] = error;
        };
    }
    std::string of(const std::string& name) const
    {
        std::lock_guard lock(m_mutex);
        auto it = m_reports.find(name);
        return it == m_reports.end() ? "(no report)" : it->second;
    }
    size_t count() const
    {
        std::lock_guard lock(m_mutex);
        return m_reports.size();
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_reports;
};

MailMessage message(const std::string& body)
{
    return {"kestrelon@example.org", "owner@example.org", "Test", body};
}

} // namespace

TEST(MailQueue, MailsGoOutBesideStuckOnesTheCapRefusesTheRestAndStopGivesUpTheRemainder)
{
    SmtpTestServer good;
    SmtpAccount goodAccount;
    goodAccount.server = good.address();
    StuckSmtpServer stuck(StuckSmtpServer::Mode::StallAfterData);
    Outcomes outcomes;
    MailQueue queue({.threads = 2, .capacity = 3});

    EXPECT_TRUE(queue.post(patientAccount(stuck.address()), message("stuck"), outcomes.record("stuck")));
    ASSERT_TRUE(waitFor([&] { return stuck.stalledMessages() == 1; }));
    EXPECT_TRUE(queue.post(goodAccount, message("good"), outcomes.record("good")));
    ASSERT_TRUE(good.waitForMessages(1));
    ASSERT_TRUE(waitFor([&] { return outcomes.count() == 1; }));
    EXPECT_EQ(outcomes.of("good"), "");

    // Three places: the stuck mail, one more stuck and one waiting; a fourth is refused at once.
    EXPECT_TRUE(queue.post(patientAccount(stuck.address()), message("b"), outcomes.record("second")));
    ASSERT_TRUE(waitFor([&] { return stuck.stalledMessages() == 2; }));
    EXPECT_TRUE(queue.post(patientAccount(stuck.address()), message("c"), outcomes.record("waiting")));
    EXPECT_FALSE(queue.post(goodAccount, message("refused"), outcomes.record("refused")));
    EXPECT_EQ(outcomes.of("refused"), MailQueue::kQueueFull);

    // Within the shutdown's five seconds; the waiting mail never starts, a later one is refused.
    auto start = std::chrono::steady_clock::now();
    queue.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    for (const char* name : {"stuck", "second", "waiting"}) {
        EXPECT_EQ(outcomes.of(name), MailQueue::kCancelled) << name;
    }
    EXPECT_EQ(stuck.connections(), 2);
    EXPECT_FALSE(queue.post(goodAccount, message("late"), outcomes.record("late")));
    EXPECT_EQ(outcomes.of("late"), MailQueue::kCancelled);
    EXPECT_EQ(outcomes.count(), 6u);
    EXPECT_EQ(good.messageCount(), 1u);
}
