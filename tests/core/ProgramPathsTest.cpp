#include "core/ProgramPaths.h"

#include <gtest/gtest.h>

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
