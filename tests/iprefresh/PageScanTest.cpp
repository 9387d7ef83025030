// The scans that take the address out of echo-service and router pages, and the text tools of the
// page workbench that choose a keyword and skip count for them.
#include "iprefresh/PageScan.h"
#include "iprefresh/EchoServices.h"
#include "iprefresh/PageTools.h"

#include <gtest/gtest.h>

using namespace kestrelon;

namespace {

std::string lookup(std::string_view page, std::string_view keyword, std::string_view skip)
{
    return trimAddress(scanRouterPage(page, keyword, skip));
}

} // namespace

TEST(PageScan, EchoServicesReadTheirOwnMarkersOnly)
{
    const EchoService& first = kEchoServices[0];
    const EchoService& second = kEchoServices[1];
    EXPECT_EQ(scanEchoPage(first, "<body>Current IP Address: 203.0.113.7</body>"), "203.0.113.7");
    EXPECT_EQ(scanEchoPage(second, "<p>Your IP  Is 198.51.100.9 here</p>"), "198.51.100.9");
    // One blank after "IP" is not the marker: the scan starts at position 12 of the page.
    EXPECT_EQ(scanEchoPage(second, "<p>Your IP Is 198.51.100.9 here"), "Is");
    // A page that ends before the terminator yields what was collected; a short page nothing.
    EXPECT_EQ(scanEchoPage(first, "Address: 10.0.0.1"), "10.0.0.1");
    EXPECT_EQ(scanEchoPage(first, "Addr"), "");
    EXPECT_EQ(echoServiceIndex(kEchoServices[1].url), 1);
    EXPECT_EQ(echoServiceIndex(std::string(kEchoServices[0].url) + " "), -1);
}

TEST(PageScan, RouterPageFromKeywordAndSkipCount)
{
    const std::string page = "<td>WAN</td><b>IP Address</b>: 10.1.2.3<br>Gateway 10.1.2.1";
    // The scan starts at the blank before "10", passes it and stops at "<".
    EXPECT_EQ(lookup(page, "<b>IP Address", "5"), "10.1.2.3");
    // Landing before the address is harmless; a non-number counts as the keyword's length.
    EXPECT_EQ(lookup(page, "<b>IP Address", "0"), "10.1.2.3");
    EXPECT_EQ(lookup(page, "<b>IP Address", " 5 "), "10.1.2.3");
    EXPECT_EQ(lookup("IP:   <b>203.0.113.9</b>", "IP:", "abc"), "203.0.113.9");
    EXPECT_EQ(lookup(page, "<b>IP Address", "abc"), "3");
    // An absent keyword counts from the start of the page: 1-based position 8 + 42.
    EXPECT_EQ(lookup(page, "nowhere!", "42"), "10.1.2.1");
    // Blanks between digit groups are collected; control characters at the ends are trimmed.
    EXPECT_EQ(lookup("ip: 1.2.3.4 5\t<", "ip:", "0"), "1.2.3.4 5");
    // Past the end, before the start, or at a last digit: the scan stops at the page's bounds.
    EXPECT_EQ(lookup(page, "<b>IP Address", "999999"), "");
    EXPECT_EQ(lookup(page, "<b>IP Address", "-99999"), "10.1.2.3");
    EXPECT_EQ(lookup("addr 7", "addr", "1"), "7");
    EXPECT_EQ(lookup("", "", ""), "");
    EXPECT_EQ(trimAddress("\r\n 1.2.3.4 \x01"), "1.2.3.4");
}

TEST(PageTools, FindMarkAndKeyword)
{
    const std::string page = "IP 1.2.3.4 and ip 1.2.3.4 again";
    // Find matches case, and each search starts after the selection.
    EXPECT_EQ(findInPage(page, "ip", 0, 0), 15u);
    EXPECT_EQ(findInPage(page, "1.2.3.4", 3, 7), 18u);
    EXPECT_EQ(findInPage(page, "1.2.3.4", 18, 7), std::nullopt);

    std::string text(200, 'x');
    text.replace(100, 12, "Address is: ");
    KeywordChoice choice = chooseKeyword(text, 100, 112, 120);
    EXPECT_TRUE(choice.unique);
    EXPECT_EQ(choice.keyword, "Address is: ");
    EXPECT_EQ(choice.skip, 8);
    // "xx" stands at the very start as well: the earlier occurrence is offered instead.
    KeywordChoice twice = chooseKeyword(text, 150, 152, 170);
    EXPECT_FALSE(twice.unique);
    EXPECT_EQ(twice.earlier, 0u);
}

TEST(PageTools, AutoWindowMovesLeftPastForbiddenAndRepeatedText)
{
    // A comma stands in the 14 characters before the address, and text that repeats earlier.
    const std::string page = "<html><body>WAN status: up<br>WAN IP address, now: 203.0.113.7</body>";
    size_t address = page.find("203.0.113.7");
    AutoKeyword choice = autoKeyword(page, address);
    ASSERT_FALSE(choice.keyword.empty());
    EXPECT_EQ(choice.keyword.size(), 14u);
    EXPECT_EQ(choice.keyword.find_first_of(",."), std::string::npos);
    // The window and skip count found lead the router scan to the address.
    EXPECT_EQ(lookup(page, choice.keyword, std::to_string(choice.skip)), "203.0.113.7");
    EXPECT_GT(choice.skip, 1);

    // Every window repeats earlier text or holds a dot: the window runs off the start.
    const std::string dotted = "a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p 9.9.9.9";
    EXPECT_EQ(autoKeyword(dotted, dotted.find("9.9")).keyword, "");
    EXPECT_EQ(autoKeyword(page, 5).keyword, "");
}
