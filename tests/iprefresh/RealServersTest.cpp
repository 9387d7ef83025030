// IP-Refresh on its real clients against real servers on 127.0.0.1: the echo services and a
// router-like status page from the page server of the test (the echo services' fixed addresses
// are sent to it by the HTTP client's connect-to), pyftpdlib for the site and aiosmtpd for the
// mail. The clock is the fixture's injected one; minute ticks are driven by the test.
#include "IpRefreshFixture.h"

#include "iprefresh/EchoServices.h"
#include "iprefresh/PageWorkbench.h"
#include "iprefresh/QueuedChangeMailer.h"
#include "iprefresh/RefreshCycle.h"
#include "net/FtpClient.h"
#include "net/HttpClient.h"
#include "net/MailQueue.h"
#include "support/FtpTestServer.h"
#include "support/GuiApplication.h"
#include "support/PageTestServer.h"
#include "support/SmtpTestServer.h"

#include <QUrl>

#include <filesystem>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

std::string echoPage(const std::string& address)
{
    return "<html><head><title>Current IP Check</title></head><body>Current IP Address: " + address +
           "</body></html>";
}

// "host:80:127.0.0.1:port" for each echo service, so their URLs reach the page server.
HttpClient::Options toLoopback(uint16_t port)
{
    HttpClient::Options options;
    options.connectTimeout = std::chrono::seconds(2);
    options.totalTimeout = std::chrono::seconds(5);
    for (const EchoService& service : kEchoServices) {
        options.connectTo.push_back(QUrl(service.url).host().toStdString() +
                                    ":80:127.0.0.1:" + std::to_string(port));
    }
    return options;
}

FtpClient::Options ftpTimeouts(std::chrono::milliseconds each)
{
    FtpClient::Options options;
    options.timeouts = {each, each, 2 * each};
    return options;
}

class RealServersTest : public IpRefreshTest {
protected:
    RealServersTest()
        : http(toLoopback(pageServer.port())), siteFtp(ftpTimeouts(std::chrono::seconds(2))),
          patientFtp(ftpTimeouts(std::chrono::minutes(10))), queuedMailer(mailQueue)
    {
        fetcher = &http;
        session = &siteFtp;
        changeMailer = &queuedMailer;
        std::filesystem::create_directories(ftpServer.root() + "/htdocs");
    }
    ~RealServersTest() override
    {
        refresh.reset();
        mailQueue.stop();
    }

    // The site on the real FTP server, the mail to the real SMTP server.
    void setUpRealSite()
    {
        setUpSite(2, 1);
        change([this](Settings& s) {
            s.Remote.Host = ftpServer.address();
            s.Remote.Username = FtpTestServer::kUser;
            s.Remote.Password = FtpTestServer::kPassword;
            s.DNS.Sendmail = true;
            s.DNS.Server = smtpServer.address();
            s.DNS.From = "kestrelon@example.test";
            s.DNS.To = "owner@example.test";
            s.TimeServer.Format = "dd.mm.yyyy";
        });
    }
    void echoIs(const std::string& address) { pageServer.setPage("/", echoPage(address)); }
    void echoBroken()
    {
        PageTestServer::Page busy;
        busy.body = "busy";
        busy.status = 503;
        pageServer.setPage("/", busy);
    }
    std::vector<std::string> passLines(const std::string& address) const
    {
        const std::string host = ftpServer.address();
        return {" :Connecting to " + host,
                " :Connected to " + host,
                " : PUT - /htdocs/page1.htm",
                " : PUT - /htdocs/page2.htm",
                " : Uploaded IP - " + address,
                " : Disconnected",
                " : Updated - " + dir.path() + "/site/local1.htm"};
    }
    int logins() const { return static_cast<int>(std::ranges::count(ftpServer.events(), "login web")); }

    PageTestServer pageServer;
    FtpTestServer ftpServer;
    SmtpTestServer smtpServer;
    MailQueue mailQueue;
    HttpClient http;
    FtpClient siteFtp;
    FtpClient patientFtp; // waits ten minutes for each reply
    QueuedChangeMailer queuedMailer;
};

} // namespace

TEST_F(RealServersTest, CycleWithChangesFailedLookupsAndARefusedLoginEndsWithTheLastAddress)
{
    setUpRealSite();
    change([](Settings& s) { s.FTP.Interval = 15; });
    echoIs("203.0.113.10");
    RefreshCycle& cycle = make().cycle();
    cycle.startOrUpdate();
    settle();
    EXPECT_EQ(ftpServer.file("/htdocs/page1.htm"), "ip=203.0.113.10\r\n");

    // The first change at the second expiry; two failed lookups in a row stretch the countdown.
    ticks(15);
    echoIs("203.0.113.20");
    ticks(15);
    echoBroken();
    ticks(30);
    EXPECT_EQ(cycle.countdown(), 22);
    EXPECT_EQ(shown().currentIP, "Error");

    // The second change while the server refuses the login once: the failure mail, "Error" in
    // the Uploaded IP panel, and the upload again at the next expiry.
    echoIs("203.0.113.30");
    ftpServer.refuseLogins(1);
    ticks(22);
    EXPECT_EQ(shown().uploadedIP, "Error");
    EXPECT_FALSE(shown().lampLime);
    EXPECT_EQ(cycle.countdown(), 15);
    ticks(15);
    EXPECT_EQ(shown().uploadedIP, "203.0.113.30");
    EXPECT_TRUE(shown().lampLime);
    EXPECT_EQ(logins(), 3);

    std::vector<std::string> expected{": Started IP-Refresh."};
    const auto add = [&](const std::vector<std::string>& lines) {
        expected.insert(expected.end(), lines.begin(), lines.end());
    };
    add(passLines("203.0.113.10"));
    add(passLines("203.0.113.20"));
    add({"Error retrieving external IP address", " : Invalid IP - Error",
         "Error retrieving external IP address", " : Invalid IP - Error"});
    add({" :Connecting to " + ftpServer.address(), " :Connected to " + ftpServer.address(), " : Upload Error",
         " : Disconnected", " : Updated - " + dir.path() + "/site/local1.htm"});
    add(passLines("203.0.113.30"));
    EXPECT_EQ(logTexts(), expected);

    for (const char* name : {"/htdocs/page1.htm", "/htdocs/page2.htm"}) {
        EXPECT_EQ(ftpServer.file(name), "ip=203.0.113.30\r\n") << name;
    }
    EXPECT_EQ(readFile(dir.path() + "/site/local1.htm"), "ip=203.0.113.30\r\n");
    ASSERT_TRUE(smtpServer.waitForMessages(4));
    std::vector<std::string> bodies;
    for (const ReceivedMail& mail : smtpServer.messages()) {
        bodies.push_back(mail.body);
        EXPECT_EQ(mail.rcpts, std::vector<std::string>{"owner@example.test"});
    }
    const std::string head = "08.12.2026\r\nKestrelon IP-check has uploaded the following IP address: \r\n";
    const std::string rule = "\r\n-----------------------------------";
    EXPECT_EQ(bodies, (std::vector<std::string>{head + "203.0.113.10" + rule, head + "203.0.113.20" + rule,
                                                head + "Failed FTP session: Error" + rule,
                                                head + "203.0.113.30" + rule}));
}

TEST_F(RealServersTest, RouterCredentialsNeverReachTheEchoService)
{
    pageServer.setProtectedPage("/status.htm", "<tr><td>WAN IP</td><td>203.0.113.44</td></tr>", "admin",
                                "router-secret");
    change([](Settings& s) {
        s.Router.External = false;
        s.Router.UserDefined = true;
    });
    echoIs("203.0.113.45");
    make();
    refresh->state().change([this](auto& f) {
        f.router = {
            pageServer.hostAndPath("/status.htm"), "WAN IP</td><td>", "0", true, "admin", "router-secret"};
    });
    refresh->lookup().SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(shown().currentIP, "203.0.113.44");

    // The echo service right after, in both of its ways: an ordinary lookup and the Test button.
    change([](Settings& s) {
        s.Router.External = true;
        s.Router.UserDefined = false;
    });
    refresh->lookup().SetOutsideIP(LookupSender::Ordinary);
    settle();
    refresh->lookup().testExternalService();
    settle();
    EXPECT_EQ(shown().currentIP, "203.0.113.45");

    int echoRequests = 0;
    for (const PageTestServer::Request& request : pageServer.requests()) {
        if (request.path == "/status.htm") {
            EXPECT_NE(request.header("authorization"), "");
            continue;
        }
        ++echoRequests;
        EXPECT_EQ(request.header("host"), "checkip.dyndns.org");
        for (const auto& [name, value] : request.headers) {
            EXPECT_EQ(value.find("YWRtaW46cm91dGVyLXNlY3JldA"), std::string::npos) << name;
            EXPECT_NE(name, "authorization");
        }
    }
    EXPECT_EQ(echoRequests, 2);
}

TEST_F(RealServersTest, StalledTransferEndsThePassInItsTimeOutAndShutdownEndsAPassAtOnce)
{
    setUpRealSite();
    change([](Settings& s) { s.DNS.Sendmail = false; });
    echoIs("203.0.113.50");
    ftpServer.stallStoreOf("page2.htm");
    RefreshCycle& cycle = make().cycle();
    cycle.startOrUpdate();
    // The pass gives up within the reply time-out (2 s) and goes on as after any failed transfer.
    settle();
    const std::string host = ftpServer.address();
    EXPECT_EQ(logTexts(),
              (std::vector<std::string>{" :Connecting to " + host, " :Connected to " + host,
                                        " : PUT - /htdocs/page1.htm", " : Upload Error", " : Disconnected",
                                        " : Updated - " + dir.path() + "/site/local1.htm"}));
    EXPECT_EQ(shown().uploadedIP, "Error");

    // With clients that would wait ten minutes, a shutdown during the stalled transfer still ends
    // the pass within its bound.
    session = &patientFtp;
    make();
    refresh->state().change([](auto& f) { f.currentIP = "203.0.113.50"; });
    refresh->cycle().upload();
    ASSERT_TRUE(processUntil([&] {
        return std::ranges::count(ftpServer.events(), std::string("stalled /htdocs/page2.htm")) == 2;
    }));
    EXPECT_TRUE(refresh->jobs().busy());
    EXPECT_TRUE(refresh->shutdown(std::chrono::seconds(3)));
}

TEST_F(RealServersTest, AutoOnAProtectedStatusPageYieldsTheAddressThroughTheCyclesLookup)
{
    const std::string page = "<html><body><table>\n<tr><td>LAN IP</td><td>192.168.0.1</td></tr>\n"
                             "<tr><td>WAN IP, DHCP</td><td>203.0.113.77</td></tr>\n</table></body></html>";
    pageServer.setProtectedPage("/status.htm", page, "admin", "pw");
    change([](Settings& s) {
        s.Router.External = false;
        s.Router.UserDefined = true;
    });
    PageWorkbench& bench = make().workbench();
    refresh->state().change([this](auto& f) {
        f.router = {pageServer.hostAndPath("/status.htm"), "<html>", "", true, "admin", "pw"};
        f.knownAddress = "203.0.113.77";
    });
    bench.autoDetect();
    settle();
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
    const RouterFields found = shown().router;
    EXPECT_EQ(found.keyword, page.substr(page.rfind("203.0.113.77") - std::stoul(found.skip) - 14, 14));
    EXPECT_EQ(shown().currentIP, "203.0.113.77");

    // The cycle's own lookup with what Auto found reads the address again after it changed.
    pageServer.setProtectedPage("/status.htm", page.substr(0, page.rfind("77")) + "99</td></tr></table>",
                                "admin", "pw");
    refresh->cycle().startOrUpdate();
    settle();
    EXPECT_EQ(shown().currentIP, "203.0.113.99");
    EXPECT_EQ(shown().windowTitle, "Kestrelon [203.0.113.99]");
    for (const PageTestServer::Request& request : pageServer.requests()) {
        EXPECT_EQ(request.header("authorization"), "Basic YWRtaW46cHc=") << request.path;
    }
}
