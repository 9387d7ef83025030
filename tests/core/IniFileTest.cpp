#include "core/IniFile.h"

#include <gtest/gtest.h>

using kestrelon::IniFile;

TEST(IniFile, LookupIgnoresCaseAndTakesTextAfterTheFirstEquals)
{
    IniFile ini("; a comment\n"
                "[WebServe]\n"
                "  Port = 8080\n"
                "Root=/srv/www=x\n"
                "Root=/second\n"
                "noequals\n"
                "[webserve]\n"
                "Login=later section of the same name\n"
                "[Other]\n"
                "k=v\n");
    EXPECT_EQ(ini.value("webSERVE", "port"), " 8080");
    EXPECT_EQ(ini.value("WebServe", "ROOT"), "/srv/www=x");   // the first of two keys counts
    EXPECT_FALSE(ini.value("WebServe", "Login").has_value()); // only the first section counts
    EXPECT_FALSE(ini.value("WebServe", "noequals").has_value());
    EXPECT_FALSE(ini.value("Missing", "k").has_value());
    EXPECT_EQ(ini.value("other", "K"), "v");
    EXPECT_EQ(ini.keyNames("WEBSERVE"), (std::vector<std::string>{"Port", "Root", "Root"}));
    EXPECT_TRUE(ini.hasSection("oTHER"));
}

TEST(IniFile, WritesChangeOnlyWhatTheyWrite)
{
    const std::string original = "; settings\r\n"
                                 "[A]\r\n"
                                 "one=1\r\n"
                                 "Unknown=keep me\r\n"
                                 "\r\n"
                                 "[B]\r\n"
                                 "x=y\r\n";
    IniFile ini(original);
    EXPECT_EQ(ini.text(), original); // nothing written: the same bytes, CR LF kept

    ini.setValue("a", "ONE", "2");           // in place, the file's spelling of the key kept
    ini.setValue("A", "two", "b=c");         // at the end of its section, before the blank line
    ini.setValue("C", "new", "line\nbreak"); // a new section at the end; no line breaks in values
    EXPECT_EQ(ini.text(), "; settings\r\n"
                          "[A]\r\n"
                          "one=2\r\n"
                          "Unknown=keep me\r\n"
                          "two=b=c\r\n"
                          "\r\n"
                          "[B]\r\n"
                          "x=y\r\n"
                          "[C]\r\n"
                          "new=line break\r\n");
    ini.eraseSection("b");
    EXPECT_FALSE(ini.hasSection("B"));
    EXPECT_EQ(ini.value("A", "Unknown"), "keep me");
    EXPECT_EQ(ini.value("C", "new"), "line break");
}

TEST(IniFile, LimitsOnValuesAndKeyNames)
{
    std::string text = "[S]\nlong=" + std::string(3000, 'v') + "\n[L]\n";
    // 2000 names of 9 characters take 20000 bytes with their terminators: 1638 fit in 16384.
    for (int i = 0; i < 2000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "n%08d", i);
        text += std::string(name) + "=1\n";
    }
    IniFile ini(text);
    EXPECT_EQ(ini.value("S", "long")->size(), IniFile::kMaxValue);
    auto names = ini.keyNames("L");
    EXPECT_EQ(names.size(), 16384u / 10u);
    EXPECT_EQ(names.front(), "n00000000");
    EXPECT_EQ(names.back(), "n00001637");
}

TEST(IniFile, EmptyAndUnterminatedFiles)
{
    IniFile empty("");
    empty.setValue("S", "k", "v");
    EXPECT_EQ(empty.text(), "[S]\nk=v\n");
    IniFile noFinalNewline("[S]\nk=v");
    noFinalNewline.setValue("S", "k", "w");
    EXPECT_EQ(noFinalNewline.text(), "[S]\nk=w");
    // Stray carriage returns at a line's end do not turn the file into a CR LF file.
    IniFile stray("junk\r\r");
    stray.setValue("S", "k", "v");
    EXPECT_EQ(stray.text(), "junk\n[S]\nk=v"); // and a file without a final line end stays so
    IniFile again(stray.text());
    EXPECT_EQ(again.text(), stray.text());
    // A line that starts with "[" but has no "]" is not a section.
    IniFile broken("[S]\n[oops=1\n");
    EXPECT_EQ(broken.value("S", "[oops"), "1");
}
