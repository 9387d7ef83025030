// The first start of an installed program: the files it writes into the configuration folder.
#include "app/FirstStart.h"
#include "core/SettingsFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class FirstStartTest : public ::testing::Test {
protected:
    FirstStartTest()
    {
        paths.dataDir = dir.mkdir("cfg/kestrelon");
        paths.settingsFile = paths.dataDir + "/kestrelon.ini";
    }

    std::string webRoot() const { return paths.dataDir + "/www"; }

    TempDir dir;
    ProgramPaths paths;
};

} // namespace

TEST_F(FirstStartTest, WritesAWorkingSettingsFileAndTheSampleSiteOnceAndKeepsWhatIsThere)
{
    dir.write("site/index.html", "SAMPLE");
    dir.write("site/css/style.css", "STYLE");
    paths.sampleSite = dir.path() + "/site";

    FirstStart first = prepareFirstStart(paths, false);
    ASSERT_TRUE(first.created) << first.note;
    EXPECT_NE(first.note.find(paths.settingsFile), std::string::npos);
    EXPECT_NE(first.note.find(webRoot()), std::string::npos);
    EXPECT_EQ(readFile(webRoot() + "/index.html"), "SAMPLE");
    EXPECT_EQ(readFile(webRoot() + "/css/style.css"), "STYLE");
    struct stat st {};
    ASSERT_EQ(::stat(paths.settingsFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The file reads back as a server an account can start, serving the new root; the feedback
    // goes outside it.
    SettingsFile file(paths.settingsFile);
    auto loaded = file.load(Settings::defaults(paths.dataDir));
    ASSERT_TRUE(loaded.error.empty()) << loaded.error;
    EXPECT_EQ(loaded.settings.WebServe.Port, "8080");
    EXPECT_TRUE(loaded.settings.WebServe.AutoStart);
    EXPECT_EQ(loaded.settings.WebServe.Root, webRoot());
    EXPECT_EQ(loaded.settings.WebServe.AppendFile.rfind(webRoot() + "/", 0), std::string::npos);
    EXPECT_EQ(loaded.settings.Camera.File, webRoot() + "/untitled.jpg");

    // Once the file is there, nothing happens again, whatever the user changed.
    dir.write("cfg/kestrelon/kestrelon.ini", "[WebServe]\nPort=9000\n");
    EXPECT_TRUE(prepareFirstStart(paths, false).note.empty());
    EXPECT_EQ(readFile(paths.settingsFile), "[WebServe]\nPort=9000\n");

    // A lost settings file comes back; the user's own pages stay.
    std::filesystem::remove(paths.settingsFile);
    dir.write("cfg/kestrelon/www/index.html", "MINE");
    dir.write("cfg/kestrelon/www/css/style.css", "MY STYLE");
    EXPECT_TRUE(prepareFirstStart(paths, false).created);
    EXPECT_EQ(readFile(webRoot() + "/index.html"), "MINE");
    EXPECT_EQ(readFile(webRoot() + "/css/style.css"), "MY STYLE");
}

TEST_F(FirstStartTest, NothingForPortableOrGivenFilesAStarterPageWithoutSampleAndFailuresSaid)
{
    paths.portable = true;
    EXPECT_TRUE(prepareFirstStart(paths, false).note.empty());
    paths.portable = false;
    EXPECT_TRUE(prepareFirstStart(paths, true).note.empty());
    EXPECT_FALSE(std::filesystem::exists(paths.settingsFile));
    EXPECT_FALSE(std::filesystem::exists(webRoot()));

    // No sample site installed (or one without a default file): a page of its own.
    dir.mkdir("empty-site");
    paths.sampleSite = dir.path() + "/empty-site";
    ASSERT_TRUE(prepareFirstStart(paths, false).created);
    EXPECT_NE(readFile(webRoot() + "/index.html").find("Kestrelon is serving"), std::string::npos);

    // A web root that cannot be made: the note says so and no settings file claims it.
    std::filesystem::remove(paths.settingsFile);
    std::filesystem::remove_all(webRoot());
    dir.write("cfg/kestrelon/www", "a file in the way");
    FirstStart failed = prepareFirstStart(paths, false);
    EXPECT_FALSE(failed.created);
    EXPECT_EQ(failed.note.rfind("First start: Unable to create the folder " + webRoot(), 0), 0u)
        << failed.note;
    EXPECT_FALSE(std::filesystem::exists(paths.settingsFile));
}
