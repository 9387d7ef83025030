#include "core/HostPort.h"

#include <gtest/gtest.h>

using kestrelon::HostPort;
using kestrelon::parseHostPort;

TEST(HostPort, ServerTextsGiveHostAndPort)
{
    struct Case {
        const char* text;
        HostPort expected;
    };
    for (const Case& c : {
             Case{"mail.example.org", {"mail.example.org", 25}},
             Case{"mail.example.org:2525", {"mail.example.org", 2525}},
             Case{"  mail.example.org:587 ", {"mail.example.org", 587}},
             Case{"127.0.0.1:65535", {"127.0.0.1", 65535}},
             // IPv6: in brackets with or without a port; bare, every colon belongs to the address.
             Case{"[::1]:2526", {"::1", 2526}},
             Case{"[2001:db8::5]", {"2001:db8::5", 25}},
             Case{"2001:db8::5", {"2001:db8::5", 25}},
         }) {
        EXPECT_EQ(parseHostPort(c.text, 25), c.expected) << c.text;
    }
    EXPECT_EQ(parseHostPort("129.6.15.28", 37), (HostPort{"129.6.15.28", 37}));

    // One rule for every server setting: a colon promises a port, and an empty host is no server.
    for (const char* bad : {"", "   ", ":37", "mail:", "mail: ", "mail:abc", "mail:0", "mail:-1",
                            "mail:65536", "mail:99999999999999999999", "mail:25x", "[]:37", "[::1", "[::1]x",
                            "[::1]37", "[::1]:", "x[::1]:25", "[[::1]]:25", "a]b::c"}) {
        EXPECT_FALSE(parseHostPort(bad, 25)) << bad;
    }
}
