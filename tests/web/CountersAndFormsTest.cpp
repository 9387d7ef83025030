// Hit counters and feedback forms through the real server on 127.0.0.1, alone and under load.
#include "support/ServerFixture.h"
#include "web/RequestItems.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

class CountersAndForms : public ::testing::Test {
protected:
    void SetUp() override
    {
        f.root.write("index.html", "<html>home</html>");
        f.root.write("page.html", "PAGE");
        f.root.write("hitcounter.txt", "000041\r\n");
        f.root.write("hitcounter2.txt", "000000\r\n");
        ASSERT_TRUE(f.start());
    }

    std::string count(int counter = 1) const
    {
        return readFile(f.root.path() + (counter == 2 ? "/hitcounter2.txt" : "/hitcounter.txt"));
    }
    std::string feedbackFile() const { return f.root.path() + "/feedback.txt"; }

    // A served body is a complete BMP: the size in its header is the size received, and it decodes.
    static bool completeBmp(const std::string& body)
    {
        if (body.size() < 54 || body.compare(0, 2, "BM") != 0) {
            return false;
        }
        uint32_t size = 0;
        std::memcpy(&size, body.data() + 2, 4);
        QImage image;
        return size == body.size() && image.loadFromData(QByteArray(body.data(), int(body.size())), "BMP");
    }

    // Fetches counter 1's image from an address; counts the replies and the broken images.
    void fetchImage(const std::string& address)
    {
        auto r = httpGet(f.port(), "/hitcounter.bmp", {}, "GET", address);
        if (r && r->status == 200) {
            ++served;
            broken += !completeBmp(r->body);
        }
    }

    static std::string sourceAddress(int i)
    {
        return "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
    }

    ServerFixture f;
    std::atomic<int> served{0};
    std::atomic<int> broken{0};
};

} // namespace

TEST_F(CountersAndForms, AHitIsCountedBeforeItsImageIsServed)
{
    auto r = httpGet(f.port(), "/hitcounter.bmp", {}, "GET", "127.0.0.2");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(count(), "000042\r\n");
    // The image that went out is the new one.
    EXPECT_EQ(r->body, readFile(f.root.path() + "/hitcounter.bmp"));
    EXPECT_TRUE(completeBmp(r->body));

    // The same client again within the window: served, not counted, no pause.
    r = httpGet(f.port(), "/hitcounter.bmp", {}, "GET", "127.0.0.2");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(count(), "000042\r\n");
    // Two clients alternating are counted every time; counter 2 is apart.
    httpGet(f.port(), "/hitcounter.bmp", {}, "GET", "127.0.0.3");
    httpGet(f.port(), "/hitcounter.bmp", {}, "GET", "127.0.0.2");
    httpGet(f.port(), "/hitcounter2.bmp", {}, "GET", "127.0.0.2");
    f.waitUntilIdle();
    EXPECT_EQ(count(), "000044\r\n");
    EXPECT_EQ(count(2), "000001\r\n");
    // The path is compared exactly.
    httpGet(f.port(), "/HitCounter.bmp", {}, "GET", "127.0.0.4");
    httpGet(f.port(), "/hitcounter.bmp?x=1", {}, "GET", "127.0.0.4"); // the query is not part of it
    f.waitUntilIdle();
    EXPECT_EQ(count(), "000045\r\n");

    // "Don't count own IP": 127.0.0.1 is this computer's; each counter has its own box.
    f.change([](Settings& s) { s.WebServe.DontCountOwn = true; });
    httpGet(f.port(), "/hitcounter.bmp", {}, "GET", "127.0.0.1");
    httpGet(f.port(), "/hitcounter2.bmp", {}, "GET", "127.0.0.1");
    f.waitUntilIdle();
    EXPECT_EQ(count(), "000045\r\n");
    EXPECT_EQ(count(2), "000002\r\n");

    // A count file that is gone fails the request with the error, which the log tells (the client
    // gets the plain page); nothing is created.
    std::remove((f.root.path() + "/hitcounter2.txt").c_str());
    r = httpGet(f.port(), "/hitcounter2.bmp", {}, "GET", "127.0.0.9");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 500);
    EXPECT_EQ(r->body.find("hitcounter2.txt"), std::string::npos) << r->body;
    EXPECT_EQ(f.countMessages("Error answering GET /hitcounter2.bmp from 127.0.0.9:"), 1u);
    EXPECT_FALSE(std::ifstream(f.root.path() + "/hitcounter2.txt"));
}

TEST_F(CountersAndForms, AFormPostIsStoredOnceAndAnsweredWithTheRedirectedPage)
{
    f.change([this](Settings& s) { s.WebServe.AppendFile = feedbackFile(); });
    auto r = httpPost(f.port(), "/page.html", "name=Ann&comment=Hi");
    f.waitUntilIdle();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->reason, "Moved Temporarily");
    EXPECT_EQ(r->header("location"), "/page.html");
    EXPECT_EQ(r->body, "PAGE");
    std::string record = readFile(feedbackFile());
    EXPECT_NE(record.find("\r\nSender's IP address was: 127.0.0.1\r\n \r\nname= Ann\r\ncomment= Hi\r\n" +
                          std::string(42, '-') + "\r\n\r\n"),
              std::string::npos)
        << record;
    EXPECT_EQ(f.countMessages("Feedback sent from: 127.0.0.1"), 1u);
    EXPECT_EQ(record.find("name= Ann"), record.rfind("name= Ann")); // processed once

    // To a page that does not exist: 404 replaces the redirect, but the form was stored.
    r = httpPost(f.port(), "/nowhere.html", "a=1");
    f.waitUntilIdle();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);
    EXPECT_EQ(r->header("location"), "");
    EXPECT_NE(readFile(feedbackFile()).find("\r\na= 1\r\n"), std::string::npos);

    // A query on a "mailform" path is a submission too; other queries are not.
    f.root.write("cgi/mailform.html", "THANKS");
    r = f.get("/cgi/mailform.html?from=query&x=a%3Db");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->header("location"), "/cgi/mailform.html");
    EXPECT_NE(readFile(feedbackFile()).find("\r\nfrom= query\r\nx= a=b\r\n"), std::string::npos);
    r = f.get("/page.html?from=other");
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(readFile(feedbackFile()).find("from= other"), std::string::npos);
    EXPECT_EQ(f.countMessages("Feedback sent from: "), 3u);

    // A login is asked for after the form was taken: 401 replaces the redirect.
    f.change([](Settings& s) {
        s.WebServe.Auth = true;
        s.WebServe.User = "u";
        s.WebServe.Pass = "p";
        s.WebServe.Login = "Members";
    });
    r = httpPost(f.port(), "/page.html", "after=login");
    f.waitUntilIdle();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 401);
    EXPECT_EQ(r->header("location"), "");
    EXPECT_NE(readFile(feedbackFile()).find("after= login"), std::string::npos);
    // Without a welcome text no challenge goes out: the page comes with the redirect, which stays.
    f.change([](Settings& s) { s.WebServe.Login.clear(); });
    r = httpPost(f.port(), "/page.html", "no=realm");
    f.waitUntilIdle();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->header("location"), "/page.html");
    EXPECT_EQ(r->header("www-authenticate"), "");
    EXPECT_EQ(r->body, RequestHandler::kAuthenticationFailedPage);
    f.change([](Settings& s) { s.WebServe.Auth = false; });

    // A file that cannot be written ends the request with an error, and no mail is tried.
    f.change([this](Settings& s) {
        s.WebServe.AppendFile = f.root.path() + "/no/such/folder/feedback.txt";
        s.WebServe.EmailServer = "127.0.0.1:1";
        s.WebServe.EmailAddr = "a@b.c";
    });
    r = httpPost(f.port(), "/page.html", "lost=1");
    f.waitUntilIdle();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 500);
    EXPECT_EQ(r->header("location"), "");
    EXPECT_EQ(r->body.find("feedback.txt"), std::string::npos) << r->body;
    EXPECT_EQ(f.countMessages("Error answering POST /page.html from 127.0.0.1:"), 1u);
    EXPECT_EQ(f.countMessages("Email error: "), 0u);
}

TEST_F(CountersAndForms, AThousandAddressesRaiseTheCountByExactlyAThousand)
{
    f.root.write("hitcounter.txt", "000000\r\n");
    std::atomic<int> next{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 50; ++t) {
        clients.emplace_back([&] {
            for (int i = next++; i < 1000; i = next++) {
                fetchImage(sourceAddress(i));
            }
        });
    }
    for (auto& c : clients) {
        c.join();
    }
    f.waitUntilIdle();
    EXPECT_EQ(served.load(), 1000);
    EXPECT_EQ(broken.load(), 0);
    EXPECT_EQ(count(), "001000\r\n");
}

TEST_F(CountersAndForms, SimultaneousHitsFromOneAddressCountOnce)
{
    std::vector<std::thread> clients;
    for (int t = 0; t < 50; ++t) {
        clients.emplace_back([&] { fetchImage("127.0.0.77"); });
    }
    for (auto& c : clients) {
        c.join();
    }
    f.waitUntilIdle();
    EXPECT_EQ(served.load(), 50);
    EXPECT_EQ(broken.load(), 0);
    EXPECT_EQ(count(), "000042\r\n");
}

TEST_F(CountersAndForms, OneHitsPauseHoldsUpNoOtherRequest)
{
    // Pauses that outlast the test: 50 counted hits all wait in theirs at once. Had a pause held a
    // thread (or the counter's lock), the hits after the first few would not even be counted, and
    // the page would wait behind them.
    f.server->toggle();
    f.server->counters().setPause(std::chrono::hours(1));
    ASSERT_TRUE(f.start());
    std::vector<std::thread> clients;
    for (int t = 0; t < 50; ++t) {
        clients.emplace_back([&, t] { fetchImage(sourceAddress(t)); });
    }
    EXPECT_TRUE(waitFor([&] { return count() == "000091\r\n"; }));
    auto page = httpGet(f.port(), "/index.html", {}, "GET", "127.0.0.200");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(served.load(), 0) << "every counted hit is still in its pause";
    // Stopping the server ends the pauses with the connections.
    f.server->toggle();
    for (auto& c : clients) {
        c.join();
    }
    EXPECT_EQ(served.load(), 0);
}

TEST_F(CountersAndForms, ARequestKeepsTheSettingsItStartedWith)
{
    // The settings change while a request is on its way: its form record and its count still go
    // where they pointed when it began, and a counted hit carries the pause.
    TempDir otherRoot;
    otherRoot.write("hitcounter.txt", "000500\r\n");
    const std::string otherFile = otherRoot.path() + "/feedback.txt";
    f.change([this](Settings& s) { s.WebServe.AppendFile = feedbackFile(); });
    RequestHandler& handler = f.server->requestHandler();
    auto begin = [&](const char* method, const char* target, const char* body) {
        RawRequest raw;
        raw.method = method;
        raw.target = target;
        raw.contentType = "application/x-www-form-urlencoded";
        raw.body = body;
        raw.clientAddress = "127.0.0.5";
        raw.clientPort = 4000;
        return handler.begin(makeRequestItems(raw));
    };
    auto post = begin("POST", "/page.html", "a=1");
    auto hit = begin("GET", "/hitcounter.bmp", "");
    auto repeat = begin("GET", "/hitcounter.bmp", "");
    f.change([&](Settings& s) {
        s.WebServe.AppendFile = otherFile;
        s.WebServe.Root = otherRoot.path();
    });
    EXPECT_EQ(handler.HTTPServerCommandGet(post).status, 302);
    EXPECT_NE(readFile(feedbackFile()).find("a= 1"), std::string::npos);
    EXPECT_FALSE(std::ifstream(otherFile));
    EXPECT_EQ(handler.HTTPServerCommandGet(hit).delay, HitCounter::kPause);
    EXPECT_EQ(handler.HTTPServerCommandGet(repeat).delay, std::chrono::milliseconds(0));
    EXPECT_EQ(count(), "000042\r\n");
    EXPECT_EQ(readFile(otherRoot.path() + "/hitcounter.txt"), "000500\r\n");
}

TEST_F(CountersAndForms, TheFeedbackRedirectStaysOnThisServer)
{
    f.change([this](Settings& s) { s.WebServe.AppendFile = feedbackFile(); });
    for (const char* name :
         {"dir/form\\thanks.html", "x:page.html", "mailform:", "evil.example\\", "\\evil.example:"}) {
        f.root.write(name, "PAGE");
    }
    // The part after the last "\\" or ":" is the target, unless a browser would take it to another
    // host or scheme (or it is empty); then the document's own path, and "/" when even that would.
    struct Case {
        const char* target;
        const char* location;
    };
    for (const Case& c : {
             Case{"/dir/form%5Cthanks.html", "thanks.html"},
             Case{"/x:page.html", "page.html"},
             Case{"/mailform%5C%2F%2Fevil.example%2F..%2F..%2Findex.html",
                  "/mailform\\//evil.example/../../index.html"},
             Case{"/mailform:%2F%2Fevil.example%2F..%2F..%2Findex.html",
                  "/mailform://evil.example/../../index.html"},
             Case{"/mailform:%09%2F%2Fevil.example%2F..%2F..%2Findex.html",
                  "/mailform:\t//evil.example/../../index.html"},
             Case{"/mailform:", "/mailform:"},
             Case{"//evil.example%5C", "/"},
             Case{"/%5Cevil.example:", "/"},
         }) {
        auto r = httpPost(f.port(), c.target, "a=1");
        ASSERT_TRUE(r) << c.target;
        EXPECT_EQ(r->status, 302) << c.target;
        EXPECT_EQ(r->header("location"), c.location) << c.target;
    }
}

TEST_F(CountersAndForms, SimultaneousPostsLeaveWholeRecords)
{
    f.change([this](Settings& s) { s.WebServe.AppendFile = feedbackFile(); });
    std::vector<std::thread> clients;
    std::atomic<int> redirected{0};
    for (int t = 0; t < 50; ++t) {
        clients.emplace_back([&, t] {
            std::string text(3000 + t, char('a' + t % 26));
            auto r = httpPost(f.port(), "/page.html", "n=" + std::to_string(t) + "&text=" + text,
                              sourceAddress(t));
            redirected += r && r->status == 302;
        });
    }
    for (auto& c : clients) {
        c.join();
    }
    f.waitUntilIdle();
    EXPECT_EQ(redirected.load(), 50);
    const std::string all = readFile(feedbackFile());
    const std::string rule = std::string(42, '-') + "\r\n\r\n";
    std::vector<bool> seen(50);
    size_t pos = 0;
    int records = 0;
    while (pos < all.size()) {
        size_t end = all.find(rule, pos);
        ASSERT_NE(end, std::string::npos) << "a record without its rule at " << pos;
        std::string record = all.substr(pos, end - pos);
        pos = end + rule.size();
        ++records;
        // stamp, address, blank line, n=, text=, nothing else.
        size_t a = record.find("\r\nSender's IP address was: 127.0.");
        size_t n = record.find("\r\n \r\nn= ");
        ASSERT_NE(a, std::string::npos);
        ASSERT_NE(n, std::string::npos);
        int t = std::stoi(record.substr(n + 8));
        ASSERT_TRUE(t >= 0 && t < 50);
        EXPECT_FALSE(seen[t]);
        seen[t] = true;
        EXPECT_NE(record.find("Sender's IP address was: " + sourceAddress(t) + "\r\n"), std::string::npos);
        const std::string text = "\r\ntext= " + std::string(3000 + t, char('a' + t % 26)) + "\r\n";
        EXPECT_EQ(record.substr(record.size() - text.size()), text);
        EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 5);
    }
    EXPECT_EQ(records, 50);
}
