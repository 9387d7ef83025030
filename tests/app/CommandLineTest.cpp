#include "app/CommandLine.h"

#include <gtest/gtest.h>

using kestrelon::CommandLine;

TEST(CommandLine, SwitchesInAnyCaseWithEitherPrefix)
{
    auto cmd = CommandLine::parse({"/AUTO", "-NoAuto", "--nolookup", "/NoExternal", "auto", "-autox"});
    EXPECT_TRUE(cmd.autoStart);
    EXPECT_TRUE(cmd.noAuto);
    EXPECT_TRUE(cmd.noLookup);
    EXPECT_TRUE(cmd.noExternal);
    EXPECT_FALSE(cmd.headless);

    cmd = CommandLine::parse({"auto", "noauto"}); // without a prefix: ignored
    EXPECT_FALSE(cmd.autoStart);
    EXPECT_FALSE(cmd.noAuto);

    cmd = CommandLine::parse({"--headless", "--config", "/tmp/x.ini", "--listen", "127.0.0.1", "--version"});
    EXPECT_TRUE(cmd.headless);
    EXPECT_EQ(cmd.config, "/tmp/x.ini");
    EXPECT_EQ(cmd.listen, "127.0.0.1");
    EXPECT_TRUE(cmd.version);
    EXPECT_TRUE(cmd.error.empty());

    cmd = CommandLine::parse({"--config"});
    EXPECT_FALSE(cmd.error.empty());
    EXPECT_NE(std::string(CommandLine::usage()).find("--listen ADDRESS"), std::string::npos);
}
