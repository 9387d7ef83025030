#pragma once

// In-process stand-ins for the clients IP-Refresh drives (page fetches, the FTP session, the
// mail sender, the web server), so that the lookup and refresh logic runs on its real job runner
// and injected clocks without a network. The real clients are tested against real servers.
// The stand-ins are called on the job runner's thread, one job at a time; tests read them after
// settle().

#include "core/LocalAddresses.h"
#include "core/ServerControl.h"
#include "core/SettingsModel.h"
#include "iprefresh/ChangeMailer.h"
#include "iprefresh/IpRefresh.h"
#include "iprefresh/RefreshLog.h"
#include "net/FtpSession.h"
#include "net/PageFetcher.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrelon::test {

// Pages by URL; a URL without a page fails like an unreachable server.
class FakePages : public PageFetcher {
public:
    struct Request {
        std::string url;
        std::optional<PageCredentials> credentials;
    };
    FetchedPage get(const std::string& url, const PageCredentials* credentials,
                    std::stop_token stop) override;
    std::map<std::string, std::string> pages;
    std::vector<Request> requests;
};

// An FTP server in memory: what each stored remote name holds, logins it refuses.
class FakeFtp : public FtpSession {
public:
    std::string connect(const FtpAccount& account, FtpSessionEvents& events, std::stop_token stop) override;
    std::string changeDirectory(const std::string& folder) override;
    std::string store(const std::string& localFile, const std::string& remoteName) override;
    void quit() override;

    std::map<std::string, std::string> files;
    int refuseLogins = 0;
    std::string failStoreOf; // a remote name whose transfer fails
    int sessions = 0;
    std::vector<FtpAccount> accounts;

private:
    FtpSessionEvents* m_events = nullptr;
};

class FakeMailer : public ChangeMailer {
public:
    std::string send(const ChangeMail& mail, std::stop_token stop) override;
    std::vector<ChangeMail> sent;
    std::string failWith;
};

class FakeServer : public ServerControl {
public:
    bool running() const override { return isRunning; }
    void start() override { isRunning = true; }
    void stop() override { isRunning = false; }
    void restart() override { ++restarts; }
    bool isRunning = false;
    int restarts = 0;
};

// IP-Refresh on the stand-ins, with a settings model in a temporary folder, the local clock at
// 8 December 2026 14:03:05 and a steady clock that moves only when told.
class IpRefreshTest : public ::testing::Test {
protected:
    IpRefreshTest();

    // A fresh IpRefresh on the current settings (call after changing them).
    IpRefresh& make();
    // Waits until every job has ended and its results are shown.
    void settle();
    // Minute ticks of the refresh cycle, each one settled.
    void ticks(int n);
    void change(const std::function<void(Settings&)>& f) { settings.update(f); }
    const Settings& stored() { return *(m_snapshot = settings.snapshot()); }
    const IpRefreshState::Fields& shown() { return refresh->state().fields(); }
    // The log lines without their stamps, which must all be the fixed clock's.
    std::vector<std::string> logTexts() const;
    // An FTP setup that passes the precondition check: host, login, the given remote and local
    // pairs (all checked), templates holding "ip={IP}".
    void setUpSite(int remotePairs, int localPairs);
    // The echo service answers with this address from now on.
    void echoAnswers(const std::string& address);
    void echoFails();

    TempDir dir;
    SettingsModel settings;
    OwnAddresses own;
    FakePages pages;
    FakeFtp ftp;
    FakeMailer mailer;
    FakeServer server;
    // The clients make() hands IP-Refresh: the stand-ins above unless a test points them at
    // real clients.
    PageFetcher* fetcher = &pages;
    FtpSession* session = &ftp;
    ChangeMailer* changeMailer = &mailer;
    // The IP-Refresh log on the fixed clock; every line must arrive on the main thread.
    LineLog log;
    std::vector<std::string> messageLog;
    QStringList messages;
    std::atomic<std::chrono::system_clock::time_point> now;
    std::chrono::steady_clock::time_point steadyNow{};
    bool noLookup = false;
    std::unique_ptr<IpRefresh> refresh;
    std::string stamp;

private:
    std::shared_ptr<const Settings> m_snapshot;
};

} // namespace kestrelon::test
