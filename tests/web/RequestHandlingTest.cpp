// The request handler's steps against the real server on 127.0.0.1.
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class RequestHandling : public ::testing::Test {
protected:
    void SetUp() override
    {
        f.root.write("index.html", "<html>home</html>");
        f.root.write("page.html", "PAGE");
        ASSERT_TRUE(f.start());
    }

    int status(const std::string& target, const std::string& headers = {})
    {
        auto r = f.get(target, headers);
        return r ? r->status : -1;
    }

    using Writes = std::vector<std::pair<uint16_t, uint8_t>>;
    static std::pair<uint16_t, uint8_t> w(uint8_t v) { return {0x278, v}; }

    ServerFixture f;
};

} // namespace

TEST_F(RequestHandling, IoRequestsWriteThePortBeforeLoginAndBlockedList)
{
    f.change([](Settings& s) {
        s.WebServe.IO = true;
        s.WebServe.Auth = true;
        s.WebServe.User = "ann";
        s.WebServe.Pass = "pw";
        s.WebServe.Login = "Members";
        s.blocked = {"127.0.0.1"};
    });
    EXPECT_EQ(status("/^5"), 204);
    EXPECT_EQ(status("/^$55"), 204);
    EXPECT_EQ(status("/^2"), 204);
    EXPECT_EQ(status("/^-1"), 204);   // 1 OR 2
    EXPECT_EQ(status("/^-256"), 204); // low bits 0: the previous value again
    EXPECT_EQ(status("/^-$3B"), 204); // 0x3B OR 3
    EXPECT_EQ(status("/^0"), 204);
    EXPECT_EQ(f.portWrites(), (Writes{w(5), w(85), w(2), w(3), w(3), w(0x3B), w(0)}));
    EXPECT_EQ(f.portDevice.lastPortValue(), 0);
    EXPECT_EQ(f.countMessages("ACCESS DENIED"), 0u);
    EXPECT_EQ(f.countMessages("I/O Request 5 > 0278H"), 1u);
    EXPECT_EQ(f.countMessages("I/O Request -$3B > 0278H"), 1u);

    // Not numbers, or 256 and above: ordinary documents, here refused by the login.
    EXPECT_EQ(status("/^300"), 401);
    EXPECT_EQ(status("/^12abc"), 401);
    EXPECT_EQ(f.portWrites().size(), 7u);
}

TEST_F(RequestHandling, IoRequestEdges)
{
    f.change([](Settings& s) { s.WebServe.IO = true; });
    f.portDevice.setPortAddress(0x378);

    // The trigger alone: logged with an empty value, 204, nothing written.
    EXPECT_EQ(status("/^"), 204);
    EXPECT_EQ(f.countMessages("I/O Request  > 0378H"), 1u);
    EXPECT_TRUE(f.portWrites().empty());

    EXPECT_EQ(status("/^300"), 404);
    EXPECT_EQ(status("/^12abc"), 404);
    EXPECT_EQ(status("/^2147483648"), 404); // beyond 32 bits
    EXPECT_TRUE(f.portWrites().empty());

    // I/O control off: every trigger path is 204 and nothing else happens.
    f.change([](Settings& s) { s.WebServe.IO = false; });
    size_t before = f.messages().size();
    EXPECT_EQ(status("/^7"), 204);
    EXPECT_EQ(status("/^anything/at/all"), 204);
    EXPECT_TRUE(f.portWrites().empty());
    EXPECT_EQ(f.messages().size(), before + 2); // only the two "Command" lines
    // The value text is logged before it is read: all four attempts above show.
    EXPECT_EQ(f.countMessages("I/O Request"), 4u);
}

TEST_F(RequestHandling, RemoteDisable)
{
    f.change([](Settings& s) {
        s.WebServe.IO = true;
        s.WebServe.RemoteDisable = true;
        s.WebServe.RemotePass = "1off";
    });
    // A password that starts with a digit is read as a number and never recognised.
    EXPECT_EQ(status("/^1off"), 404);
    EXPECT_TRUE(f.settings.snapshot()->WebServe.IO);

    f.change([](Settings& s) { s.WebServe.RemotePass = "Off"; });
    EXPECT_EQ(status("/^off"), 404); // case-sensitive
    EXPECT_TRUE(f.settings.snapshot()->WebServe.IO);
    EXPECT_EQ(status("/^Off"), 204);
    EXPECT_FALSE(f.settings.snapshot()->WebServe.IO);
    EXPECT_EQ(status("/^5"), 204); // now off: nothing is written
    EXPECT_TRUE(f.portWrites().empty());

    // Not allowed to disable remotely: the password is an ordinary document.
    f.change([](Settings& s) {
        s.WebServe.IO = true;
        s.WebServe.RemoteDisable = false;
    });
    EXPECT_EQ(status("/^Off"), 404);
    EXPECT_TRUE(f.settings.snapshot()->WebServe.IO);
}

TEST_F(RequestHandling, TriggerTextLengths)
{
    f.change([](Settings& s) {
        s.WebServe.IO = true;
        s.WebServe.EscChar = "";
    });
    // An empty trigger makes the prefix "/": exactly "/" is an I/O request.
    EXPECT_EQ(status("/"), 204);
    EXPECT_EQ(status("/page.html"), 200);
    EXPECT_TRUE(f.portWrites().empty());

    f.change([](Settings& s) { s.WebServe.EscChar = "^^"; });
    EXPECT_EQ(status("/^^5"), 404); // two characters never match
    EXPECT_EQ(status("/"), 200);
    f.change([](Settings& s) { s.WebServe.EscChar = "!"; });
    EXPECT_EQ(status("/!9"), 204);
    EXPECT_EQ(f.portWrites(), (Writes{w(9)}));
}

TEST_F(RequestHandling, PortWriteFailureAnswers404)
{
    f.recordFile = f.root.path() + "/missing-folder/port.txt";
    f.change([](Settings& s) { s.WebServe.IO = true; });
    EXPECT_EQ(status("/^5"), 404);
    EXPECT_EQ(f.portDevice.lastPortValue(), 0);
}

TEST_F(RequestHandling, Authentication)
{
    f.change([](Settings& s) {
        s.WebServe.Auth = true;
        s.WebServe.User = "ann";
        s.WebServe.Pass = "Pw";
        s.WebServe.Login = "Members only";
    });
    const std::string failedPage =
        "<html><head><title>Error</title></head><body><h1>Authentication failed</h1>\r"
        "Authentication Failed!</body></html>";
    auto r = f.get("/page.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 401);
    EXPECT_EQ(r->header("www-authenticate"), "Basic realm=\"Members only\"");
    EXPECT_EQ(r->body, failedPage);

    EXPECT_EQ(status("/page.html", "Authorization: Basic " + base64("ann:pw") + "\r\n"), 401);
    EXPECT_EQ(status("/page.html", "Authorization: Basic " + base64("Ann:Pw") + "\r\n"), 401);
    r = f.get("/page.html", "Authorization: Basic " + base64("ann:Pw") + "\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, "PAGE");
    // A failed login logs nothing beyond the request line.
    EXPECT_EQ(f.countMessages("Command GET /page.html"), 4u);
    EXPECT_EQ(f.countMessages("Serving file"), 1u);
    EXPECT_EQ(f.messages().size(), 1u + 4u + 1u); // listening line, requests, one served

    // Without a welcome text no challenge goes out: the page comes with 200.
    f.change([](Settings& s) { s.WebServe.Login = ""; });
    r = f.get("/page.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->header("www-authenticate"), "");
    EXPECT_EQ(r->body, failedPage);

    // Both required texts empty: requests without credentials pass.
    f.change([](Settings& s) {
        s.WebServe.User = "";
        s.WebServe.Pass = "";
    });
    r = f.get("/page.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "PAGE");
}

TEST_F(RequestHandling, BlockedList)
{
    const std::string deniedPage =
        "<html><head><title>Error</title></head><body><h1>Access denied</h1>\r"
        "You do not have sufficient priviligies to access this document.</body></html>";
    f.change([](Settings& s) { s.blocked = {"", "192.168.", "0.0.1"}; });
    auto r = f.get("/page.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403);
    EXPECT_EQ(r->body, deniedPage);
    EXPECT_EQ(f.countMessages("ACCESS DENIED: 127.0.0.1"), 1u);

    // An empty entry never matches.
    f.change([](Settings& s) { s.blocked = {""}; });
    EXPECT_EQ(status("/page.html"), 200);

    // "?" blocks every client while reverse lookup is off (the host name is then "?").
    f.change([](Settings& s) { s.blocked = {"?"}; });
    EXPECT_EQ(status("/page.html"), 403);

    // With reverse lookup on, host names match too, and "?" no longer does.
    f.change([](Settings& s) {
        s.WebServe.RevDNS = true;
        s.blocked = {"?"};
    });
    EXPECT_EQ(status("/page.html"), 200);
    f.change([](Settings& s) { s.blocked = {"localho"}; });
    EXPECT_EQ(status("/page.html"), 403);
    EXPECT_EQ(f.countMessages("Command GET /page.html received from 127.0.0.1:"), 5u);
}

TEST_F(RequestHandling, LogLinesAndOwnClients)
{
    auto r = f.get("/a%20b+c.html?x=1");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);
    EXPECT_EQ(r->body, "<html><head><title>Error</title></head><body><h1>Not Found</h1></body></html>");
    auto m = f.messages();
    ASSERT_GE(m.size(), 2u);
    EXPECT_EQ(m[0], "Listening for HTTP connections on 127.0.0.1:" + std::to_string(f.port()) + ".");
    EXPECT_TRUE(m[1].rfind("Command GET /a b c.html received from 127.0.0.1:", 0) == 0) << m[1];
    EXPECT_TRUE(m[1].size() > 5 && m[1].substr(m[1].size() - 5) == "  [?]") << m[1];

    r = f.get("/page.html");
    m = f.messages();
    std::string port = m.back().substr(m.back().rfind(':') + 1);
    EXPECT_EQ(m.back(),
              "Serving file " + f.root.path() + "/page.html (4 bytes / 4 bytes sent) to 127.0.0.1:" + port);

    // A forged line break in the path stays on one line.
    f.get("/x%0D%0A01/01/2020%2000:00:00%20%20%20Server%20stopped");
    EXPECT_EQ(f.countMessages("Server stopped"), 0u);
    EXPECT_EQ(f.countMessages("Command GET /x??01/01/2020 00:00:00   Server stopped received"), 1u);

    // Reverse lookup on: the host name stands in brackets.
    f.change([](Settings& s) { s.WebServe.RevDNS = true; });
    f.get("/page.html");
    EXPECT_EQ(f.countMessages("Command GET /page.html"), 2u);
    EXPECT_NE(f.messages()[f.messages().size() - 2].find("  [localhost]"), std::string::npos);

    // "Don't log own IP": 127.0.0.1 is in the own-address list. Blocked clients are still logged.
    f.change([](Settings& s) {
        s.WebServe.DontLogOwn = true;
        s.WebServe.IO = true;
    });
    size_t before = f.messages().size();
    EXPECT_EQ(status("/page.html"), 200);
    EXPECT_EQ(status("/^1"), 204);
    EXPECT_EQ(f.messages().size(), before);
    f.change([](Settings& s) { s.blocked = {"127."}; });
    EXPECT_EQ(status("/page.html"), 403);
    EXPECT_EQ(f.messages().size(), before + 1);
    EXPECT_EQ(f.messages().back(), "ACCESS DENIED: 127.0.0.1");
}

TEST_F(RequestHandling, HeadAndFolders)
{
    f.root.write("docs/index.html", "DOCS");
    auto r = f.get("/page.html", {}, "HEAD");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->header("content-type"), "text/html");
    EXPECT_EQ(r->header("content-length"), "4");
    EXPECT_EQ(r->body, "");
    EXPECT_EQ(f.countMessages("Serving file"), 0u);

    // A folder without a trailing "/" is answered with its default file, no redirect.
    r = f.get("/docs");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_EQ(r->body, "DOCS");
    EXPECT_EQ(f.messages().back().rfind("Serving file " + f.root.path() + "/docs/index.html (4 bytes", 0),
              0u);
    r = f.get("/");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "<html>home</html>");

    // A folder without its default file, and HEAD on a missing file.
    f.root.mkdir("empty");
    EXPECT_EQ(status("/empty/"), 404);
    r = f.get("/missing.html", {}, "HEAD");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);
    EXPECT_EQ(r->body, "");

    // Other methods never reach the handler.
    r = f.get("/page.html", {}, "DELETE");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 501);
    EXPECT_EQ(f.countMessages("Command DELETE"), 0u);
}

TEST_F(RequestHandling, ServerBusyCountsRequestsInProgress)
{
    // A large file to a client that does not read keeps its request in progress.
    f.root.write("big.bin", std::string(16 << 20, 'b'));
    EXPECT_FALSE(f.server->serverBusy().serverBusy());
    RawConnection slow(f.port());
    slow.send("GET /big.bin HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(waitFor([&] { return f.server->serverBusy().count() == 1; }));
    // A second request that starts and ends meanwhile must not lower the flag for the first.
    EXPECT_EQ(httpGet(f.port(), "/page.html")->status, 200);
    EXPECT_TRUE(f.server->serverBusy().serverBusy());
    ASSERT_TRUE(slow.readResponse(false, std::chrono::seconds(10)));
    EXPECT_TRUE(waitFor([&] { return !f.server->serverBusy().serverBusy(); }));
    EXPECT_EQ(
        f.countMessages("Serving file " + f.root.path() + "/big.bin (16777216 bytes / 16777216 bytes sent)"),
        1u);
}

TEST_F(RequestHandling, DecodedDocumentNamesTheFile)
{
    f.root.write("pics/a b.jpg", "JPEG");
    for (const char* target : {"/pics/a%20b.jpg", "/pics/a+b.jpg"}) {
        auto r = f.get(target);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 200) << target;
        EXPECT_EQ(r->body, "JPEG");
        EXPECT_EQ(r->header("content-type"), "image/jpeg");
    }
    EXPECT_EQ(f.countMessages("Command GET /pics/a b.jpg received"), 2u);
}

TEST_F(RequestHandling, ReverseLookupMissIsAnsweredFromTheWorkerPool)
{
    // 127.0.5.1 has no name: the first lookup goes to the resolver off the I/O thread, the second
    // is answered from the cache. Either way the host name is empty.
    f.change([](Settings& s) { s.WebServe.RevDNS = true; });
    for (int i = 0; i < 2; ++i) {
        auto r = httpGet(f.port(), "/page.html", {}, "GET", "127.0.5.1");
        f.waitUntilIdle();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->body, "PAGE");
    }
    EXPECT_EQ(f.countMessages("Command GET /page.html received from 127.0.5.1:"), 2u);
    for (const auto& m : f.messages()) {
        if (m.rfind("Command", 0) == 0) {
            EXPECT_EQ(m.substr(m.size() - 4), "  []") << m;
        }
    }
}

namespace {

// Takes away root's right to read any file, for this thread and the threads it starts.
bool dropFileReadOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

TEST(RequestHandlingErrors, FileThatCannotBeOpenedGives500WithTheMessage)
{
    ServerFixture f;
    std::string path = f.root.write("locked.html", "LOCKED");
    ::chmod(path.c_str(), 0);
    if (::geteuid() == 0) {
        // Each test runs in a process of its own, so this reaches no other test.
        ASSERT_TRUE(dropFileReadOverride());
    }
    ASSERT_TRUE(f.start());
    auto r = f.get("/locked.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 500);
    // The client learns nothing of the server's folders; the log has the whole message.
    EXPECT_EQ(r->body,
              "<html><head><title>Error</title></head><body><h1>Internal Server Error</h1></body></html>");
    EXPECT_EQ(f.countMessages("Error answering GET /locked.html from 127.0.0.1:"), 1u);
    auto messages = f.messages();
    EXPECT_NE(messages.back().find(": Cannot open file \"" + path + "\". Permission denied"),
              std::string::npos)
        << messages.back();
    r = f.get("/locked.html", {}, "HEAD");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 500);
    EXPECT_EQ(r->body, "");
    EXPECT_EQ(f.countMessages("Serving file"), 0u);
    EXPECT_FALSE(f.server->serverBusy().serverBusy());
    // The server goes on serving.
    f.root.write("ok.html", "OK");
    EXPECT_EQ(f.get("/ok.html")->body, "OK");
}
