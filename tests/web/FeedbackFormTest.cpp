// Feedback records in a file and by mail, against a real SMTP server on 127.0.0.1.
#include "web/FeedbackForm.h"
#include "core/SettingsModel.h"
#include "net/MailQueue.h"
#include "support/ServerFixture.h"
#include "support/SmtpTestServer.h"
#include "support/TempDir.h"
#include "web/MessageLog.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sys/resource.h>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

// Thursday 5 March 2026, 14:07:09 local time.
std::chrono::system_clock::time_point fixedTime()
{
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 5;
    tm.tm_hour = 14;
    tm.tm_min = 7;
    tm.tm_sec = 9;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

const std::string kStamp = "Thu 05 Mar 2026 14:07:09";

class FeedbackFormTest : public ::testing::Test {
protected:
    FeedbackFormTest()
        : model(Settings::defaults(dir.path())), log([] { return true; }),
          form(log, mail, [] { return fixedTime(); })
    {
    }

    // One submission with the settings as they are now.
    void process(const std::vector<std::string>& fields, const std::string& address)
    {
        form.ProcessCGIText(*model.snapshot(), fields, address);
    }
    bool waitForMessages(size_t count)
    {
        return waitFor([&] { return log.lineCount() >= count; });
    }

    std::vector<std::string> messages() const
    {
        std::vector<std::string> out;
        for (const auto& line : log.lines()) {
            out.push_back(line.substr(22));
        }
        return out;
    }
    void useFile()
    {
        model.update([this](Settings& s) { s.WebServe.AppendFile = file; });
    }
    void useMail(const std::string& server)
    {
        model.update([&](Settings& s) {
            s.WebServe.Append = false;
            s.WebServe.Email = true;
            s.WebServe.EmailServer = server;
            s.WebServe.EmailAddr = "Owner <owner@example.org>, second@example.org";
            s.WebServe.EmailFrom = "kestrelon@example.org";
        });
    }

    TempDir dir;
    std::string file = dir.path() + "/feedback.txt";
    SettingsModel model;
    MessageLog log;
    MailQueue mail;
    FeedbackForm form;
};

} // namespace

TEST_F(FeedbackFormTest, RecordsAreAppendedToTheFileLineByLine)
{
    useFile();
    process({"name=Ann", "comment=Hi"}, "10.0.0.7");
    const std::string first = kStamp +
                              "\r\nSender's IP address was: 10.0.0.7\r\n \r\nname= Ann\r\ncomment= Hi\r\n" +
                              std::string(42, '-') + "\r\n\r\n";
    EXPECT_EQ(readFile(file), first);
    // Only the first "=" gains a blank; a field without one stays; no fields still make a record.
    process({"x=a=b", "plain", "empty="}, "10.0.0.8");
    process({}, "10.0.0.9");
    EXPECT_EQ(readFile(file),
              first + kStamp +
                  "\r\nSender's IP address was: 10.0.0.8\r\n \r\nx= a=b\r\nplain\r\nempty= \r\n" +
                  std::string(42, '-') + "\r\n\r\n" + kStamp +
                  "\r\nSender's IP address was: 10.0.0.9\r\n \r\n" + std::string(42, '-') + "\r\n\r\n");
    // The stamp follows the time display's pattern.
    model.update([](Settings& s) { s.TimeServer.Format = "yyyy-mm-dd hh:nn"; });
    std::remove(file.c_str());
    process({"a=1"}, "10.0.0.7");
    EXPECT_EQ(readFile(file).substr(0, 18), "2026-03-05 14:07\r\n");
    EXPECT_TRUE(messages().empty());

    // No file name: one line, nothing stored, no mail tried.
    model.update([](Settings& s) { s.WebServe.AppendFile.clear(); });
    process({"a=1"}, "10.0.0.7");
    EXPECT_EQ(messages(), std::vector<std::string>{FeedbackForm::kNoFileName});
    // A file that cannot be opened is an error for the caller.
    model.update([this](Settings& s) { s.WebServe.AppendFile = dir.path() + "/missing/feedback.txt"; });
    EXPECT_THROW(process({"a=1"}, "10.0.0.7"), std::runtime_error);
}

TEST_F(FeedbackFormTest, WhatASenderTypesCannotForgeARecordInTheFileOrTheMail)
{
    const std::string rule = std::string(42, '-');
    // A second record typed into a field, line breaks of every kind, and a field that is a rule.
    const std::vector<std::string> fields = {"comment=Hi\r\n" + rule + "\r\n\r\n" + kStamp +
                                                 "\r\nSender's IP address was: 8.8.8.8\r\n \r\nname=Eve",
                                             "lone=a\rb\nc\n", rule, rule + "\nmore"};
    const std::string fieldLines = "comment= Hi\r\n\t" + rule + "\r\n\t\r\n\t" + kStamp +
                                   "\r\n\tSender's IP address was: 8.8.8.8\r\n\t \r\n\tname=Eve\r\n"
                                   "lone= a\r\n\tb\r\n\tc\r\n\t\r\n\t" +
                                   rule + "\r\n\t" + rule + "\r\n\tmore\r\n";
    useFile();
    process(fields, "10.0.0.7");
    EXPECT_EQ(readFile(file),
              kStamp + "\r\nSender's IP address was: 10.0.0.7\r\n \r\n" + fieldLines + rule + "\r\n\r\n");

    SmtpTestServer smtp;
    useMail(smtp.address());
    process(fields, "10.0.0.7");
    ASSERT_TRUE(smtp.waitForMessages(1));
    EXPECT_EQ(smtp.messages().front().body,
              kStamp + "\r\nSender's IP address was: 10.0.0.7\r\n" + fieldLines + std::string(35, '-'));
}

TEST_F(FeedbackFormTest, ARecordThatDoesNotFitLeavesTheFileAsItWas)
{
    useFile();
    process({"first=1"}, "10.0.0.7");
    const std::string before = readFile(file);
    {
        // A file size limit just past the end, as a full disk would be: the write falls short.
        rlimit old{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        rlimit limited = old;
        limited.rlim_cur = before.size() + 20;
        auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        EXPECT_THROW(process({"text=" + std::string(500, 'x')}, "10.0.0.8"), std::runtime_error);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    EXPECT_EQ(readFile(file), before);
    process({"after=1"}, "10.0.0.9");
    EXPECT_EQ(readFile(file), before + FeedbackForm::fileRecord(kStamp, "10.0.0.9", {"after=1"}));
}

TEST_F(FeedbackFormTest, TheMailCarriesTheBodyWithoutBlankLineAndWithTheShortRule)
{
    SmtpTestServer smtp;
    useMail(smtp.address());
    // Both ways ticked by hand: the e-mail is the one.
    model.update([this](Settings& s) {
        s.WebServe.Append = true;
        s.WebServe.AppendFile = file;
    });
    process({"name=Ann", "comment=Hi"}, "10.0.0.7");
    ASSERT_TRUE(smtp.waitForMessages(1));
    const ReceivedMail m = smtp.messages().front();
    EXPECT_EQ(m.body, kStamp + "\r\nSender's IP address was: 10.0.0.7\r\nname= Ann\r\ncomment= Hi\r\n" +
                          std::string(35, '-'));
    EXPECT_EQ(m.from, "kestrelon@example.org");
    EXPECT_EQ(m.rcpts, (std::vector<std::string>{"owner@example.org", "second@example.org"}));
    EXPECT_EQ(m.header("Subject"), std::vector<std::string>{"Feedback from Kestrelon"});
    EXPECT_EQ(m.authUser, "");
    EXPECT_FALSE(std::ifstream(file));
    EXPECT_TRUE(messages().empty());

    // No fields: stamp, address and rule.
    process({}, "10.0.0.9");
    ASSERT_TRUE(smtp.waitForMessages(2));
    EXPECT_EQ(smtp.messages()[1].body,
              kStamp + "\r\nSender's IP address was: 10.0.0.9\r\n" + std::string(35, '-'));

    // Any empty mail setting: one line, nothing sent.
    for (auto clear : {&WebServeSettings::Subject, &WebServeSettings::EmailServer,
                       &WebServeSettings::EmailAddr, &WebServeSettings::EmailFrom}) {
        log.clear();
        useMail(smtp.address());
        model.update([&](Settings& s) { (s.WebServe.*clear).clear(); });
        process({"a=1"}, "10.0.0.7");
        EXPECT_EQ(messages(), std::vector<std::string>{FeedbackForm::kMailSettingsIncorrect});
    }
    mail.stop(); // nothing is left to go out
    EXPECT_EQ(smtp.messageCount(), 2u);
}

TEST_F(FeedbackFormTest, LoginRequiredUsesAuthLoginAndReportsARefusal)
{
    SmtpTestServer::Options login;
    login.user = "webmaster";
    login.password = "s3cret";
    SmtpTestServer smtp(login);
    useMail(smtp.address());
    model.update([](Settings& s) {
        s.WebServe.FeedAuth = true;
        s.WebServe.FeedUser = "webmaster";
        s.WebServe.FeedPass = "s3cret";
    });
    process({"a=1"}, "10.0.0.7");
    ASSERT_TRUE(smtp.waitForMessages(1));
    EXPECT_EQ(smtp.messages().front().authMechanism, "LOGIN");
    EXPECT_EQ(smtp.messages().front().authUser, "webmaster");
    EXPECT_TRUE(messages().empty());

    model.update([](Settings& s) { s.WebServe.FeedPass = "wrong"; });
    process({"a=2"}, "10.0.0.7");
    ASSERT_TRUE(waitForMessages(1));
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].rfind("Email error: ", 0), 0u) << messages()[0];
    EXPECT_GT(messages()[0].size(), 13u);
    EXPECT_EQ(smtp.messageCount(), 1u);

    // Without "Login required" no credentials are offered, and this server wants them.
    log.clear();
    model.update([](Settings& s) { s.WebServe.FeedAuth = false; });
    process({"a=3"}, "10.0.0.7");
    ASSERT_TRUE(waitForMessages(1));
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].rfind("Email error: ", 0), 0u);
    EXPECT_EQ(smtp.messageCount(), 1u);
}

TEST(FeedbackThroughTheServer, AMailServerThatIsDownStillLetsTheRequestComplete)
{
    ServerFixture f;
    f.root.write("page.html", "PAGE");
    f.change([&](Settings& s) {
        s.WebServe.AppendFile = f.root.path() + "/feedback.txt";
        s.WebServe.Email = true;
        s.WebServe.EmailServer = "127.0.0.1:" + std::to_string(SmtpTestServer::closedPort());
        s.WebServe.EmailAddr = "owner@example.org";
        s.WebServe.EmailFrom = "kestrelon@example.org";
    });
    ASSERT_TRUE(f.start());
    auto r = httpPost(f.port(), "/page.html", "name=Ann");
    f.waitUntilIdle();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->body, "PAGE");
    // Both ways are ticked: only the mail is tried, and its failure is logged.
    EXPECT_TRUE(waitFor([&] { return f.countMessages("Email error: ") == 1; }));
    EXPECT_FALSE(std::ifstream(f.root.path() + "/feedback.txt"));
    EXPECT_EQ(f.countMessages("Feedback sent from: 127.0.0.1"), 1u);
}
