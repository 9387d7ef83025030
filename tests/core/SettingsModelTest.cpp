#include "core/SettingsModel.h"

#include "support/GuiApplication.h"

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

TEST(SettingsModel, WatchReportsOnlyChangesOfTheWatchedPart)
{
    kestrelon::test::ensureGuiApplication();
    SettingsModel model(Settings{});
    QObject receiver;
    std::vector<int32_t> brightness;
    int cameraChanges = 0;
    model.watch(
        &receiver, [](const Settings& s) { return s.Camera.Bright; },
        [&](const Settings& now) { brightness.push_back(now.Camera.Bright); });
    model.watch(&receiver, &Settings::Camera, [&](const Settings&) { ++cameraChanges; });

    model.update([](Settings& s) { s.WebServe.Port = "81"; }); // neither
    model.update([](Settings& s) { s.Camera.Bright = 5; });    // both
    model.update([](Settings& s) { s.Camera.Red = 3; });       // the section only
    model.update([](Settings& s) { s.Camera.Bright = 5; });    // no change at all
    EXPECT_EQ(brightness, std::vector<int32_t>{5});
    EXPECT_EQ(cameraChanges, 2);

    // From another thread the change arrives as a queued call on the receiver's thread.
    std::thread([&] { model.update([](Settings& s) { s.Camera.Bright = -7; }); }).join();
    EXPECT_TRUE(kestrelon::test::processUntil([&] { return brightness.size() == 2; }));
    EXPECT_EQ(brightness.back(), -7);
}
