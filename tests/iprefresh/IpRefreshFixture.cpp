#include "IpRefreshFixture.h"

#include "core/Settings.h"
#include "support/GuiApplication.h"
#include "support/LocalTime.h"

#include <QCoreApplication>
#include <QThread>

#include <fstream>
#include <iterator>

namespace kestrelon::test {

FetchedPage FakePages::get(const std::string& url, const PageCredentials* credentials, std::stop_token)
{
    requests.push_back({url, credentials ? std::optional<PageCredentials>(*credentials) : std::nullopt});
    auto it = pages.find(url);
    if (it == pages.end()) {
        return {false, {}, "Couldn't connect to server"};
    }
    return {true, it->second, {}};
}

std::string FakeFtp::connect(const FtpAccount& account, FtpSessionEvents& events, std::stop_token)
{
    ++sessions;
    accounts.push_back(account);
    if (refuseLogins > 0) {
        --refuseLogins;
        return "Access denied: 530";
    }
    m_events = &events;
    events.connected();
    return {};
}

std::string FakeFtp::changeDirectory(const std::string&)
{
    return {};
}

std::string FakeFtp::store(const std::string& localFile, const std::string& remoteName)
{
    if (remoteName == failStoreOf) {
        return "Uploading to the server failed: 553";
    }
    std::ifstream in(localFile, std::ios::binary);
    files[remoteName] = std::string(std::istreambuf_iterator<char>(in), {});
    return {};
}

void FakeFtp::quit()
{
    if (auto* events = std::exchange(m_events, nullptr)) {
        events->disconnected();
    }
}

std::string FakeMailer::send(const ChangeMail& mail, std::stop_token)
{
    sent.push_back(mail);
    return failWith;
}

IpRefreshTest::IpRefreshTest()
    : settings(Settings::defaults(dir.path())), log(refreshLogOptions([this] { return now.load(); })),
      now(localTime(2026, 12, 8, 14, 3, 5)), stamp("08/12/2026 14:03:05")
{
    log.setSink([](const std::string& line) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread()) << line;
    });
    // The job runner posts its results through the event loop, as in the program.
    ensureGuiApplication();
    own.set({"192.168.1.20", "127.0.0.1"}, "192.168.1.20");
}

IpRefresh& IpRefreshTest::make()
{
    refresh.reset();
    IpRefreshServices services{*fetcher,
                               *session,
                               *changeMailer,
                               server,
                               log,
                               own,
                               [this](const std::string& line) { messageLog.push_back(line); },
                               [this] { return now.load(); },
                               [this] { return steadyNow; },
                               noLookup,
                               dir.path() + "/kestrelon.tmp"};
    refresh = std::make_unique<IpRefresh>(settings, services);
    QObject::connect(refresh.get(), &IpRefresh::messageBox, [this](const QString& m) { messages << m; });
    return *refresh;
}

void IpRefreshTest::settle()
{
    ASSERT_TRUE(processUntil([this] { return !refresh->jobs().busy(); }));
}

void IpRefreshTest::ticks(int n)
{
    for (int i = 0; i < n; ++i) {
        refresh->cycle().minuteTick();
        settle();
    }
}

std::vector<std::string> IpRefreshTest::logTexts() const
{
    std::vector<std::string> texts;
    for (const auto& line : log.lines()) {
        EXPECT_EQ(line.substr(0, stamp.size()), stamp) << line;
        texts.push_back(line.substr(std::min(stamp.size(), line.size())));
    }
    return texts;
}

void IpRefreshTest::setUpSite(int remotePairs, int localPairs)
{
    std::string tmpl = dir.write("site/ip.tem", "ip={IP}\n");
    change([&](Settings& s) {
        s.FTP.EnableFTP = true;
        s.Remote.Host = "ftp.example.test";
        s.Remote.Username = "web";
        s.Remote.Password = "secret";
        s.remoteTemplates.clear();
        s.localTemplates.clear();
        for (int i = 0; i < remotePairs; ++i) {
            s.remoteTemplates.push_back({tmpl, "/htdocs/page" + std::to_string(i + 1) + ".htm", true});
        }
        for (int i = 0; i < localPairs; ++i) {
            s.localTemplates.push_back(
                {tmpl, dir.path() + "/site/local" + std::to_string(i + 1) + ".htm", true});
        }
    });
}

void IpRefreshTest::echoAnswers(const std::string& address)
{
    pages.pages[kDefaultEchoService] =
        "<html><head><title>Current IP Check</title></head><body>Current IP Address: " + address +
        "</body></html>";
}

void IpRefreshTest::echoFails()
{
    pages.pages.erase(kDefaultEchoService);
}

} // namespace kestrelon::test
