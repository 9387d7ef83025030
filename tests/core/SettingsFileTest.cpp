#include "core/SettingsFile.h"
#include "core/Colours.h"
#include "core/IniFile.h"
#include "core/PasswordScrambler.h"
#include "core/SettingsKeys.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <sys/stat.h>

using namespace kestrelon;
using kestrelon::test::readFile;
using kestrelon::test::TempDir;

namespace {

Settings defaults()
{
    Settings s = Settings::defaults("/opt/kestrelon");
    s.TimeServer.DailyTime = 8 * 3600 + 15 * 60;
    return s;
}

// A value of every key that differs from its default.
Settings everyValueChanged()
{
    Settings s = defaults();
    int n = 0;
    for (const KeyDef& k : settingsReadOrder()) {
        ++n;
        if (k.boolField) {
            k.boolField(s) = !k.boolField(s);
        } else if (k.intField) {
            k.intField(s) = k.type == ValueType::Time ? 3600 * 13 + 60 * 7 + 9 : k.intField(s) + n;
        } else if (k.textField) {
            k.textField(s) = std::string(k.key) + " value " + std::to_string(n);
        }
    }
    // The remembered passwords are stored only with their boxes ticked (inverted above).
    s.Remote.SavePass = s.FTPCamera.SavePass = s.WebServe.RemRemotePass = true;
    s.items = {{"/usr/bin/xclock -digital", true}, {"/usr/bin/xeyes", false}};
    s.blocked = {"10.0.0.8", "spam.example"};
    s.schedule = {{"12:00:00", "5", true}, {"12:00:00", "5", false}, {"13:30:00", "-2", true}};
    s.routers = {{"Home", "192.168.1.1/status.html;user;pw;Address;12", true}, {"Work", "x", false}};
    s.localTemplates = {{"/srv/tpl/index.tpl", "/srv/www/index.html", true}};
    s.remoteTemplates = {{"/srv/tpl/remote.tpl", "index.html", false}, {"/srv/tpl/b.tpl", "b.html", true}};
    return s;
}

} // namespace

TEST(SettingsKeys, EveryKeyIsReadAndWrittenOnce)
{
    std::multiset<std::string> read, written;
    for (const KeyDef& k : settingsReadOrder()) {
        read.insert(std::string(k.section) + "/" + k.key);
    }
    for (const KeyDef& k : settingsWriteOrder()) {
        if (k.type != ValueType::List) {
            written.insert(std::string(k.section) + "/" + k.key);
        }
    }
    // Lists are read as pairs but written section by section; compare the single keys.
    for (const char* list : {"items", "blocked", "IOTimes", "Routers", "Template", "RemoteTemplate"}) {
        read.erase(std::string(list) + "/" + list);
    }
    EXPECT_EQ(read, written);
    EXPECT_EQ(written.size(), 151u);
    for (const auto& k : read) {
        EXPECT_EQ(read.count(k), 1u) << k;
    }
}

TEST(SettingsFile, RoundTripsGiveTheSameBytes)
{
    TempDir dir;
    for (const Settings& original : {defaults(), everyValueChanged()}) {
        std::string path = dir.path() + "/kestrelon.ini";
        std::filesystem::remove(path);
        SettingsFile file(path);
        ASSERT_EQ(file.save(original).message, "");
        std::string first = readFile(path);
        auto loaded = file.load(defaults());
        EXPECT_TRUE(loaded.existed);
        EXPECT_TRUE(loaded.settings == original);
        ASSERT_EQ(file.save(loaded.settings).message, "");
        EXPECT_EQ(readFile(path), first);
    }
}

TEST(SettingsFile, LayoutFollowsTheWriteOrder)
{
    TempDir dir;
    SettingsFile file(dir.path() + "/k.ini");
    ASSERT_EQ(file.save(everyValueChanged()).message, "");
    std::string text = readFile(file.path());
    std::vector<std::string> sections;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.front() == '[') {
            sections.push_back(line.substr(1, line.find(']') - 1));
        }
    }
    // The single keys in the order of writing, then the lists, which a save always rewrites at the
    // end of the file.
    EXPECT_EQ(sections,
              (std::vector<std::string>{
                  "SplashScreen", "Router",   "IO",       "DNS",        "WebServe",      "TimeServer",
                  "Camera",       "Archiver", "FTP",      "Remote",     "FTPCamera",     "System",
                  "VidStream",    "items",    "blocked",  "LocalFile",  "Routers",       "RoutersData",
                  "IOTimes",      "IOValues", "Template", "RemoteFile", "RemoteTemplate"}));
    EXPECT_NE(
        text.find(
            "[WebServe]\nPort=Port value 19\nRootFile=RootFile value 21\nRoot=Root value 20\nAppend=0\n"),
        std::string::npos)
        << text.substr(0, 400);
    EXPECT_NE(text.find("[TimeServer]\nServer=Server value 59\nDaily=1\nLast=Last value 62\n"
                        "DailyTime=30/12/1899 13:07:09\n"),
              std::string::npos);
}

TEST(SettingsFile, PasswordsAreScrambledAndRememberedOnlyWhenAsked)
{
    EXPECT_EQ(EnDeCrypt("abc"), "\x9e\x9d\x9c");
    EXPECT_EQ(EnDeCrypt(EnDeCrypt("pässwörd")), "pässwörd");
    EXPECT_EQ(EnDeCrypt(""), "");

    TempDir dir;
    SettingsFile file(dir.path() + "/k.ini");
    Settings s = defaults();
    s.WebServe.Pass = "abc";
    s.Remote.Password = "ftp-secret";
    s.Remote.SavePass = false;
    s.FTPCamera.Password = "cam";
    s.FTPCamera.SavePass = true;
    s.WebServe.RemotePass = "off";
    s.WebServe.RemRemotePass = false;
    ASSERT_EQ(file.save(s).message, "");
    IniFile ini(readFile(file.path()));
    EXPECT_EQ(ini.value("WebServe", "Pass"), "\x9e\x9d\x9c");
    EXPECT_EQ(ini.value("Remote", "Password"), "");
    EXPECT_EQ(ini.value("WebServe", "RemotePass"), "");
    EXPECT_EQ(ini.value("FTPCamera", "Password"), EnDeCrypt("cam"));
    auto loaded = file.load(defaults()).settings;
    EXPECT_EQ(loaded.WebServe.Pass, "abc");
    EXPECT_EQ(loaded.Remote.Password, "");
    EXPECT_EQ(loaded.FTPCamera.Password, "cam");

    // A password that would scramble into a line break is refused, the file left alone.
    std::string before = readFile(file.path());
    s.DNS.WebPass = std::string("ab\xf5", 3);
    std::string error = file.save(s).message;
    EXPECT_EQ(error.rfind("Unable to write to " + file.path(), 0), 0u) << error;
    EXPECT_NE(error.find("[DNS] WebPass"), std::string::npos);
    EXPECT_EQ(readFile(file.path()), before);
    EXPECT_FALSE(survivesScrambling("\xf5"));
    EXPECT_FALSE(survivesScrambling("\xf2"));
    EXPECT_TRUE(survivesScrambling("\xc3\xa9\xf0\x9f\x98\x80"));
}

TEST(SettingsFile, ListForms)
{
    TempDir dir;
    SettingsFile file(dir.path() + "/k.ini");
    Settings s = defaults();
    s.blocked = {"10.0.0.8", "10.0.0.8", "a=b", "  padded  ", "Host", "host"};
    s.items = {{"/bin/a", true},
               {"/bin/a", false},
               {"/bin/cam --rate=5 --size==2", true},
               {"/bin/A", false},
               {"/bin/b x=", false}};
    s.schedule = {{"12:00:00", "5", true}, {"12:00:00", "5", true}, {"x", "y", false}, {"10-20", "3", true}};
    s.routers = {{"r", "d", true}, {"r", "d", false}};
    ASSERT_EQ(file.save(s).message, "");
    IniFile ini(readFile(file.path()));
    EXPECT_EQ(ini.value("IOTimes", "3-10-20"), "1");
    EXPECT_EQ(ini.value("IOValues", "0-5"), "1");
    EXPECT_EQ(ini.value("RoutersData", "1-d"), "0");

    auto loaded = file.load(defaults()).settings;
    // Entries that are keys keep their "=" and their letter case, and equal entries stay two;
    // only blanks around an entry go.
    EXPECT_EQ(loaded.blocked,
              (std::vector<std::string>{"10.0.0.8", "10.0.0.8", "a=b", "padded", "Host", "host"}));
    EXPECT_EQ(loaded.items, s.items);
    // A hand-written file in the old form still reads.
    IniFile hand("[items]\n/bin/x -v=1\n/bin/y=0\n/bin/z=\n");
    Settings fromHand = defaults();
    loadSettings(hand, fromHand);
    EXPECT_EQ(fromHand.items,
              (std::vector<CheckedEntry>{{"/bin/x -v", true}, {"/bin/y", false}, {"/bin/z", false}}));
    // Numbered lists keep equal entries; "-" after the position stays.
    EXPECT_EQ(loaded.schedule, s.schedule);
    EXPECT_EQ(loaded.schedule[3].time, "10-20");
    EXPECT_EQ(loaded.routers, s.routers);

    // An empty list leaves no section; a list written again moves to the end of the file.
    s.blocked.clear();
    ASSERT_EQ(file.save(s).message, "");
    EXPECT_FALSE(IniFile(readFile(file.path())).hasSection("blocked"));
}

TEST(SettingsFile, PairedListsOfDifferentLengthsAreCutToTheShorter)
{
    TempDir dir;
    std::string path = dir.write("k.ini", "[Template]\na.tpl=1\nb.tpl=1\n[LocalFile]\na.html=1\n"
                                          "[Routers]\n0-one=1\n[RoutersData]\n0-d1=1\n1-d2=0\n");
    auto s = SettingsFile(path).load(defaults()).settings;
    EXPECT_EQ(s.localTemplates, (std::vector<TemplatePair>{{"a.tpl", "a.html", true}}));
    EXPECT_EQ(s.routers, (std::vector<LookupDefinition>{{"one", "d1", true}}));
}

TEST(SettingsFile, ColoursByNameOrNumber)
{
    EXPECT_EQ(colourToText(0x0000FF), "clRed");
    EXPECT_EQ(colourToText(0x000080FF), "$000080FF"); // orange: red 255, green 128, blue 0
    EXPECT_EQ(colourToText(Colour(0xFF00000C)), "clAppWorkSpace");
    EXPECT_EQ(colourToText(0x1FFFFFFF), "clNone");
    EXPECT_EQ(colourToText(0x20000000), "clDefault");
    EXPECT_EQ(colourFromText("CLRED"), 0x0000FF);
    EXPECT_EQ(colourFromText("clBtnFace"), Colour(0xFF00000F));
    EXPECT_EQ(colourFromText("$000080FF"), 0x000080FF);
    EXPECT_EQ(colourFromText("255"), 255);
    EXPECT_FALSE(colourFromText("clPink").has_value());

    TempDir dir;
    std::string path = dir.write("k.ini", "[WebServe]\nTextColour=clred\nColour=$000080FF\nColour2=clPink\n");
    auto s = SettingsFile(path).load(defaults()).settings;
    EXPECT_EQ(s.WebServe.TextColour, 0x0000FF);
    EXPECT_EQ(s.WebServe.Colour1, 0x000080FF);
    EXPECT_EQ(s.WebServe.Colour2, 0x000000); // unreadable: the default
    ASSERT_EQ(SettingsFile(path).save(s).message, "");
    IniFile ini(readFile(path));
    EXPECT_EQ(ini.value("WebServe", "TextColour"), "clRed");
    EXPECT_EQ(ini.value("WebServe", "Colour"), "$000080FF");
    EXPECT_EQ(ini.value("WebServe", "DeskColour"), "clAppWorkSpace");
}

TEST(SettingsFile, ReadingIsForgiving)
{
    TempDir dir;
    std::string path = dir.write("k.ini", "[router]\n"
                                          "userdefined=1\n"
                                          "SELECTEDROUTER=$1F\n"
                                          "[WEBSERVE]\n"
                                          "auth=yes\n"            // not a number: the default
                                          "revdns = 0 \n"         // blanks around a number are fine
                                          "CounterFontSize=12x\n" // not a number: the default
                                          "CounterFontStyle=0x3\n"
                                          "Root=/srv/www\n"
                                          "Login=" +
                                              std::string(2100, 'L') +
                                              "\n"
                                              "[TimeServer]\n"
                                              "DailyTime=14:30\n"
                                              "Overlay=from time server\n"
                                              "[Camera]\n"
                                              "OvText=from camera\n"
                                              "Interval=-5\n");
    auto s = SettingsFile(path).load(defaults()).settings;
    EXPECT_TRUE(s.Router.UserDefined);
    EXPECT_EQ(s.Router.SelectedRouter, 31);
    EXPECT_FALSE(s.WebServe.Auth);
    EXPECT_FALSE(s.WebServe.RevDNS);
    EXPECT_EQ(s.WebServe.CounterFontSize, 14);
    EXPECT_EQ(s.WebServe.CounterFontStyle, 3);
    EXPECT_EQ(s.WebServe.Root, "/srv/www");
    EXPECT_EQ(s.WebServe.Login.size(), 2047u);
    EXPECT_EQ(s.TimeServer.DailyTime, 14 * 3600 + 30 * 60);
    EXPECT_EQ(s.Camera.OvText, "from camera"); // read after [TimeServer] Overlay, so it decides
    EXPECT_EQ(s.Camera.Interval, -5);
    // Both keys are written with the one pattern.
    ASSERT_EQ(SettingsFile(path).save(s).message, "");
    IniFile ini(readFile(path));
    EXPECT_EQ(ini.value("TimeServer", "Overlay"), "from camera");
    EXPECT_EQ(ini.value("Camera", "OvText"), "from camera");

    // A missing file is no error: every key has its default.
    auto missing = SettingsFile(dir.path() + "/none.ini").load(defaults());
    EXPECT_FALSE(missing.existed);
    EXPECT_TRUE(missing.error.empty());
    EXPECT_TRUE(missing.settings == defaults());
    // A folder where the file should be cannot be read at all.
    dir.mkdir("folder.ini");
    EXPECT_FALSE(SettingsFile(dir.path() + "/folder.ini").load(defaults()).error.empty());
}

TEST(SettingsFile, DailyTimeForms)
{
    EXPECT_EQ(timeOfDayToText(14 * 3600 + 30 * 60), "30/12/1899 14:30:00");
    EXPECT_EQ(timeOfDayToText(0), "30/12/1899"); // midnight: the time part is left out
    EXPECT_EQ(timeOfDayFromText("30/12/1899 14:30:00"), 14 * 3600 + 30 * 60);
    EXPECT_EQ(timeOfDayFromText("01/02/2024 7:05"), 7 * 3600 + 5 * 60);
    EXPECT_EQ(timeOfDayFromText("30/12/1899"), 0);
    EXPECT_EQ(timeOfDayFromText("23:59:59"), 86399);
    // The twelve-hour forms, as other programs and hands write them.
    EXPECT_EQ(timeOfDayFromText("4:30 PM"), 16 * 3600 + 30 * 60);
    EXPECT_EQ(timeOfDayFromText("4:30:15 pm"), 16 * 3600 + 30 * 60 + 15);
    EXPECT_EQ(timeOfDayFromText("30/12/1899 4:30:00 PM"), 16 * 3600 + 30 * 60);
    EXPECT_EQ(timeOfDayFromText("4:30AM"), 4 * 3600 + 30 * 60);
    EXPECT_EQ(timeOfDayFromText("12:05 AM"), 5 * 60);
    EXPECT_EQ(timeOfDayFromText("12:05 PM"), 12 * 3600 + 5 * 60);
    for (const char* bad : {"", "25:00", "12:60", "noon", "32/01/2000 10:00", "10", "13:00 PM", "0:30 AM",
                            "4:30 XM", "4:30 PM!", "4:30junk", "01/02/20247:05"}) {
        EXPECT_FALSE(timeOfDayFromText(bad).has_value()) << bad;
    }
}

TEST(SettingsFile, WhatIsReadIsWrittenBackAsItWas)
{
    TempDir dir;
    // An editor's byte order mark before the first section, and a stored password holding a NUL
    // and a carriage return (the bytes 255 and 242 once unscrambled).
    const std::string pass = std::string("x\0y\rz", 5);
    std::string path = dir.write("k.ini", "\xEF\xBB\xBF[WebServe]\nPort=8081\nPass=" + pass + "\n");
    SettingsFile file(path);
    auto loaded = file.load(defaults());
    ASSERT_EQ(loaded.error, "");
    EXPECT_EQ(loaded.settings.WebServe.Port, "8081");
    EXPECT_EQ(loaded.settings.WebServe.Pass, EnDeCrypt(pass));
    ASSERT_EQ(file.save(loaded.settings).message, "");
    const std::string text = readFile(path);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF[WebServe]\nPort=8081\nPass=" + pass + "\n", 0), 0u);
    EXPECT_EQ(text.find("[WebServe]", 10), std::string::npos); // no second one with defaults
    auto again = file.load(defaults()).settings;
    EXPECT_EQ(again.WebServe.Pass, EnDeCrypt(pass));
    ASSERT_EQ(file.save(again).message, "");
    EXPECT_EQ(readFile(path), text);
}

TEST(SettingsFile, AFileThatIsNotWholeOrNotASettingsFileIsNotUsed)
{
    TempDir dir;
    std::string path = dir.path() + "/k.ini";
    SettingsFile file(path);
    Settings s = defaults();
    s.WebServe.Auth = true;
    s.blocked = {"10.0.0.8"};
    ASSERT_EQ(file.save(s).message, "");
    const std::string whole = readFile(path);
    auto reloadError = [&](const std::string& text) {
        dir.write("k.ini", text);
        auto result = file.reload(defaults());
        EXPECT_TRUE(result.error.rfind("Settings not reloaded from " + path + ": ", 0) == 0) << result.error;
        EXPECT_NE(result.error.find("the settings in use are kept"), std::string::npos);
        return result.error;
    };
    EXPECT_NE(reloadError("").find("empty"), std::string::npos);
    EXPECT_NE(reloadError("[Mine]\nx=1\n").find("not a settings file"), std::string::npos);
    EXPECT_NE(reloadError(whole.substr(0, whole.size() / 2)).find("half-written"), std::string::npos);
    // Cut at a line's end: the sections after the cut are missing.
    const size_t cut = whole.find("\n[Camera]");
    EXPECT_NE(reloadError(whole.substr(0, cut + 1)).find("[Camera]"), std::string::npos);
    std::filesystem::remove(path);
    EXPECT_NE(file.reload(defaults()).error.find("missing"), std::string::npos);

    // A whole file is taken, and becomes what later reloads are measured against.
    dir.write("k.ini", whole);
    auto reloaded = file.reload(defaults());
    ASSERT_EQ(reloaded.error, "");
    EXPECT_TRUE(reloaded.settings.WebServe.Auth);
    EXPECT_EQ(reloaded.settings.blocked, std::vector<std::string>{"10.0.0.8"});
    EXPECT_EQ(file.reload(defaults()).error, "");

    // At start-up a file of blanks and comments is a new file; another program's file is no
    // settings file and stops the start rather than being written over at the exit.
    EXPECT_EQ(SettingsFile(dir.write("c.ini", "; mine\n")).load(defaults()).error, "");
    const std::string other = dir.write("other.ini", "[Desktop Entry]\nName=x\n");
    EXPECT_EQ(SettingsFile(other).load(defaults()).error,
              other + " is not a settings file of Kestrelon: none of its sections is one of the program's");
}

TEST(SettingsFile, AFileChangedByAnotherProgramIsReplacedOnlyWhenAsked)
{
    TempDir dir;
    std::string path = dir.write("k.ini", "[WebServe]\nPort=81\n");
    SettingsFile file(path);
    Settings s = file.load(defaults()).settings;
    EXPECT_FALSE(file.changedOnDisk());
    ASSERT_TRUE(file.save(s).saved());
    EXPECT_FALSE(file.changedOnDisk()); // its own write is no change

    // The admin writes the file while the program runs.
    const std::string theirs = "[WebServe]\nPort=82\n";
    dir.write("k.ini", theirs);
    EXPECT_TRUE(file.changedOnDisk());
    auto kept = file.save(s);
    EXPECT_EQ(kept.status, SettingsFile::SaveStatus::KeptChangedFile);
    EXPECT_NE(kept.message.find(path + " was changed by another program"), std::string::npos) << kept.message;
    EXPECT_EQ(readFile(path), theirs);
    // Told to, the save replaces it; from then on the file is the program's again.
    ASSERT_TRUE(file.save(s, /*replaceChangedFile=*/true).saved());
    EXPECT_EQ(IniFile(readFile(path)).value("WebServe", "Port"), "81");
    EXPECT_TRUE(file.save(s).saved());

    // A file that was removed is written anew: nothing is replaced.
    std::filesystem::remove(path);
    EXPECT_FALSE(file.changedOnDisk());
    EXPECT_TRUE(file.save(s).saved());
    // A file that did not exist at the start but does now is somebody else's.
    SettingsFile fresh(dir.path() + "/new.ini");
    fresh.load(defaults());
    dir.write("new.ini", theirs);
    EXPECT_EQ(fresh.save(s).status, SettingsFile::SaveStatus::KeptChangedFile);
    EXPECT_EQ(readFile(dir.path() + "/new.ini"), theirs);
}

TEST(SettingsFile, HandWrittenFileKeepsEverythingItDoesNotKnow)
{
    TempDir dir;
    const std::string handWritten = "; my settings, edited by hand\n"
                                    "\n"
                                    "[Mine]\n"
                                    "colour=blue\n"
                                    "\n"
                                    "[webServe]\n"
                                    "# the port\n"
                                    "PORT=8081\n"
                                    "unknownKey=stays\n"
                                    "\n"
                                    "[Trailer]\n"
                                    "last=1\n";
    std::string path = dir.write("k.ini", handWritten);
    SettingsFile file(path);
    auto s = file.load(defaults()).settings;
    EXPECT_EQ(s.WebServe.Port, "8081");
    ASSERT_EQ(file.save(s).message, "");
    std::string text = readFile(path);
    // The start of the file is untouched but for new keys at the end of [webServe].
    EXPECT_EQ(text.rfind("; my settings, edited by hand\n\n[Mine]\ncolour=blue\n\n[webServe]\n# the port\n"
                         "PORT=8081\nunknownKey=stays\nRootFile=index.html\n",
                         0),
              0u)
        << text.substr(0, 300);
    EXPECT_NE(text.find("\n\n[Trailer]\nlast=1\n"), std::string::npos);
    size_t webServeKeys = 0;
    for (const KeyDef& k : settingsWriteOrder()) {
        webServeKeys += std::string(k.section) == "WebServe";
    }
    EXPECT_EQ(IniFile(text).keyNames("WebServe").size(), webServeKeys + 1); // and unknownKey
    ASSERT_EQ(file.save(file.load(defaults()).settings).message, "");
    EXPECT_EQ(readFile(path), text);
}

TEST(SettingsFile, RefusedWritesLeaveTheFileAsItWas)
{
    TempDir dir;
    std::string path = dir.write("k.ini", "[WebServe]\nPort=81\n");
    ::chmod(path.c_str(), 0444);
    SettingsFile file(path);
    Settings s = defaults();
    EXPECT_EQ(file.save(s).message, "Unable to write to " + path);
    EXPECT_EQ(readFile(path), "[WebServe]\nPort=81\n");
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    // A folder that does not exist.
    SettingsFile nowhere(dir.path() + "/missing/k.ini");
    EXPECT_EQ(nowhere.save(s).message, "Unable to write to " + dir.path() + "/missing/k.ini");

    // Permissions of a writable file are kept; a new file is private to its owner.
    std::string kept = dir.write("kept.ini", "");
    ::chmod(kept.c_str(), 0640);
    ASSERT_EQ(SettingsFile(kept).save(s).message, "");
    ::stat(kept.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(SettingsFile(dir.path() + "/new.ini").save(s).message, "");
    ::stat((dir.path() + "/new.ini").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A settings file that is a link is written where the link points; the link stays.
    std::filesystem::create_symlink(kept, dir.path() + "/link.ini");
    s.WebServe.Port = "99";
    ASSERT_EQ(SettingsFile(dir.path() + "/link.ini").save(s).message, "");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() + "/link.ini"));
    EXPECT_EQ(IniFile(readFile(kept)).value("WebServe", "Port"), "99");
    // No temporary files are left behind.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
    }
}
