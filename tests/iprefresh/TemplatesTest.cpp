// Template filling, the precondition check and the pair lists with their storage.
#include "iprefresh/Templates.h"
#include "core/SettingsFile.h"
#include "iprefresh/CheckFiles.h"
#include "iprefresh/TemplatePairs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kestrelon;
using namespace kestrelon::test;

TEST(Templates, FillReplacesTheTokenInAnyCaseAndWritesCrLfLines)
{
    EXPECT_EQ(fillTemplate("Visit http://{ip}:8080/cam.htm or {IP}", "203.0.113.7"),
              "Visit http://203.0.113.7:8080/cam.htm or 203.0.113.7\r\n");
    // LF and CR LF end lines, a lone CR does not; {Ip}, {iP} count, broken tokens do not.
    EXPECT_EQ(fillTemplate("a{Ip}\r\nb{iP}\nc\rd{I P}{IP\n\n", "1.2.3.4"),
              "a1.2.3.4\r\nb1.2.3.4\r\nc\rd{I P}{IP\r\n\r\n");
    EXPECT_EQ(fillTemplate("", "1.2.3.4"), "");
    EXPECT_EQ(fillTemplate("{IP}{IP}", ""), "\r\n");
    EXPECT_EQ(remoteName("htdocs\\index.htm"), "index.htm");
    EXPECT_EQ(remoteName("/htdocs/index.htm"), "/htdocs/index.htm");
    EXPECT_EQ(remoteName("C:index.htm"), "index.htm");
}

TEST(Templates, AFailedFillLeavesTheOldOutputWhole)
{
    TempDir dir;
    std::string tmpl = dir.write("a.tem", "<a href=\"http://{IP}/\">home</a>\n");
    std::string out = dir.write("out/a.htm", "old page\r\n");
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    EXPECT_EQ(fillTemplateFile(tmpl, out, "198.51.100.2"), "");
    EXPECT_EQ(readFile(out), "<a href=\"http://198.51.100.2/\">home</a>\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A missing template, a folder as template, an output in a missing folder.
    EXPECT_NE(fillTemplateFile(dir.path() + "/missing.tem", out, "1.1.1.1"), "");
    EXPECT_NE(fillTemplateFile(dir.path() + "/out", out, "1.1.1.1"), "");
    EXPECT_NE(fillTemplateFile(tmpl, dir.path() + "/nowhere/x.htm", "1.1.1.1"), "");
    EXPECT_EQ(readFile(out), "<a href=\"http://198.51.100.2/\">home</a>\r\n");
}

TEST(Templates, CheckFilesRunsItsTestsInOrderAndTheLastFailureWins)
{
    Settings s;
    EXPECT_EQ(checkFilesMessage(s, "127.0.0.1"), "") << "without Enable FTP nothing is checked";
    s.FTP.EnableFTP = true;
    EXPECT_EQ(checkFilesMessage(s, "192.168.1.2"), "Local Filename is not specified.");
    s.Remote.Username = "web";
    s.localTemplates = {{"l.tem", "/srv/l.htm", true}};
    EXPECT_EQ(checkFilesMessage(s, "192.168.1.2"), "FTP Remote Filename is not specified.");
    s.remoteTemplates = {{"a.tem", "a.htm", true}, {"b.tem", "b.htm", false}, {"c.tem", "c.htm", true}};
    EXPECT_EQ(checkFilesMessage(s, "192.168.1.2"), "No Remote File has been selected.");
    s.FTP.ConfirmRemote = false;
    EXPECT_EQ(checkFilesMessage(s, "192.168.1.2"), "FTP Password is required.") << "host and password empty";
    s.Remote.Host = "ftp.example.test";
    s.Remote.Password = "pw";
    EXPECT_EQ(checkFilesMessage(s, "127.0.0.1"), "Local Host Address Error");
    EXPECT_EQ(checkFilesMessage(s, "192.168.1.2"), "");
    s.localTemplates[0].checked = false;
    EXPECT_EQ(checkFilesMessage(s, "192.168.1.2"), "No Local File has been selected.");
    s.FTP.ConfirmLocal = false;
    s.localTemplates.clear();
    EXPECT_EQ(checkFilesMessage(s, "192.168.1.2"), "");
}

TEST(Templates, PairDialogsRefuseRowsThatWouldNotComeBackAfterARestart)
{
    TempDir dir;
    std::string a = dir.write("a.tem", "{IP}");
    std::string b = dir.write("b.tem", "{IP}");
    auto exists = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    };
    std::vector<TemplatePair> local;
    auto check = [&](int row, const std::string& t, const std::string& o, PairKind kind = PairKind::Local) {
        return checkPairDialog(kind, local, row, {t, o}, exists);
    };
    EXPECT_EQ(check(-1, dir.path() + "/none.tem", "/srv/a.htm"), PairDialogTexts::kNoTemplate);
    EXPECT_EQ(check(-1, a, "  "), PairDialogTexts::kNoLocalFile);
    EXPECT_EQ(check(-1, a, "htdocs\\", PairKind::Remote), PairDialogTexts::kNoRemoteFile);
    EXPECT_EQ(check(-1, a, "/srv/a=b.htm"), PairDialogTexts::kNotStorable);
    ASSERT_EQ(check(-1, a, " /srv/a.htm "), "");
    applyPairDialog(local, -1, {a, " /srv/a.htm "});
    ASSERT_EQ(check(-1, b, "/srv/b.htm"), "");
    applyPairDialog(local, -1, {b, "/srv/b.htm"});
    // The settings file folds keys that differ in letter case only.
    EXPECT_EQ(check(-1, a, "/srv/c.htm"), PairDialogTexts::kTemplateTaken);
    EXPECT_EQ(check(-1, b + " ", "/srv/c.htm"), PairDialogTexts::kTemplateTaken);
    EXPECT_EQ(check(-1, dir.write("c.tem", ""), "/SRV/A.htm"), PairDialogTexts::kFileTaken);
    // Editing a row may keep its own texts; its check mark stays.
    local[1].checked = false;
    ASSERT_EQ(check(1, b, "/srv/b2.htm"), "");
    applyPairDialog(local, 1, {b, "/srv/b2.htm"});
    EXPECT_EQ(local[1], (TemplatePair{b, "/srv/b2.htm", false}));
    EXPECT_EQ(check(0, a, "/srv/b2.htm"), PairDialogTexts::kFileTaken);

    // What the dialogs accept comes back paired as it was.
    SettingsFile file(dir.path() + "/kestrelon.ini");
    Settings s;
    s.localTemplates = local;
    s.remoteTemplates = {{a, "/htdocs/a.htm", true}, {b, "htdocs\\b.htm", false}};
    ASSERT_EQ(file.save(s).message, "");
    auto loaded = file.load(Settings{});
    EXPECT_EQ(loaded.settings.localTemplates, local);
    EXPECT_EQ(loaded.settings.remoteTemplates, s.remoteTemplates);
    removePair(local, 0);
    removePair(local, 5);
    EXPECT_EQ(local.size(), 1u);
}
