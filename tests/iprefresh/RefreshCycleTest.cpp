// The refresh cycle and its pass on in-process clients and an injected clock: the log lines
// character for character, the mails, the files on the FTP server and on disk, the countdown.
#include "IpRefreshFixture.h"

#include "iprefresh/IpLookup.h"
#include "iprefresh/RefreshCycle.h"

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

const std::string kHost = "ftp.example.test";

} // namespace

TEST_F(IpRefreshTest, PassUploadsMailsRefillsAndRestartsTheServer)
{
    setUpSite(2, 1);
    change([](Settings& s) { s.DNS.Sendmail = true; });
    echoAnswers("203.0.113.7");
    server.isRunning = true;
    RefreshCycle& cycle = make().cycle();
    cycle.startOrUpdate(); // interval 0: one check, and the address is new
    settle();
    EXPECT_EQ(logTexts(),
              (std::vector<std::string>{" :Connecting to " + kHost, " :Connected to " + kHost,
                                        " : PUT - /htdocs/page1.htm", " : PUT - /htdocs/page2.htm",
                                        " : Uploaded IP - 203.0.113.7", " : Disconnected",
                                        " : Updated - " + dir.path() + "/site/local1.htm"}));
    EXPECT_EQ(ftp.files["/htdocs/page2.htm"], "ip=203.0.113.7\r\n");
    EXPECT_EQ(readFile(dir.path() + "/site/local1.htm"), "ip=203.0.113.7\r\n");
    ASSERT_EQ(ftp.accounts.size(), 1u);
    EXPECT_TRUE(ftp.accounts[0].ascii);
    EXPECT_EQ(ftp.accounts[0].user + ":" + ftp.accounts[0].password, "web:secret");
    EXPECT_EQ(stored().FTP.LastUploaded, "203.0.113.7");
    EXPECT_EQ(stored().DNS.IP, "203.0.113.7");
    EXPECT_EQ(shown().uploadedIP, "203.0.113.7");
    EXPECT_TRUE(shown().lampLime);
    EXPECT_EQ(shown().statusText, "");
    EXPECT_EQ(server.restarts, 1);
    ASSERT_EQ(mailer.sent.size(), 1u);
    EXPECT_NE(mailer.sent[0].body.find("\r\n203.0.113.7\r\n"), std::string::npos);

    // "Upload" with the same address uploads again but mails nothing.
    cycle.upload();
    settle();
    EXPECT_EQ(ftp.sessions, 2);
    EXPECT_EQ(log.lines().at(11).substr(stamp.size()), " : Uploaded IP - 203.0.113.7");
    EXPECT_EQ(mailer.sent.size(), 1u);

    // Without the log box only the Uploaded line is written; a full log is emptied first; a
    // stopped server is not started.
    change([](Settings& s) { s.Remote.FTPLog = false; });
    for (size_t i = 0; i <= LineLog::kMaxLines; ++i) {
        log.append("old");
    }
    server.isRunning = false;
    cycle.upload();
    settle();
    EXPECT_EQ(logTexts(), std::vector<std::string>{" : Uploaded IP - 203.0.113.7"});
    EXPECT_EQ(server.restarts, 2);
}

TEST_F(IpRefreshTest, PassFailuresAndInvalidAddresses)
{
    setUpSite(1, 1);
    change([](Settings& s) { s.DNS.Sendmail = true; });
    RefreshCycle& cycle = make().cycle();
    refresh->state().change([](auto& f) { f.currentIP = IpRefreshState::kUnknown; });
    cycle.upload();
    settle();
    EXPECT_EQ(logTexts(), std::vector<std::string>{" : Invalid IP - UNKNOWN"});
    EXPECT_EQ(ftp.sessions, 0);

    // A refused login mails the failure instead of the address; the local pair is still refilled.
    log.clear();
    ftp.refuseLogins = 1;
    refresh->state().change([](auto& f) { f.currentIP = "198.51.100.4"; });
    cycle.upload();
    settle();
    EXPECT_EQ(logTexts(), (std::vector<std::string>{" :Connecting to " + kHost, " : Upload Error",
                                                    " : Updated - " + dir.path() + "/site/local1.htm"}));
    ASSERT_EQ(mailer.sent.size(), 1u);
    EXPECT_NE(mailer.sent[0].body.find("\r\nFailed FTP session: Error\r\n"), std::string::npos);
    EXPECT_EQ(shown().uploadedIP, "Error");
    EXPECT_EQ(stored().FTP.LastUploaded, "");
    EXPECT_EQ(stored().DNS.IP, "");
    EXPECT_FALSE(shown().lampLime);

    // A failed transfer after the login closes the session; a failed mail goes to the Message log.
    log.clear();
    ftp.failStoreOf = "/htdocs/page1.htm";
    mailer.failWith = "Failed to connect to mail.example.test";
    cycle.upload();
    settle();
    EXPECT_EQ(logTexts()[2], " : Upload Error");
    EXPECT_EQ(logTexts()[3], " : Disconnected");
    EXPECT_EQ(messageLog.back(), "DNS Report: Email error: Failed to connect to mail.example.test");

    // With "Enable FTP" off a new address is mailed once, and nothing is uploaded or refilled.
    log.clear();
    mailer.failWith.clear();
    change([](Settings& s) { s.FTP.EnableFTP = false; });
    cycle.upload();
    settle();
    cycle.upload();
    settle();
    EXPECT_EQ(mailer.sent.size(), 3u);
    EXPECT_NE(mailer.sent.back().body.find("\r\n198.51.100.4\r\n"), std::string::npos);
    EXPECT_EQ(log.lineCount(), 0u);
    EXPECT_EQ(ftp.sessions, 2);
    EXPECT_FALSE(shown().lampLime);

    // An output that cannot be written ends the pass with a message.
    change([&](Settings& s) {
        s.FTP.EnableFTP = true;
        s.localTemplates[0].outputFile = dir.path() + "/missing/local.htm";
    });
    ftp.failStoreOf.clear();
    server.isRunning = true;
    cycle.upload();
    settle();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Unable to write " + QString::fromStdString(dir.path())));
    EXPECT_EQ(server.restarts, 0);
}

TEST_F(IpRefreshTest, StartUpdateStopAndTheirRefusals)
{
    echoAnswers("203.0.113.7");
    change([](Settings& s) { s.FTP.LastUploaded = "203.0.113.7"; });
    RefreshCycle& cycle = make().cycle();
    cycle.startOrUpdate();
    settle();
    EXPECT_EQ(logTexts(), std::vector<std::string>{": Update not required"});
    EXPECT_EQ(shown().countdownText, "Manual");
    EXPECT_FALSE(cycle.ticking());
    EXPECT_TRUE(shown().lampLime);

    // Interval 5 with an echo service becomes 10; a failure of Start's own lookup is not counted.
    echoFails();
    change([](Settings& s) { s.FTP.Interval = 5; });
    cycle.startOrUpdate();
    settle();
    EXPECT_EQ(stored().FTP.Interval, 10);
    EXPECT_TRUE(cycle.ticking());
    EXPECT_TRUE(shown().running);
    EXPECT_FALSE(shown().startEnabled || shown().intervalEnabled);
    EXPECT_FALSE(shown().failureFlag);
    EXPECT_EQ(shown().countdownText, "10");
    EXPECT_EQ(logTexts()[2], ": Started IP-Refresh.");
    EXPECT_EQ(logTexts().back(), " : Invalid IP - Error");

    // Emptying the host stops the ticks and shows UNKNOWN; the state stays Running until Stop.
    change([](Settings& s) { s.FTP.EnableFTP = true; });
    EXPECT_NE(cycle.CheckFiles(), "");
    EXPECT_FALSE(cycle.ticking());
    EXPECT_EQ(shown().currentIP, "UNKNOWN");
    EXPECT_TRUE(shown().running);
    cycle.stop();
    EXPECT_FALSE(shown().running);
    EXPECT_TRUE(shown().startEnabled && shown().intervalEnabled && !shown().stopEnabled);

    messages.clear();
    cycle.startOrUpdate();
    settle();
    EXPECT_EQ(messages, QStringList{"Local Filename is not specified."});
    change([](Settings& s) {
        s.FTP.EnableFTP = false;
        s.System.Debug = true;
    });
    size_t requests = pages.requests.size();
    cycle.startOrUpdate();
    settle();
    EXPECT_EQ(messages.back(), RefreshCycle::kDebugRefusal);
    EXPECT_EQ(pages.requests.size(), requests);
    EXPECT_FALSE(shown().running);
}

TEST_F(IpRefreshTest, StartAtStartupAndNoLookup)
{
    echoAnswers("203.0.113.7");
    setUpSite(1, 0);
    change([](Settings& s) {
        s.FTP.AutoStart = true;
        s.FTP.ConfirmLocal = false;
    });
    make().startAtStartup(true);
    settle();
    EXPECT_TRUE(pages.requests.empty()) << "noauto";
    refresh->startAtStartup(false);
    settle();
    EXPECT_EQ(pages.requests.size(), 1u);
    EXPECT_EQ(ftp.sessions, 1);
    EXPECT_FALSE(refresh->cycle().ticking());

    noLookup = true;
    change([](Settings& s) { s.FTP.Interval = 15; });
    make().startAtStartup(false);
    settle();
    EXPECT_EQ(pages.requests.size(), 1u);
    EXPECT_TRUE(shown().running);
    EXPECT_EQ(ftp.sessions, 1) << "nothing was looked up, so nothing changed";
}

TEST_F(IpRefreshTest, FullCycleWithChangesBackoffAndARefusedLogin)
{
    setUpSite(2, 1);
    change([](Settings& s) {
        s.FTP.Interval = 15;
        s.DNS.Sendmail = true;
    });
    echoAnswers("203.0.113.10");
    RefreshCycle& cycle = make().cycle();
    std::vector<std::string> countdowns;
    QObject::connect(&refresh->state(), &IpRefreshState::changed,
                     [&] { countdowns.push_back(shown().countdownText); });
    cycle.startOrUpdate();
    settle();
    EXPECT_EQ(ftp.files["/htdocs/page1.htm"], "ip=203.0.113.10\r\n");
    EXPECT_EQ(cycle.countdown(), 15);

    // An unchanged address at the expiry uploads nothing; a changed one is uploaded.
    ticks(14);
    EXPECT_EQ(countdowns.back(), "0 hr : 1 min");
    ticks(1);
    EXPECT_EQ(pages.requests.size(), 2u);
    EXPECT_EQ(ftp.sessions, 1);
    EXPECT_EQ(countdowns.back(), "15");
    echoAnswers("203.0.113.20");
    ticks(15);
    EXPECT_EQ(ftp.sessions, 2);

    // Two failed lookups in a row stretch the next interval to 22; no upload of "Error".
    echoFails();
    ticks(15);
    EXPECT_EQ(cycle.countdown(), 15);
    ticks(15);
    EXPECT_EQ(cycle.countdown(), 22);
    EXPECT_EQ(ftp.sessions, 2);

    // The address changes while the server refuses the login once: the failure is mailed, the
    // Uploaded IP panel reads "Error", and the next expiry uploads again.
    echoAnswers("203.0.113.30");
    ftp.refuseLogins = 1;
    ticks(21);
    EXPECT_EQ(ftp.sessions, 2);
    ticks(1);
    EXPECT_EQ(ftp.sessions, 3);
    EXPECT_EQ(shown().uploadedIP, "Error");
    EXPECT_EQ(cycle.countdown(), 15) << "the lookup succeeded: back to the interval";
    ticks(15);
    EXPECT_EQ(ftp.sessions, 4);
    EXPECT_EQ(shown().uploadedIP, "203.0.113.30");
    EXPECT_TRUE(shown().lampLime);

    for (const auto& [name, content] : ftp.files) {
        EXPECT_EQ(content, "ip=203.0.113.30\r\n") << name;
    }
    EXPECT_EQ(readFile(dir.path() + "/site/local1.htm"), "ip=203.0.113.30\r\n");
    std::vector<std::string> mailed;
    for (const auto& mail : mailer.sent) {
        mailed.push_back(mail.body.substr(mail.body.find(": \r\n") + 4,
                                          mail.body.rfind("\r\n") - mail.body.find(": \r\n") - 4));
    }
    EXPECT_EQ(mailed, (std::vector<std::string>{"203.0.113.10", "203.0.113.20", "Failed FTP session: Error",
                                                "203.0.113.30"}));
    EXPECT_EQ(std::ranges::count(log.lines(), stamp + "Error retrieving external IP address"), 2);
}

TEST_F(IpRefreshTest, IntervalOfOneMinuteAndItsCountdownTexts)
{
    echoAnswers("203.0.113.7");
    change([](Settings& s) {
        s.Router.External = false;
        s.Router.UserDefined = true;
        s.FTP.Interval = 1;
        s.FTP.LastUploaded = "10.9.8.7";
    });
    pages.pages["http://192.168.50.1/status.htm"] = "WAN: 10.9.8.7";
    RefreshCycle& cycle = make().cycle();
    refresh->state().change(
        [](auto& f) { f.router = {"192.168.50.1/status.htm", "WAN:", "0", false, "", ""}; });
    std::vector<std::string> countdowns;
    QObject::connect(&refresh->state(), &IpRefreshState::changed,
                     [&] { countdowns.push_back(shown().countdownText); });
    cycle.startOrUpdate();
    settle();
    EXPECT_EQ(stored().FTP.Interval, 1) << "a router on the LAN may be read every minute";
    cycle.minuteTick();
    settle();
    EXPECT_EQ(pages.requests.size(), 2u);
    ASSERT_GE(countdowns.size(), 2u);
    EXPECT_EQ(countdowns[countdowns.size() - 2], "0 hr : 0 min");
    EXPECT_EQ(countdowns.back(), "1");

    change([](Settings& s) { s.FTP.Interval = 0; });
    cycle.intervalChanged();
    EXPECT_FALSE(cycle.ticking());
    EXPECT_EQ(shown().countdownText, "Manual");
}

TEST_F(IpRefreshTest, TicksAndClicksWaitForTheRunningJob)
{
    setUpSite(1, 0);
    change([](Settings& s) {
        s.FTP.Interval = 2;
        s.Router.External = false;
        s.Router.UserDefined = true;
        s.FTP.ConfirmLocal = false;
    });
    pages.pages["http://10.0.0.1/s.htm"] = "WAN 203.0.113.5";
    RefreshCycle& cycle = make().cycle();
    refresh->state().change([](auto& f) { f.router = {"10.0.0.1/s.htm", "WAN", "0", false, "", ""}; });
    cycle.startOrUpdate();
    settle();
    ticks(1);
    cycle.minuteTick(); // the expiry: its lookup runs
    EXPECT_TRUE(cycle.busy());
    cycle.minuteTick();
    cycle.minuteTick();
    cycle.upload();
    cycle.startOrUpdate();
    settle();
    EXPECT_EQ(pages.requests.size(), 2u);
    EXPECT_EQ(ftp.sessions, 1);
    EXPECT_EQ(cycle.countdown(), 2) << "the ticks during the job did not count";

    // Shutdown with a pass under way ends it within its bound.
    cycle.upload();
    EXPECT_TRUE(refresh->shutdown(std::chrono::seconds(5)));
}
