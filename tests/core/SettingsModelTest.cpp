#include "core/SettingsModel.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace kestrelon;

TEST(SettingsModel, DefaultsAndConsistentSnapshots)
{
    SettingsModel model(Settings::defaults("/opt/kestrelon"));
    auto before = model.snapshot();
    EXPECT_EQ(before->WebServe.Root, "/opt/kestrelon");
    EXPECT_EQ(before->WebServe.Port, "80");
    EXPECT_EQ(before->WebServe.RootFile, "index.html");
    EXPECT_TRUE(before->WebServe.RevDNS);
    EXPECT_TRUE(before->WebServe.Log);
    EXPECT_EQ(before->WebServe.EscChar, "^");
    EXPECT_FALSE(before->WebServe.IO);

    int signals = 0;
    QObject::connect(&model, &SettingsModel::changed, [&] { ++signals; });
    model.update([](Settings& s) { s.WebServe.Port = "8080"; });
    EXPECT_EQ(signals, 1);
    EXPECT_EQ(model.snapshot()->WebServe.Port, "8080");
    // A copy taken earlier does not change under its reader.
    EXPECT_EQ(before->WebServe.Port, "80");
}

TEST(SettingsModel, ConcurrentUpdatesAreNotLost)
{
    SettingsModel model(Settings{});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 250; ++i) {
                model.update([](Settings& s) { s.blocked.push_back("x"); });
                (void)model.snapshot()->blocked.size();
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(model.snapshot()->blocked.size(), 1000u);
}
