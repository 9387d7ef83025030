#include "core/SettingsFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kestrelon;

TEST(SettingsCrash, KilledInTheMiddleOfSavesTheFileIsAlwaysWhole)
{
    kestrelon::test::TempDir dir;
    std::string path = dir.path() + "/kestrelon.ini";
    Settings first = Settings::defaults("/a");
    first.WebServe.Port = "1111";
    first.WebServe.User = "alpha";
    first.blocked = {"a1", "a2", "a3"};
    ASSERT_EQ(SettingsFile(path).save(first).message, "");

    std::mt19937 random(12345);
    int sawA = 0, sawB = 0;
    for (int round = 0; round < 120; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(progress[1], 1);
            execl(KESTRELON_SAVE_LOOP, KESTRELON_SAVE_LOOP, path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(progress[1]);
        // Once the first save is done the loop is in full swing; then kill it at a random moment,
        // which lands in the middle of a save most of the time (each takes a few milliseconds).
        pollfd p{progress[0], POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10000), 1) << "the save loop did not get going";
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 6000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        close(progress[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the save loop ended by itself: " << status;

        auto loaded = SettingsFile(path).load(Settings::defaults("/none"));
        ASSERT_TRUE(loaded.existed);
        ASSERT_TRUE(loaded.error.empty());
        const WebServeSettings& w = loaded.settings.WebServe;
        if (w.Port == "1111") {
            ++sawA;
            EXPECT_EQ(w.User, "alpha");
            EXPECT_EQ(w.Root, "/a");
            EXPECT_EQ(loaded.settings.blocked, (std::vector<std::string>{"a1", "a2", "a3"}));
        } else {
            ++sawB;
            ASSERT_EQ(w.Port, "2222") << "round " << round;
            EXPECT_EQ(w.User, "bravo");
            EXPECT_EQ(w.Root, "/b");
            EXPECT_EQ(loaded.settings.blocked, (std::vector<std::string>{"b1"}));
        }
    }
    // Both sets were seen, so the kills really landed in the middle of saving.
    EXPECT_GT(sawA, 0);
    EXPECT_GT(sawB, 0);
}
