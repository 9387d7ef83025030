// The rules for one entry of the program list, on real files in a temporary folder.
#include "launcher/ProgramEntry.h"
#include "launcher/ProgramScripts.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <filesystem>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

// The words /bin/sh makes of text (nothing in the cases below expands).
std::vector<std::string> shellWords(const std::string& text)
{
    QProcess sh;
    sh.start("/bin/sh",
             {"-c", QString::fromStdString("set -- " + text + "\nfor a; do printf '%s\\0' \"$a\"; done")});
    if (!sh.waitForFinished(5000)) {
        sh.kill();
        sh.waitForFinished(1000);
        return {"<sh did not finish>"};
    }
    std::vector<std::string> words;
    const QByteArray out = sh.readAllStandardOutput();
    for (qsizetype start = 0, end; (end = out.indexOf('\0', start)) >= 0; start = end + 1) {
        words.push_back(out.mid(start, end - start).toStdString());
    }
    return words;
}

} // namespace

TEST(ProgramEntry, TheLongestExistingExecutablePrefixIsTheProgram)
{
    TempDir dir;
    const std::string cam = writeFileWithMode(dir, "My Tools/cam tool", "#!/bin/sh\n", 0755);
    const std::string my = writeFileWithMode(dir, "My", "#!/bin/sh\n", 0755);
    writeFileWithMode(dir, "plain", "not a program", 0644);
    dir.mkdir("folder");

    // Blanks in folder and file names: only the file system tells where the path ends.
    ProgramEntry e = ProgramEntry::parse(cam + " -a 'b c'");
    EXPECT_EQ(e.executable, cam);
    EXPECT_EQ(e.arguments, "-a 'b c'");
    e = ProgramEntry::parse(cam);
    EXPECT_EQ(e.executable, cam);
    EXPECT_EQ(e.arguments, "");
    // The longest prefix that exists wins, even a shorter one when the longer is gone.
    e = ProgramEntry::parse(dir.path() + "/My Tools/missing -x");
    EXPECT_EQ(e.executable, my);
    EXPECT_EQ(e.arguments, "Tools/missing -x");
    // Only the blank that ends the path is dropped; the arguments keep their own blanks.
    e = ProgramEntry::parse(cam + "  -x ");
    EXPECT_EQ(e.executable, cam);
    EXPECT_EQ(e.arguments, " -x ");

    // Not executable, a folder, nothing there, empty: no program.
    EXPECT_EQ(ProgramEntry::parse(dir.path() + "/plain -x").executable, "");
    EXPECT_EQ(ProgramEntry::parse(dir.path() + "/folder").executable, "");
    EXPECT_EQ(ProgramEntry::parse(dir.path() + "/nothing").executable, "");
    EXPECT_EQ(ProgramEntry::parse("").executable, "");
    // No search along PATH: a bare name is not a program.
    EXPECT_EQ(ProgramEntry::parse("sh -c true").executable, "");
    EXPECT_FALSE(isExecutableFile(dir.path() + "/folder"));
    EXPECT_FALSE(isExecutableFile(dir.path() + "/plain"));
    EXPECT_TRUE(isExecutableFile(cam));
}

TEST(ProgramEntry, WindowsProgramsKeepTheExeRule)
{
    TempDir dir;
    ProgramEntry e = ProgramEntry::parse("C:\\Program Files\\Cam\\cam.exe -x /y");
    EXPECT_EQ(e.executable, "C:\\Program Files\\Cam\\cam.exe");
    EXPECT_EQ(e.arguments, "-x /y");
    e = ProgramEntry::parse("C:\\cam.exe");
    EXPECT_EQ(e.executable, "C:\\cam.exe");
    EXPECT_EQ(e.arguments, "");
    EXPECT_EQ(ProgramEntry::parse("C:\\cam.exe ").arguments, "");

    // An existing program with ".exe" runs; one written "EXE" never does, even when it exists.
    const std::string tool = writeFileWithMode(dir, "tool.exe", "#!/bin/sh\n", 0755);
    e = ProgramEntry::parse(tool + " -v");
    EXPECT_EQ(e.executable, tool);
    EXPECT_EQ(e.arguments, "-v");
    const std::string upper = writeFileWithMode(dir, "CAM.EXE", "#!/bin/sh\n", 0755);
    EXPECT_EQ(ProgramEntry::parse(upper).executable, "");
    EXPECT_EQ(ProgramEntry::parse(upper + " -x").executable, "");
    EXPECT_EQ(ProgramEntry::parse(dir.path() + "/Cam.Exe").executable, "");

    // ".exe" inside a word is not an extension: a Linux path through "my.exercises" still runs.
    const std::string linux = writeFileWithMode(dir, "my.exercises/run", "#!/bin/sh\n", 0755);
    e = ProgramEntry::parse(linux + " 1");
    EXPECT_EQ(e.executable, linux);
    EXPECT_EQ(e.arguments, "1");

    EXPECT_EQ(ProgramEntry::withArguments("/p/cam", "-y"), "/p/cam -y");
    EXPECT_EQ(ProgramEntry::withArguments("/p/cam", ""), "/p/cam");
}

TEST(ProgramEntry, ArgumentsSplitAsTheShellSplitsWordsWithoutExpanding)
{
    // Each case against what /bin/sh makes of it.
    const std::vector<std::string> cases = {
        "",
        "-a -b",
        "  spaced \t out  ",
        "'single quoted' \"double quoted\"",
        "a'b c'd",
        "\"say \\\"hi\\\"\" back\\\\slash",
        "escaped\\ blank \\'q\\'",
        "'' \"\" empty",
        "'it'\\''s'",
        "\"a\\b\" 'c\\d'",
    };
    for (const std::string& text : cases) {
        EXPECT_EQ(splitArguments(text), shellWords(text)) << text;
    }
    // Nothing is expanded and no command runs: the text stays as typed.
    EXPECT_EQ(splitArguments("$HOME * ~ $(id) `id` a;b"),
              (std::vector<std::string>{"$HOME", "*", "~", "$(id)", "`id`", "a;b"}));
    EXPECT_EQ(splitArguments("\"$HOME\" '$(rm -rf x)'"), (std::vector<std::string>{"$HOME", "$(rm -rf x)"}));
    // A backslash with nothing after it stays, as in sh -c 'echo a\'.
    EXPECT_EQ(splitArguments("trailing\\"), (std::vector<std::string>{"trailing\\"}));
    // An unterminated quote runs to the end.
    EXPECT_EQ(splitArguments("-t 'open end"), (std::vector<std::string>{"-t", "open end"}));
}

TEST(ProgramEntry, OwnExecutableIsRecognisedByNameAndByFile)
{
    TempDir dir;
    EXPECT_TRUE(isOwnExecutable("/opt/kestrelon/kestrelon"));
    EXPECT_TRUE(isOwnExecutable("kestrelon"));
    // The name rule is exact: other letter case, or more to the name, is another program.
    EXPECT_FALSE(isOwnExecutable("/opt/kestrelon/Kestrelon"));
    EXPECT_FALSE(isOwnExecutable("/opt/kestrelon/kestrelon.sh"));
    EXPECT_FALSE(isOwnExecutable("/usr/bin/true"));
    // Any path to the running executable, whatever its name.
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_TRUE(isOwnExecutable(self));
    EXPECT_TRUE(isOwnExecutable("/proc/self/exe"));
    const std::string link = dir.path() + "/other-name";
    std::filesystem::create_symlink(self, link);
    EXPECT_TRUE(isOwnExecutable(link));
    // A copy is another file.
    const std::string copy = dir.path() + "/copy";
    std::filesystem::copy_file(self, copy);
    EXPECT_FALSE(isOwnExecutable(copy));
}

TEST(ProgramEntry, ListWidthIsSixPixelsPerCharacterPlus25)
{
    EXPECT_EQ(AdjustCheckListBox({}, 300), 300);
    // 10 characters: 85 pixels, less than the client width.
    EXPECT_EQ(AdjustCheckListBox({"/bin/prog1"}, 300), 300);
    // 50 characters: 325 pixels, more: the horizontal extent.
    EXPECT_EQ(AdjustCheckListBox({"/bin/prog1", std::string(50, 'x')}, 300), 325);
    // Characters, not bytes.
    EXPECT_EQ(AdjustCheckListBox({"/h/\xc3\xa9\xc3\xa9"}, 0), 5 * 6 + 25);
    EXPECT_EQ(AdjustCheckListBox({std::string(50, 'x')}, 300, 8), 425);
}
