#include "web/ReverseLookup.h"

#include <gtest/gtest.h>

using namespace kestrelon;
using namespace std::chrono_literals;

TEST(ReverseLookupCache, PositiveAndNegativeEntriesExpire)
{
    ReverseLookupCache cache(16, 10min, 1min);
    auto t0 = ReverseLookupCache::Clock::now();
    EXPECT_FALSE(cache.find("127.0.0.1", t0).has_value());
    cache.store("127.0.0.1", "localhost", t0);
    cache.store("127.0.0.9", "", t0); // a miss is remembered as the empty name
    EXPECT_EQ(cache.find("127.0.0.1", t0 + 5min), "localhost");
    EXPECT_EQ(cache.find("127.0.0.9", t0 + 30s), "");
    EXPECT_FALSE(cache.find("127.0.0.9", t0 + 2min).has_value());
    EXPECT_FALSE(cache.find("127.0.0.1", t0 + 11min).has_value());
    EXPECT_EQ(cache.size(), 0u);
}

TEST(ReverseLookupCache, BoundedLeastRecentlyUsedGoesFirst)
{
    ReverseLookupCache cache(3);
    auto t = ReverseLookupCache::Clock::now();
    cache.store("a", "A", t);
    cache.store("b", "B", t);
    cache.store("c", "C", t);
    EXPECT_EQ(cache.find("a", t), "A"); // a is now the most recent
    cache.store("d", "D", t);           // b goes
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_FALSE(cache.find("b", t).has_value());
    EXPECT_EQ(cache.find("a", t), "A");
    EXPECT_EQ(cache.find("d", t), "D");
}

TEST(ReverseLookup, LoopbackHasAName)
{
    // 127.0.0.1 is in /etc/hosts on every Debian system.
    EXPECT_FALSE(reverseLookup("127.0.0.1").empty());
    EXPECT_EQ(reverseLookup("not an address"), "");
}
