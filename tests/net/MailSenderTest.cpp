// The SMTP mail sender against a real SMTP server (aiosmtpd on 127.0.0.1).
#include "net/MailSender.h"
#include "net/CurlTransfer.h"
#include "support/ServerFixture.h"
#include "support/SmtpTestServer.h"
#include "support/StuckSmtpServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

SmtpAccount accountFor(const SmtpTestServer& server)
{
    SmtpAccount a;
    a.server = server.address();
    return a;
}

MailMessage simpleMessage(const std::string& body = "Hello")
{
    MailMessage m;
    m.from = "kestrelon@example.org";
    m.recipients = "ann@example.org";
    m.subject = "Test";
    m.body = body;
    return m;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The raw header block of a stored message, up to the blank line.
std::string rawHeaders(const ReceivedMail& m)
{
    return m.data.substr(0, m.data.find("\r\n\r\n") + 2);
}

} // namespace

TEST(MailSender, ParsesAddressListsAsUsersTypeThem)
{
    EXPECT_EQ(MailSender::parseAddressList("a@x.org, Bob <b@y.org>; c@z"),
              (Strings{"a@x.org", "b@y.org", "c@z"}));
    EXPECT_EQ(MailSender::parseAddressList("ann@example.org"), (Strings{"ann@example.org"}));
    EXPECT_EQ(MailSender::parseAddressList("<ann@example.org>"), (Strings{"ann@example.org"}));
    // Separators inside a quoted display name or inside the brackets do not split.
    EXPECT_EQ(MailSender::parseAddressList("\"Doe, John; Jr.\" <john@example.org>, ann@example.org"),
              (Strings{"john@example.org", "ann@example.org"}));
    EXPECT_EQ(MailSender::parseAddressList("\"Say \\\"hi, there\\\"\" <hi@example.org>"),
              (Strings{"hi@example.org"}));
    // Blanks around items and empty items (doubled or trailing separators) are dropped.
    EXPECT_EQ(MailSender::parseAddressList("  ann@example.org ,, ; bob@example.org ;"),
              (Strings{"ann@example.org", "bob@example.org"}));
    // Line breaks are blanks at the ends of an item; inside one they stay, for the sender to refuse.
    EXPECT_EQ(MailSender::parseAddressList("\r\nann@example.org\r\n,bob@example.org"),
              (Strings{"ann@example.org", "bob@example.org"}));
    EXPECT_EQ(MailSender::parseAddressList("ann@example.org\r\nX-Injected: 1"),
              (Strings{"ann@example.org\r\nX-Injected: 1"}));
    // An unclosed bracket runs to the end of the text.
    EXPECT_EQ(MailSender::parseAddressList("Bob <bob@example.org"), (Strings{"bob@example.org"}));
    EXPECT_TRUE(MailSender::parseAddressList("").empty());
    EXPECT_TRUE(MailSender::parseAddressList(" , ;\r\n,").empty());
    EXPECT_TRUE(MailSender::parseAddressList("Nobody <>").empty());
}

TEST(MailSender, DeliversSenderRecipientsSubjectAndBody)
{
    SmtpTestServer server;
    MailSender sender;
    MailMessage m;
    m.from = "Kestrelon <kestrelon@example.org>";
    m.recipients = "ann@example.org, Bob Smith <bob@example.org>";
    m.subject = "Feedback from Kestrelon";
    m.body = "Tue 08 Dec 2026 10:15:02\r\nSender's IP address was: 10.0.0.7\r\nname= Ann\r\n"
             "-----------------------------------";
    EXPECT_EQ(sender.send(accountFor(server), m), "");

    ASSERT_TRUE(server.waitForMessages(1));
    auto mails = server.messages();
    ASSERT_EQ(mails.size(), 1u);
    const ReceivedMail& r = mails[0];
    EXPECT_EQ(r.parseError, "");
    EXPECT_EQ(r.from, "kestrelon@example.org");
    EXPECT_EQ(r.rcpts, (Strings{"ann@example.org", "bob@example.org"}));
    EXPECT_EQ(r.header("From"), (Strings{"Kestrelon <kestrelon@example.org>"}));
    EXPECT_EQ(r.header("To"), (Strings{"ann@example.org, Bob Smith <bob@example.org>"}));
    EXPECT_EQ(r.header("Subject"), (Strings{"Feedback from Kestrelon"}));
    EXPECT_EQ(r.header("MIME-Version"), (Strings{"1.0"}));
    EXPECT_NE(rawHeaders(r).find("\r\nContent-Type: text/plain; charset=utf-8\r\n"), std::string::npos);
    ASSERT_EQ(r.header("Message-ID").size(), 1u);
    EXPECT_TRUE(r.header("Message-ID")[0].ends_with("@example.org>")) << r.header("Message-ID")[0];
    // A date the parser understood comes back as an RFC 5322 date: "Tue, 08 Dec 2026 10:15:02 +0100".
    ASSERT_EQ(r.header("Date").size(), 1u);
    EXPECT_EQ(r.header("Date")[0].size(), 31u) << r.header("Date")[0];
    // Exactly the body that was given: no line break added at its end.
    EXPECT_EQ(r.body, m.body);
    EXPECT_EQ(r.authMechanism, "") << "no login was asked for";
}

TEST(MailSender, BodyArrivesByteForByte)
{
    const std::vector<std::string> bodies = {
        "",
        "one line without a line break",
        "ends with a line break\r\n",
        // Lines SMTP treats specially: a lone dot ends the data unless it is escaped.
        "before\r\n.\r\n.x starts with a dot\r\n..\r\n.",
        // What quoted-printable must take care of: blanks at line ends, "=", a "From " line.
        "trailing blank \r\ntrailing tab\t\r\n= and =3D and =\r\nFrom me\r\n \r\n",
        std::string(300, 'x') + "\r\n" + std::string(200, ' ') + "y",
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x9C\x93 caf\xC3\xA9\r\n",
        // Lone line-feed and carriage-return characters and other controls.
        "unix\nline\rends\r\r\n\n\x01\x7f end",
        std::string("a\0b", 3),
    };
    SmtpTestServer server;
    MailSender sender;
    for (const auto& body : bodies) {
        EXPECT_EQ(sender.send(accountFor(server), simpleMessage(body)), "");
    }
    ASSERT_TRUE(server.waitForMessages(bodies.size()));
    auto mails = server.messages();
    ASSERT_EQ(mails.size(), bodies.size());
    for (size_t i = 0; i < bodies.size(); ++i) {
        SCOPED_TRACE("body " + std::to_string(i));
        EXPECT_EQ(mails[i].parseError, "");
        EXPECT_EQ(mails[i].body, bodies[i]);
        // On the wire: seven-bit lines with CR LF line ends, none longer than 78 characters.
        const std::string& data = mails[i].data;
        size_t lineStart = 0;
        for (size_t p = 0; p < data.size(); ++p) {
            auto u = static_cast<unsigned char>(data[p]);
            ASSERT_TRUE(u < 0x80) << "8-bit byte at " << p;
            if (data[p] == '\n') {
                ASSERT_TRUE(p > 0 && data[p - 1] == '\r') << "bare LF at " << p;
                EXPECT_LE(p - 1 - lineStart, 78u);
                lineStart = p + 1;
            } else if (data[p] == '\r') {
                ASSERT_TRUE(p + 1 < data.size() && data[p + 1] == '\n') << "bare CR at " << p;
            }
        }
    }
}

TEST(MailSender, SubjectsAreEncodedAndCannotAddHeaders)
{
    SmtpTestServer server;
    MailSender sender;

    // Not plain ASCII, and long enough for several encoded words.
    MailMessage unicode = simpleMessage();
    unicode.subject = "R\xC3\xBC"
                      "ckmeldung \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F"
                      "e aus K\xC3\xB6ln \xE2\x9C\x93 "
                      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE4\xBB\xB6\xE5\x90\x8D";
    EXPECT_EQ(sender.send(accountFor(server), unicode), "");

    // A long plain subject is folded, and unfolds to what was given.
    MailMessage longSubject = simpleMessage();
    longSubject.subject.clear();
    for (int i = 0; i < 30; ++i) {
        longSubject.subject += "word" + std::to_string(i) + " ";
    }
    longSubject.subject += "end";
    EXPECT_EQ(sender.send(accountFor(server), longSubject), "");

    // A subject that tries to start headers of its own, and the encoded-word markers as text.
    MailMessage injected = simpleMessage();
    injected.subject = "Hello\r\nBcc: eve@evil.example\r\n\r\nfake body";
    injected.from = "Kestrelon\r\nX-Injected: yes <kestrelon@example.org>";
    EXPECT_EQ(sender.send(accountFor(server), injected), "");
    MailMessage markers = simpleMessage();
    markers.subject = "=?UTF-8?B?SGk=?= is not a word here";
    EXPECT_EQ(sender.send(accountFor(server), markers), "");

    ASSERT_TRUE(server.waitForMessages(4));
    auto mails = server.messages();
    ASSERT_EQ(mails.size(), 4u);
    EXPECT_EQ(mails[0].header("Subject"), (Strings{unicode.subject}));
    EXPECT_EQ(mails[1].header("Subject"), (Strings{longSubject.subject}));
    EXPECT_NE(rawHeaders(mails[1]).find("\r\n word"), std::string::npos) << "folded";

    const ReceivedMail& r = mails[2];
    EXPECT_EQ(r.header("Subject"), (Strings{"HelloBcc: eve@evil.examplefake body"}));
    EXPECT_NE(rawHeaders(r).find("\r\nFrom: KestrelonX-Injected: yes <kestrelon@example.org>\r\n"),
              std::string::npos);
    EXPECT_TRUE(r.header("Bcc").empty());
    EXPECT_TRUE(r.header("X-Injected").empty());
    EXPECT_EQ(r.rcpts, (Strings{"ann@example.org"}));
    EXPECT_EQ(r.from, "kestrelon@example.org");
    EXPECT_EQ(r.body, "Hello");
    EXPECT_EQ(rawHeaders(r).find("\r\nBcc"), std::string::npos);

    EXPECT_EQ(mails[3].header("Subject"), (Strings{markers.subject}));
}

TEST(MailSender, LogsInWithAuthLogin)
{
    SmtpTestServer::Options options;
    options.user = "feedback";
    options.password = "s3cret pass";
    SmtpTestServer server(options);
    MailSender sender;
    SmtpAccount account = accountFor(server);
    account.login = true;
    account.user = "feedback";
    account.password = "s3cret pass";

    EXPECT_EQ(sender.send(account, simpleMessage("right password")), "");
    ASSERT_TRUE(server.waitForMessages(1));

    // A refused login says so, and nothing is delivered.
    account.password = "wrong";
    std::string refused = sender.send(account, simpleMessage("wrong password"));
    EXPECT_NE(refused, "");
    std::string l = lower(refused);
    EXPECT_TRUE(l.find("login") != std::string::npos || l.find("authentication") != std::string::npos)
        << refused;
    EXPECT_NE(refused.find("535"), std::string::npos) << "the server's reply: " << refused;

    // Without login, a server that requires it refuses the mail.
    account.login = false;
    account.password = "s3cret pass";
    std::string notLoggedIn = sender.send(account, simpleMessage("no login"));
    EXPECT_NE(notLoggedIn, "");
    EXPECT_NE(notLoggedIn.find("530"), std::string::npos) << notLoggedIn;

    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // room for a late arrival
    auto mails = server.messages();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].body, "right password");
    EXPECT_EQ(mails[0].authMechanism, "LOGIN");
    EXPECT_EQ(mails[0].authUser, "feedback");
}

TEST(MailSender, WithoutLoginSendsNoCredentialsEvenWhenFilledIn)
{
    SmtpTestServer::Options options;
    options.user = "feedback";
    options.password = "secret";
    options.authOptional = true;
    SmtpTestServer server(options);
    MailSender sender;
    SmtpAccount account = accountFor(server);
    account.login = false;
    account.user = "feedback";
    account.password = "secret";
    EXPECT_EQ(sender.send(account, simpleMessage()), "");
    ASSERT_TRUE(server.waitForMessages(1));
    EXPECT_EQ(server.messages()[0].authMechanism, "");
}

TEST(MailSender, UnreachableOrSilentServerFailsWithinTheTimeout)
{
    MailSender sender;
    SmtpAccount account;
    account.server = "127.0.0.1:" + std::to_string(SmtpTestServer::closedPort());
    auto start = Clock::now();
    std::string down = sender.send(account, simpleMessage());
    EXPECT_NE(down, "");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));

    // A server that takes the connection and never greets is given up after the connect time-out.
    SilentListener silent;
    account.server = "127.0.0.1:" + std::to_string(silent.port());
    account.connectTimeoutMs = 1000;
    start = Clock::now();
    std::string silentError = sender.send(account, simpleMessage());
    auto took = Clock::now() - start;
    EXPECT_NE(silentError, "");
    EXPECT_NE(lower(silentError).find("time"), std::string::npos) << silentError;
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(5));

    // The sender is still usable afterwards.
    SmtpTestServer server;
    EXPECT_EQ(sender.send(accountFor(server), simpleMessage()), "");
    EXPECT_TRUE(server.waitForMessages(1));
}

TEST(MailSender, RejectedRecipientAndBadSettingsAreErrors)
{
    SmtpTestServer::Options options;
    options.rejectRecipient = "nobody";
    SmtpTestServer server(options);
    MailSender sender;

    MailMessage rejected = simpleMessage();
    rejected.recipients = "ann@example.org, nobody@example.org";
    std::string error = sender.send(accountFor(server), rejected);
    EXPECT_NE(error.find("550"), std::string::npos) << error;

    // Settings that cannot make a mail never reach the server.
    MailMessage noRecipient = simpleMessage();
    noRecipient.recipients = " , ";
    EXPECT_NE(sender.send(accountFor(server), noRecipient), "");
    noRecipient.recipients = "";
    EXPECT_NE(sender.send(accountFor(server), noRecipient), "");
    MailMessage badRecipient = simpleMessage();
    for (const char* bad : {"Ann Smith ann@example.org", "ann@example.org\r\nRCPT TO:eve@example.org"}) {
        badRecipient.recipients = bad; // not one address, and no way into the SMTP commands
        EXPECT_NE(sender.send(accountFor(server), badRecipient), "") << bad;
    }
    MailMessage badSender = simpleMessage();
    badSender.from = "Kestrelon kestrelon@example.org";
    EXPECT_NE(sender.send(accountFor(server), badSender), "");
    SmtpAccount account = accountFor(server);
    for (const char* bad :
         {"", "  ", "127.0.0.1:abc", "127.0.0.1:0", "user@127.0.0.1", "127.0.0.1/x", "[::1"}) {
        account.server = bad;
        EXPECT_NE(sender.send(account, simpleMessage()), "") << bad;
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(server.messageCount(), 0u);
}

TEST(MailSender, ConcurrentCallersAllGetThrough)
{
    SmtpTestServer server;
    MailSender sender;
    constexpr int kThreads = 4, kEach = 3;
    std::vector<std::string> errors(kThreads * kEach);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                errors[t * kEach + i] = sender.send(
                    accountFor(server), simpleMessage("message " + std::to_string(t * kEach + i)));
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (const auto& e : errors) {
        EXPECT_EQ(e, "");
    }
    ASSERT_TRUE(server.waitForMessages(kThreads * kEach));
    Strings bodies;
    for (const auto& m : server.messages()) {
        bodies.push_back(m.body);
    }
    std::sort(bodies.begin(), bodies.end());
    Strings expected;
    for (int i = 0; i < kThreads * kEach; ++i) {
        expected.push_back("message " + std::to_string(i));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(bodies, expected);
}

TEST(MailSender, AServerThatNeverAnswersTheDataIsGivenUpInTime)
{
    // Each of the two limits ends the wait for the reply to the data on its own, and the goodbye
    // that libcurl tries after it as well: far sooner than the ten minutes of the other limits.
    for (bool responseLimit : {true, false}) {
        SCOPED_TRACE(responseLimit ? "response time-out" : "total time-out");
        StuckSmtpServer stuck(StuckSmtpServer::Mode::StallAfterData);
        SmtpAccount account = patientAccount(stuck.address());
        (responseLimit ? account.responseTimeoutMs : account.timeoutMs) = 1000;
        auto start = Clock::now();
        std::string error = MailSender::send(account, simpleMessage());
        EXPECT_NE(lower(error).find("time"), std::string::npos) << error;
        EXPECT_EQ(stuck.stalledMessages(), 1);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
    }
}

TEST(MailSender, AStopEndsAStuckDialogueAndOthersGoOnMeanwhile)
{
    SmtpTestServer good;
    for (auto mode : {StuckSmtpServer::Mode::NeverGreet, StuckSmtpServer::Mode::StallAfterData}) {
        SCOPED_TRACE(mode == StuckSmtpServer::Mode::NeverGreet ? "never greets" : "stalls after the data");
        StuckSmtpServer stuck(mode);
        std::stop_source stop;
        auto result = std::async(std::launch::async, [&] {
            return MailSender::send(patientAccount(stuck.address()), simpleMessage(), stop.get_token());
        });
        ASSERT_TRUE(waitFor([&] {
            return mode == StuckSmtpServer::Mode::NeverGreet ? stuck.connections() == 1
                                                             : stuck.stalledMessages() == 1;
        }));
        // No lock between the dialogues: another mail goes out while this one is stuck.
        EXPECT_EQ(MailSender::send(accountFor(good), simpleMessage()), "");
        EXPECT_EQ(result.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

        auto stopped = Clock::now();
        stop.request_stop();
        ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        // The account waits ten minutes: only the stop ends the dialogue this soon.
        EXPECT_LT(Clock::now() - stopped, std::chrono::seconds(8));
        EXPECT_EQ(result.get(), CurlTransfer::kCancelled);
        EXPECT_TRUE(waitFor([&] { return stuck.closed() == 1; })) << "the connection is dropped";
    }
    EXPECT_TRUE(good.waitForMessages(2));
}
