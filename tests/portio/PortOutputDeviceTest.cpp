#include "portio/PortOutputDevice.h"
#include "portio/RecordingPortBackend.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

using namespace kestrelon;

TEST(PortOutputDevice, PlainAndSetBitsWrites)
{
    RecordingPortBackend* rec = nullptr;
    PortOutputDevice port([&](uint16_t) {
        auto b = std::make_unique<RecordingPortBackend>();
        rec = b.get();
        return b;
    });
    EXPECT_EQ(port.portAddress(), 0x0278);
    EXPECT_EQ(port.lastPortValue(), 0);
    std::string error;
    ASSERT_TRUE(port.Write(0x1FF, error)); // only the low 8 bits go out
    EXPECT_EQ(port.lastPortValue(), 0xFF);
    ASSERT_TRUE(port.Write(2, error));
    ASSERT_TRUE(port.WriteSetBits(-1, error)); // magnitude 1 OR-ed into 2
    EXPECT_EQ(port.lastPortValue(), 3);
    ASSERT_TRUE(port.WriteSetBits(-256, error)); // low bits of 256 are 0: the value stays
    EXPECT_EQ(port.lastPortValue(), 3);
    ASSERT_TRUE(port.WriteSetBits(INT32_MIN, error));
    EXPECT_EQ(port.lastPortValue(), 3);
    auto writes = rec->recentWrites();
    ASSERT_EQ(writes.size(), 5u);
    EXPECT_EQ(writes[0], std::make_pair(uint16_t(0x278), uint8_t(0xFF)));
    EXPECT_EQ(writes[2], std::make_pair(uint16_t(0x278), uint8_t(3)));
}

TEST(PortOutputDevice, RecordFileFromEnvironmentAndAddressChange)
{
    kestrelon::test::TempDir dir;
    std::string file = dir.path() + "/port.txt";
    ::setenv("KESTRELON_PORT_RECORD", file.c_str(), 1);
    {
        PortOutputDevice port; // the default backend choice
        std::string error;
        EXPECT_NE(port.backendDescription().find(file), std::string::npos);
        ASSERT_TRUE(port.Write(5, error));
        port.setPortAddress(0x378);
        ASSERT_TRUE(port.Write(255, error));
        ASSERT_TRUE(port.Write(0, error));
    }
    ::unsetenv("KESTRELON_PORT_RECORD");
    EXPECT_EQ(kestrelon::test::readFile(file), "0278 5\n0378 255\n0378 0\n");
}

TEST(PortOutputDevice, SetBitsWritesFromManyThreadsNeverLoseABit)
{
    PortOutputDevice port([](uint16_t) { return std::make_unique<RecordingPortBackend>(); });
    std::vector<std::thread> threads;
    for (int bit = 0; bit < 8; ++bit) {
        threads.emplace_back([&port, bit] {
            std::string error;
            for (int i = 0; i < 200; ++i) {
                port.WriteSetBits(-(1 << bit), error);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(port.lastPortValue(), 0xFF);
}

TEST(PortOutputDevice, FailedWriteKeepsTheLastValue)
{
    kestrelon::test::TempDir dir;
    // A record file in a folder that does not exist cannot be opened: every write fails.
    PortOutputDevice port(
        [&](uint16_t) { return std::make_unique<RecordingPortBackend>(dir.path() + "/missing/port.txt"); });
    port.setLastPortValue(7);
    std::string error;
    EXPECT_FALSE(port.Write(1, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(port.lastPortValue(), 7);
}
