// The Test URL workbench on in-process page fetches: Auto finds a keyword and skip count with
// which the lookup then reads the address; marking by hand; the refusals.
#include "IpRefreshFixture.h"

#include "iprefresh/PageWorkbench.h"

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

const std::string kStatusUrl = "http://192.168.0.1/status.htm";
const std::string kStatusPage = "<html><body><table>\n<tr><td>LAN IP</td><td>192.168.0.1</td></tr>\n"
                                "<tr><td>WAN IP, DHCP</td><td>203.0.113.77</td></tr>\n</table></body></html>";

} // namespace

TEST_F(IpRefreshTest, AutoFindsAKeywordWithWhichTheLookupReadsTheAddress)
{
    pages.pages[kStatusUrl] = kStatusPage;
    change([](Settings& s) {
        s.Router.External = false;
        s.Router.UserDefined = true;
    });
    PageWorkbench& bench = make().workbench();
    refresh->state().change([](auto& f) {
        f.router = {"192.168.0.1/status.htm", "<html>", "", true, "admin", "pw"};
        f.knownAddress = "203.0.113.77";
    });
    EXPECT_TRUE(bench.enables().autoDetect);
    bench.autoDetect();
    settle();
    EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
    const RouterFields& f = shown().router;
    EXPECT_EQ(f.keyword.size(), 14u);
    EXPECT_EQ(bench.addressMark(), kStatusPage.find("203.0.113.77"));
    // Auto ran an ordinary lookup with the new keyword and skip count, credentials included.
    EXPECT_EQ(shown().currentIP, "203.0.113.77");
    EXPECT_EQ(shown().windowTitle, "Kestrelon [203.0.113.77]");
    ASSERT_EQ(pages.requests.size(), 2u);
    EXPECT_TRUE(pages.requests[1].credentials);
    EXPECT_TRUE(bench.enables().test && bench.enables().getIp);

    // By hand: a keyword that occurs earlier is refused and its first occurrence selected.
    size_t td = kStatusPage.find("</td><td>203");
    bench.setSelection(td, 9);
    bench.markKeyword();
    EXPECT_EQ(messages, QStringList{PageWorkbench::kNotUnique});
    EXPECT_EQ(bench.selectionStart(), kStatusPage.find("</td><td>"));
    bench.setSelection(kStatusPage.find("DHCP"), 4);
    bench.markKeyword();
    EXPECT_EQ(shown().router.keyword, "DHCP");
    EXPECT_EQ(shown().router.skip, "9");

    // A known address that is not in the page, and a page that cannot be fetched.
    refresh->state().change([](auto& f) { f.knownAddress = "198.51.100.1"; });
    bench.autoDetect();
    settle();
    EXPECT_EQ(messages.back(), PageWorkbench::kAutoFailed);
    pages.pages.clear();
    bench.getPage();
    settle();
    EXPECT_EQ(messages.back(), PageWorkbench::kUnableToConnect);
    EXPECT_EQ(bench.page(), "");
    EXPECT_EQ(shown().router.keyword, "");
    bench.getIp(LookupSender::Ordinary);
    settle();
    EXPECT_EQ(messages.back(), PageWorkbench::kMissingEntry);
}
