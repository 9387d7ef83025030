// The FTP session against a real pyftpdlib server on 127.0.0.1: several stores on one control
// connection in active mode, ASCII and binary, folders, two sessions at once, the connect and
// disconnect events, and the failures: a refused login, a server that is not there, a stalled
// transfer, a stop.
#include "net/FtpClient.h"
#include "support/FtpTestServer.h"
#include "support/ServerFixture.h"
#include "support/SmtpTestServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

using namespace kestrelon;
using namespace kestrelon::test;

namespace {

class EventList : public FtpSessionEvents {
public:
    void connected() override { seen.push_back("connected"); }
    void disconnected() override { seen.push_back("disconnected"); }
    std::vector<std::string> seen;
};

class FtpClientTest : public ::testing::Test {
protected:
    FtpClientTest()
    {
        std::filesystem::create_directories(server.root() + "/htdocs/sub");
        local = files.write("page.htm", "ip=203.0.113.7\r\nend\r\n");
    }
    FtpAccount account(bool ascii = true) const
    {
        return {server.address(), FtpTestServer::kUser, FtpTestServer::kPassword, ascii};
    }

    FtpTestServer server;
    TempDir files;
    std::string local;
    EventList events;
};

} // namespace

TEST_F(FtpClientTest, StoresSeveralFilesOnOneControlConnection)
{
    FtpClient ftp;
    ASSERT_EQ(ftp.connect(account(), events, {}), "");
    EXPECT_EQ(events.seen, std::vector<std::string>{"connected"});
    EXPECT_EQ(ftp.store(local, "top.htm"), "");
    EXPECT_EQ(ftp.changeDirectory("htdocs"), "");
    EXPECT_EQ(ftp.store(local, "a.htm"), "");
    EXPECT_EQ(ftp.store(local, "sub/b.htm"), "");
    EXPECT_EQ(ftp.store(local, "/htdocs/sub/c d.htm"), "") << "a path from the root, with a blank";
    // A folder that is not there is an error and leaves the folder as it was; so is a local
    // file that is not there, and the session goes on.
    EXPECT_NE(ftp.changeDirectory("missing"), "");
    EXPECT_NE(ftp.store(files.path() + "/none.htm", "x.htm"), "");
    EXPECT_EQ(ftp.store(local, "a2.htm"), "");
    EXPECT_EQ(ftp.connectionsMade(), 1);
    ftp.quit();
    EXPECT_EQ(events.seen, (std::vector<std::string>{"connected", "disconnected"}));
    ftp.quit(); // harmless when not connected

    EXPECT_EQ(server.file("/top.htm"), "ip=203.0.113.7\r\nend\r\n");
    EXPECT_EQ(server.file("/htdocs/a2.htm"), "ip=203.0.113.7\r\nend\r\n");
    EXPECT_EQ(server.file("/htdocs/sub/c d.htm"), "ip=203.0.113.7\r\nend\r\n");
    std::vector<std::string> seen = server.events();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "login web"), 1);
    EXPECT_NE(std::find(seen.begin(), seen.end(), "stor /htdocs/sub/b.htm a"), seen.end()) << "ASCII";
    EXPECT_NE(std::find(seen.begin(), seen.end(), "quit"), seen.end());

    // Binary, replacing what is there.
    FtpClient binary;
    ASSERT_EQ(binary.connect(account(false), events, {}), "");
    const std::string other = files.write("other.htm", "other");
    EXPECT_EQ(binary.store(other, "/htdocs/a.htm"), "");
    binary.quit();
    EXPECT_EQ(server.file("/htdocs/a.htm"), "other");
    EXPECT_TRUE(waitFor([&] {
        seen = server.events();
        return std::count(seen.begin(), seen.end(), "disconnect") == 2;
    }));
    EXPECT_NE(std::find(seen.begin(), seen.end(), "stor /htdocs/a.htm i"), seen.end());
}

TEST_F(FtpClientTest, FailuresEndTheSessionWithinTheirTimeOuts)
{
    // A refused login: the server greeted, so the session was connected and is now closed.
    server.refuseLogins(1);
    FtpClient::Options quick;
    quick.timeouts = {std::chrono::seconds(2), std::chrono::seconds(1), std::chrono::seconds(3)};
    FtpClient ftp(quick);
    std::string error = ftp.connect(account(), events, {});
    EXPECT_NE(error.find("530"), std::string::npos) << error;
    EXPECT_EQ(events.seen, (std::vector<std::string>{"connected", "disconnected"}));
    EXPECT_NE(ftp.store(local, "a.htm"), "");

    // Nobody there, and a host that is no host: no events.
    events.seen.clear();
    EXPECT_NE(
        ftp.connect({"127.0.0.1:" + std::to_string(SmtpTestServer::closedPort()), "u", "p"}, events, {}), "");
    EXPECT_EQ(ftp.connect({"ftp.example.test/x", "u", "p"}, events, {}),
              "Invalid FTP host \"ftp.example.test/x\"");
    EXPECT_TRUE(events.seen.empty());

    // A transfer the server stops reading ends with the reply time-out, and the connection with it.
    server.stallStoreOf("slow.htm");
    ASSERT_EQ(ftp.connect(account(), events, {}), "");
    error = ftp.store(local, "slow.htm");
    EXPECT_NE(error.find("imeout"), std::string::npos) << error;
    EXPECT_EQ(events.seen, (std::vector<std::string>{"connected", "disconnected"}));
    ftp.quit();

    // A stop ends a stalled transfer: the client would wait ten minutes for each reply.
    events.seen.clear();
    FtpClient::Options tenMinutes;
    tenMinutes.timeouts = {std::chrono::minutes(10), std::chrono::minutes(10), std::chrono::minutes(10)};
    FtpClient patient(tenMinutes);
    std::stop_source stop;
    ASSERT_EQ(patient.connect(account(), events, stop.get_token()), "");
    std::jthread stopper([&] {
        waitFor([&] {
            auto seen = server.events();
            return std::count(seen.begin(), seen.end(), "stalled /slow.htm") == 2;
        });
        stop.request_stop();
    });
    EXPECT_EQ(patient.store(local, "slow.htm"), CurlTransfer::kCancelled);
    patient.quit();
    EXPECT_EQ(events.seen, (std::vector<std::string>{"connected", "disconnected"}));
}

TEST_F(FtpClientTest, TwoSessionsStoreAtTheSameTime)
{
    // The snapshot upload and the site upload run sessions of their own on two threads, to one
    // server. Session after session each, so that one session's goodbye or data connection often
    // meets the other's data connection being made at the server; every store must succeed (a lost
    // reply ends a store with the reply time-out). Each thread stops at its first failure.
    FtpClient::Options quick;
    quick.timeouts = {std::chrono::seconds(2), std::chrono::seconds(2), std::chrono::seconds(4)};
    constexpr int kSessions = 400;
    auto sessions = [&](const std::string& prefix, std::vector<std::string>& errors) {
        for (int i = 0; i < kSessions && errors.empty(); ++i) {
            EventList ownEvents;
            FtpClient ftp(quick);
            const std::string name = prefix + std::to_string(i) + ".htm";
            std::string error = ftp.connect(account(false), ownEvents, {});
            if (error.empty()) {
                error = ftp.store(local, name);
            }
            ftp.quit();
            if (!error.empty()) {
                errors.push_back(name + ": " + error);
            }
        }
    };
    std::vector<std::string> errorsA, errorsB;
    {
        std::jthread a([&] { sessions("a", errorsA); });
        std::jthread b([&] { sessions("b", errorsB); });
    }
    EXPECT_EQ(errorsA, std::vector<std::string>{});
    EXPECT_EQ(errorsB, std::vector<std::string>{});
    EXPECT_EQ(server.file("/a399.htm"), "ip=203.0.113.7\r\nend\r\n");
    EXPECT_EQ(server.file("/b399.htm"), "ip=203.0.113.7\r\nend\r\n");
}
