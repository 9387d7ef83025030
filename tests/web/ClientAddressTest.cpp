#include "web/ClientAddress.h"
#include "core/LocalAddresses.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <random>

using namespace kestrelon;

TEST(ClientAddress, OwnClientComparesWholeOctets)
{
    const std::vector<std::string> own = {"203.0.113.7", "127.0.0.1"};
    for (const char* a :
         {"172.16.0.5", "10.1.2.3", "192.168.1.20", "169.254.9.9", "203.0.113.7", "127.0.0.1"}) {
        EXPECT_TRUE(isOwnClient(a, own)) << a;
    }
    // Text prefixes alone would take these as local: 104.x starts with "10", 172.160.x with "172.16".
    for (const char* a : {"104.1.2.3", "100.64.0.1", "172.160.0.1", "172.17.0.5", "192.169.0.1", "169.25.0.1",
                          "127.0.0.2", "203.0.113.70", "", "not an address"}) {
        EXPECT_FALSE(isOwnClient(a, own)) << a;
    }
}

TEST(ClientAddress, ValidIPIsOnlyASyntaxCheck)
{
    for (const char* ok : {"1.2.3.4", "1..2.3", "999.1.1.1", "...", "0.0.0.0"}) {
        EXPECT_TRUE(ValidIP(ok)) << ok;
    }
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1.2.3.a", " 1.2.3.4", "1.2.3.4\n"}) {
        EXPECT_FALSE(ValidIP(bad)) << bad;
    }
}

TEST(ClientAddress, DottedQuadWritesWhatInetNtopWrites)
{
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        // Every octet value in every position, then random addresses.
        const uint32_t address = i < 1024 ? static_cast<uint32_t>(i % 256) << (8 * (i / 256)) : random();
        in_addr raw{htonl(address)};
        char expected[INET_ADDRSTRLEN];
        ASSERT_NE(inet_ntop(AF_INET, &raw, expected, sizeof expected), nullptr);
        ASSERT_EQ(dottedQuad(address), expected) << address;
    }
}

TEST(LocalAddresses, ListEndsWithLoopbackEvenWhenReported)
{
    EXPECT_EQ(ownAddressList({"192.168.1.5"}), (std::vector<std::string>{"192.168.1.5", "127.0.0.1"}));
    EXPECT_EQ(ownAddressList({"127.0.0.1"}), (std::vector<std::string>{"127.0.0.1", "127.0.0.1"}));
    EXPECT_EQ(ownAddressList({}), (std::vector<std::string>{"127.0.0.1"}));
    EXPECT_EQ(selectedAddress(""), "127.0.0.1");
    EXPECT_EQ(selectedAddress("3.0.0.0"), "127.0.0.1");
    EXPECT_EQ(selectedAddress("192.168.1.5"), "192.168.1.5");

    // The machine's own interfaces: dotted IPv4 texts, loopback left to the appended entry.
    for (const auto& a : interfaceAddresses()) {
        EXPECT_TRUE(ValidIP(a)) << a;
        EXPECT_NE(a, "127.0.0.1");
    }
}
