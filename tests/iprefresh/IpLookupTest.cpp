// The external address lookup on in-process page fetches: where its result goes, the failure
// path with the backoff, the test buttons and their hold-off, and which request carries the
// router's credentials.
#include "IpRefreshFixture.h"

#include "iprefresh/EchoServices.h"
#include "iprefresh/IpLookup.h"

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

const RouterFields kRouter{"192.168.1.1/status.htm", "<b>IP Address", "5", true, "admin", "router-pw"};

} // namespace

TEST_F(IpRefreshTest, LookupPublishesTheAddressAndTestsLeaveTheCurrentOneAlone)
{
    echoAnswers("203.0.113.7");
    change([](Settings& s) { s.WebServe.LAN = true; });
    IpLookup& lookup = make().lookup();
    bool done = false;
    lookup.SetOutsideIP(LookupSender::Ordinary, [&] { done = true; });
    settle();
    EXPECT_TRUE(done);
    EXPECT_EQ(shown().currentIP, "203.0.113.7");
    EXPECT_EQ(shown().windowTitle, "Kestrelon [203.0.113.7]");
    EXPECT_EQ(shown().retrievedAddress + shown().externalResult + shown().knownAddress,
              "203.0.113.7203.0.113.7203.0.113.7");
    EXPECT_EQ(shown().statusText, "");
    EXPECT_EQ(*own.list(), (std::vector<std::string>{"192.168.1.20", "127.0.0.1", "203.0.113.7"}));
    EXPECT_EQ(own.selected(), "203.0.113.7") << "an ICS gateway binds to the found address";

    // A test of either page shows its result there only, and succeeds for the backoff too.
    refresh->state().change([](auto& f) { f.failureFlag = true; });
    echoAnswers("198.51.100.1");
    lookup.SetOutsideIP(LookupSender::ExternalServiceTest);
    settle();
    EXPECT_EQ(shown().currentIP, "203.0.113.7");
    EXPECT_EQ(shown().windowTitle, "Kestrelon [203.0.113.7]");
    EXPECT_EQ(shown().externalResult, "198.51.100.1");
    EXPECT_FALSE(shown().failureFlag);
    EXPECT_EQ(own.list()->size(), 4u);

    // The Test URL page's Test is refused in echo-service mode.
    lookup.SetOutsideIP(LookupSender::TestUrlTest);
    settle();
    EXPECT_EQ(messages, QStringList{IpLookup::kTestWithEcho});
    EXPECT_EQ(pages.requests.size(), 2u);

    // A text that names no service makes no request and yields the empty address, listed once.
    change([](Settings& s) { s.DNS.ExtDNS = "http://echo.example.test/"; });
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(pages.requests.size(), 2u);
    EXPECT_EQ(shown().windowTitle, "Kestrelon []");
    EXPECT_EQ(std::count(own.list()->begin(), own.list()->end(), ""), 1);

    // Debug mode looks nothing up.
    change([](Settings& s) { s.System.Debug = true; });
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(shown().statusText, IpLookup::kDebugStatus);
    EXPECT_EQ(shown().windowTitle, "Kestrelon []");
}

TEST_F(IpRefreshTest, FailedLookupsAreLoggedShownAsErrorAndBackedOff)
{
    echoFails();
    IpLookup& lookup = make().lookup();
    refresh->state().change([](auto& f) { f.currentIP = "203.0.113.7"; });
    lookup.SetOutsideIP(LookupSender::ExternalServiceTest);
    settle();
    EXPECT_EQ(shown().currentIP, "Error") << "whoever asked";
    EXPECT_EQ(shown().statusText, IpLookup::kRetrieving);
    EXPECT_EQ(logTexts(), std::vector<std::string>{"Error retrieving external IP address"});
    EXPECT_EQ(messageLog, std::vector<std::string>{"Error retrieving external IP address"});
    EXPECT_EQ(shown().backoffFactor, 0);
    EXPECT_TRUE(shown().failureFlag);
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(shown().backoffFactor, 0.5);
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(shown().backoffFactor, 0.5);
    echoAnswers("203.0.113.8");
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(shown().backoffFactor, 0);
    EXPECT_FALSE(shown().failureFlag);

    // Without the backoff box failures leave the state alone; without the log box no log line.
    change([](Settings& s) {
        s.Remote.Backoff = false;
        s.Remote.FTPLog = false;
    });
    echoFails();
    log.clear();
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_FALSE(shown().failureFlag);
    EXPECT_EQ(log.lineCount(), 0u);
    EXPECT_EQ(messageLog.size(), 5u);
}

TEST_F(IpRefreshTest, ExternalServiceTestIsHeldOffForTenMinutesPerService)
{
    echoAnswers("203.0.113.7");
    const std::string second = kEchoServices[1].url;
    pages.pages[second] = "<p>Your IP  Is 198.51.100.9 thanks</p>";
    IpLookup& lookup = make().lookup();
    lookup.testExternalService();
    settle();
    lookup.testExternalService();
    settle();
    EXPECT_EQ(pages.requests.size(), 1u);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].toStdString(), "DynDNS requests that their lookup services\r\n"
                                         "are not requested at less than 10 minute intervals.");
    // Any change of the list's text frees the first service at once.
    lookup.echoServiceEdited();
    lookup.testExternalService();
    settle();
    EXPECT_EQ(pages.requests.size(), 2u);

    change([&](Settings& s) { s.DNS.ExtDNS = second; });
    lookup.testExternalService();
    settle();
    EXPECT_EQ(shown().externalResult, "198.51.100.9");
    lookup.echoServiceEdited();
    steadyNow += 9min + 59s;
    lookup.testExternalService();
    settle();
    EXPECT_EQ(pages.requests.size(), 3u) << "the second service's hold-off runs its full time";
    steadyNow += 1s;
    lookup.testExternalService();
    settle();
    EXPECT_EQ(pages.requests.size(), 4u);
}

TEST_F(IpRefreshTest, RouterCredentialsGoOnlyToTheRouterPage)
{
    echoAnswers("203.0.113.7");
    pages.pages["http://" + kRouter.url] = "<tr><td><b>IP Address</b>: 10.1.2.3<br></td></tr>";
    change([](Settings& s) {
        s.Router.External = false;
        s.Router.UserDefined = true;
    });
    IpLookup& lookup = make().lookup();
    refresh->state().change([](auto& f) { f.router = kRouter; });
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(shown().currentIP, "10.1.2.3");
    EXPECT_EQ(shown().statusText, "");
    change([](Settings& s) {
        s.Router.External = true;
        s.Router.UserDefined = false;
    });
    lookup.SetOutsideIP(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(shown().currentIP, "203.0.113.7");
    ASSERT_EQ(pages.requests.size(), 2u);
    ASSERT_TRUE(pages.requests[0].credentials);
    EXPECT_EQ(pages.requests[0].credentials->user + ":" + pages.requests[0].credentials->password,
              "admin:router-pw");
    EXPECT_EQ(pages.requests[1].url, kDefaultEchoService);
    EXPECT_FALSE(pages.requests[1].credentials);

    // Without "Webpage requires authentication" the router gets none either.
    change([](Settings& s) {
        s.Router.External = false;
        s.Router.UserDefined = true;
    });
    refresh->state().change([](auto& f) { f.router.webAuth = false; });
    lookup.SetOutsideIP(LookupSender::TestUrlTest);
    settle();
    EXPECT_FALSE(pages.requests.back().credentials);
    EXPECT_EQ(shown().retrievedAddress, "10.1.2.3");
}
