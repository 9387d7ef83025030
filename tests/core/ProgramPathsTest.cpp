#include "core/ProgramPaths.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <pwd.h>
#include <unistd.h>

using namespace kestrelon;

TEST(ProgramPaths, SettingsFileBesideTheExecutableOrAsGiven)
{
    // The test runs from the build tree, which is writable: a portable install.
    std::string exeDir = executableDir();
    ASSERT_FALSE(exeDir.empty());
    EXPECT_EQ(exeDir.back() == '/', false);
    ASSERT_EQ(::access(exeDir.c_str(), W_OK), 0);
    ProgramPaths paths = ProgramPaths::locate();
    EXPECT_EQ(paths.dataDir, exeDir);
    EXPECT_EQ(paths.settingsFile, exeDir + "/kestrelon.ini");
    EXPECT_EQ(paths.uploadFile(), exeDir + "/kestrelon.tmp");

    // --config names another file; the program's other files stay where they were.
    paths = ProgramPaths::locate("/etc/kestrelon/site.ini");
    EXPECT_EQ(paths.settingsFile, "/etc/kestrelon/site.ini");
    EXPECT_EQ(paths.dataDir, exeDir);
    // The upload file goes beside the settings file in use.
    EXPECT_EQ(paths.uploadFile(), "/etc/kestrelon/kestrelon.tmp");
    paths.settingsFile = "/kestrelon.ini";
    EXPECT_EQ(paths.uploadFile(), "/kestrelon.tmp");
}

TEST(ProgramPaths, InstalledProgramKeepsEachUsersFilesInTheConfigurationFolder)
{
    kestrelon::test::TempDir dir;
    kestrelon::test::ScopedEnvironment env;
    env.set("XDG_CONFIG_HOME", dir.path() + "/cfg");
    // Installed beside share/kestrelon: never portable, even in a folder it could write to.
    const std::string bin = dir.mkdir("usr/bin");
    dir.write("usr/share/kestrelon/site/index.html", "SAMPLE");
    ProgramPaths paths = ProgramPaths::locateFrom(bin, {});
    EXPECT_FALSE(paths.portable);
    EXPECT_EQ(paths.dataDir, dir.path() + "/cfg/kestrelon");
    EXPECT_EQ(std::filesystem::status(paths.dataDir).permissions(), std::filesystem::perms::owner_all);
    EXPECT_EQ(paths.settingsFile, dir.path() + "/cfg/kestrelon/kestrelon.ini");
    EXPECT_EQ(paths.sampleSite, dir.path() + "/usr/share/kestrelon/site");
    EXPECT_EQ(paths.helpDocument(), dir.path() + "/cfg/kestrelon/kestrelon.html");

    // A writable folder of its own is a portable install, with no sample site.
    const std::string portable = dir.mkdir("portable");
    paths = ProgramPaths::locateFrom(portable, {});
    EXPECT_TRUE(paths.portable);
    EXPECT_EQ(paths.dataDir, portable);
    EXPECT_EQ(paths.sampleSite, "");

    // A relative XDG_CONFIG_HOME does not count; without HOME the account's folder is used.
    env.set("XDG_CONFIG_HOME", "relative/cfg");
    env.set("HOME", dir.path() + "/home");
    EXPECT_EQ(configHome(), dir.path() + "/home/.config");
    env.set("HOME", std::nullopt);
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(configHome(), std::string(account->pw_dir) + "/.config");
}
