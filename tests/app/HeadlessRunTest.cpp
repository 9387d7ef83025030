// The real program, headless, on a temporary settings file and a free port.
#include "core/IniFile.h"
#include "core/PasswordScrambler.h"
#include "support/FtpTestServer.h"
#include "support/HeadlessProgram.h"
#include "support/LoopbackSocket.h"
#include "support/NoOutsideLookup.h"
#include "support/PageTestServer.h"
#include "support/RawHttpClient.h"
#include "support/ServerFixture.h"
#include "support/StuckSmtpServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace kestrelon::test;

TEST(HeadlessRun, ServesStopsOnSigtermAndSavesTheSettings)
{
    TempDir dir;
    dir.write("www/index.html", "HEADLESS");
    std::string ini =
        dir.write("k.ini", "; kept\n[WebServe]\nPort=0\nRevDNS=0\nAutoStart=1\nRoot=" + dir.path() +
                               "/www\n[Unknown]\nx=1\n" + kNoOutsideLookup);
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1"});
    auto listening = program.waitForLine(
        std::regex(
            R"(^server: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d   Listening for HTTP connections on 127\.0\.0\.1:(\d+)\.$)"),
        std::chrono::seconds(10));
    ASSERT_TRUE(listening);
    uint16_t port = static_cast<uint16_t>(std::stoi((*listening)[1]));
    auto r = httpGet(port, "/index.html");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "HEADLESS");
    ASSERT_TRUE(program.waitForLine(
        std::regex("^server: .*   Serving file " + dir.path() + "/www/index.html"), std::chrono::seconds(5)));
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/kestrelon.html"));

    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 0);
    bool stopped = false;
    for (const auto& line : program.lines()) {
        stopped |= line.find("server: ") == 0 && line.find("   Server stopped") != std::string::npos;
    }
    EXPECT_TRUE(stopped);
    // Written at shutdown: every key now, and what was there before stays.
    std::string text = readFile(ini);
    EXPECT_EQ(text.rfind("; kept\n[WebServe]\nPort=0\n", 0), 0u);
    kestrelon::IniFile saved(text);
    EXPECT_EQ(saved.value("Unknown", "x"), "1");
    EXPECT_EQ(saved.value("WebServe", "RootFile"), "index.html");
    EXPECT_EQ(saved.value("VidStream", "Port"), "8080");
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/kestrelon.html"));
}

TEST(HeadlessRun, UnreadableSettingsFileExitsWithStatus2)
{
    TempDir dir;
    dir.mkdir("k.ini");
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", dir.path() + "/k.ini"});
    ASSERT_TRUE(
        program.waitForLine(std::regex("Unable to read " + dir.path() + "/k.ini"), std::chrono::seconds(10)));
    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 2);
}

TEST(HeadlessRun, StartUpNotesAndTimeCheckFailuresReachStandardErrorAndASigtermEndsAFailedSave)
{
    TempDir dir;
    dir.write("www/index.html", "HEADLESS");
    // A time server port that refuses: bound, but nobody listens.
    uint16_t refusing = 0;
    const int socket = kestrelon::test::boundLoopbackSocket(refusing);
    const std::string ini = dir.write("k.ini", "[WebServe]\nPort=0\nRevDNS=0\nLAN=1\nRoot=" + dir.path() +
                                                   "/www\n[System]\nDebug=1\n"
                                                   "[TimeServer]\nAuto=1\nServer=127.0.0.1:" +
                                                   std::to_string(refusing) + "\n");
    ::chmod(ini.c_str(), 0444);
    HeadlessProgram program(KESTRELON_EXE,
                            {"--headless", "--config", ini, "--listen", "127.0.0.1", "-noexternal"});
    EXPECT_TRUE(program.waitForLine(std::regex(R"(^Debug Active\. External IP address is not available\.$)"),
                                    std::chrono::seconds(10)));
    EXPECT_TRUE(program.waitForLine(std::regex(R"(^time:  {26}\d\d:\d\d:\d\d {8}\(Server - no response\)$)"),
                                    std::chrono::seconds(10)));
    EXPECT_TRUE(program.waitForLine(std::regex(R"(^time: error: .+)"), std::chrono::seconds(10)))
        << program.stderrText();
    ::close(socket);

    // The settings cannot be written: said, and the run ends in order, with status 1.
    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 1) << program.stderrText();
    EXPECT_NE(program.stderrText().find("Unable to write to " + ini), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/kestrelon.html"));
}

TEST(HeadlessRun, AStandardErrorNobodyReadsHoldsUpNeitherRequestsNorTheShutdown)
{
    TempDir dir;
    dir.write("www/index.html", "HEADLESS");
    std::string ini =
        dir.write("k.ini", std::string(kNoOutsideLookup) +
                               "[WebServe]\nPort=0\nRevDNS=0\nAutoStart=1\nRoot=" + dir.path() + "/www\n");
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1"});
    auto listening = program.waitForLine(
        std::regex(R"(Listening for HTTP connections on 127\.0\.0\.1:(\d+)\.)"), std::chrono::seconds(10));
    ASSERT_TRUE(listening);
    program.stopReading();
    // Each request logs two lines: far more than the pipe holds.
    RawConnection conn(static_cast<uint16_t>(std::stoi((*listening)[1])));
    int answered = 0;
    for (; answered < 1500; ++answered) {
        conn.send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
        auto r = conn.readResponse();
        if (!r || r->body != "HEADLESS") {
            break;
        }
    }
    EXPECT_EQ(answered, 1500);
    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 0);
}

TEST(HeadlessRun, CaptureStartsByItselfAndRewritesTheSnapshotOnItsInterval)
{
    TempDir dir;
    dir.write("www/index.html", "CAMERA");
    const std::string snap = dir.path() + "/www/snap.jpg";
    const std::string ini = dir.write("k.ini", "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + dir.path() +
                                                   "/www\n[Camera]\nAutoSelect=1\nAutoStart=1\nDelay=0\n"
                                                   "Interval=1\nDelete=1\nFile=" +
                                                   snap + "\n");
    // Only the test pattern, even on a machine with a camera.
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1"},
                            {"GST_PLUGIN_FEATURE_RANK=v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,"
                             "libcameraprovider:NONE"});
    ASSERT_TRUE(program.waitForLine(
        std::regex("^camera: Capture started: a snapshot every 1 seconds to " + snap + "$"),
        std::chrono::seconds(10)));
    // Written at once, then again every second: each time it is taken away it comes back, a whole
    // JPEG picture.
    for (int round = 0; round < 3; ++round) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!std::filesystem::exists(snap) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const std::string jpeg = readFile(snap);
        ASSERT_GT(jpeg.size(), 1000u) << "round " << round;
        EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
        EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
        std::filesystem::remove(snap);
    }

    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 0);
    // "Delete image when server exits".
    EXPECT_FALSE(std::filesystem::exists(snap));
    EXPECT_NE(program.stderrText().find("camera: Capture stopped\n"), std::string::npos);
}

TEST(HeadlessRun, CaptureAndUploadRunByThemselvesEachOnItsInterval)
{
    FtpTestServer ftp;
    TempDir dir;
    dir.write("www/index.html", "CAMERA");
    const std::string snap = dir.path() + "/www/snap.jpg";
    const std::string ini = dir.write(
        "k.ini", "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + dir.path() +
                     "/www\n[Camera]\nAutoSelect=1\nAutoStart=1\nDelay=0\nInterval=1\nCameraLog=1\nFile=" +
                     snap + "\n[FTPCamera]\nHost=" + ftp.address() + "\nUsername=" + FtpTestServer::kUser +
                     "\nPassword=" + kestrelon::EnDeCrypt(FtpTestServer::kPassword) +
                     "\nSavePass=1\nFile=cam.jpg\nAutoStart=1\nInterval=5\n");
    // Only the test pattern, even on a machine with a camera, and no display to open a window on.
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1"},
                            {"GST_PLUGIN_FEATURE_RANK=v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,"
                             "libcameraprovider:NONE",
                             "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=xcb"});
    ASSERT_TRUE(program.waitForLine(std::regex("^camera: Capture started: a snapshot every 1 seconds"),
                                    std::chrono::seconds(10)));
    // Every five seconds the latest snapshot, a whole JPEG picture, replaces the one on the server;
    // the test pattern's clock makes each one differ from the one before.
    const std::regex uploaded("^upload: \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d  " + snap +
                              " uploaded as /cam\\.jpg$");
    std::string previous;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(program.waitForLine(uploaded, std::chrono::seconds(20))) << program.stderrText();
        const std::string jpeg = ftp.file("/cam.jpg");
        ASSERT_GT(jpeg.size(), 1000u) << "round " << round;
        EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
        EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
        EXPECT_NE(jpeg, previous);
        previous = jpeg;
    }
    const std::string text = program.stderrText();
    EXPECT_NE(text.find("  Connecting to " + ftp.address() + "\n"), std::string::npos);
    EXPECT_EQ(text.find("+++Error"), std::string::npos);

    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 0);
}

TEST(HeadlessRun, SigtermWithMailsStuckOnTheServerEndsAtOnceAndLogsThemAsNotSent)
{
    StuckSmtpServer stuck(StuckSmtpServer::Mode::StallAfterData);
    TempDir dir;
    dir.write("www/index.html", "HOME");
    std::string ini = dir.write("k.ini", std::string(kNoOutsideLookup) +
                                             "[WebServe]\nPort=0\nRevDNS=0\nAutoStart=1\nRoot=" + dir.path() +
                                             "/www\nAppend=0\nEmail=1\nEmailServer=" + stuck.address() +
                                             "\nEmailAddr=owner@example.org\nEmailFrom=k@example.org\n");
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1"});
    auto listening = program.waitForLine(
        std::regex(R"(Listening for HTTP connections on 127\.0\.0\.1:(\d+)\.$)"), std::chrono::seconds(10));
    ASSERT_TRUE(listening);
    uint16_t port = static_cast<uint16_t>(std::stoi((*listening)[1]));
    for (int i = 0; i < 4; ++i) {
        auto r = httpPost(port, "/index.html", "n=" + std::to_string(i));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 302);
    }
    // Both mail threads wait for the server's answer to a mail; two more mails wait their turn.
    ASSERT_TRUE(waitFor([&] { return stuck.stalledMessages() == 2; }));
    auto image = httpGet(port, "/hitcounter.bmp");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->status, 200);

    auto start = std::chrono::steady_clock::now();
    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    size_t notSent = 0;
    for (const auto& line : program.lines()) {
        notSent += line.starts_with("server: ") &&
                   line.ends_with("   Email error: Not sent: the program is shutting down");
    }
    EXPECT_EQ(notSent, 4u);
}

TEST(HeadlessRun, IpRefreshChecksOnceAtStartupAndItsLogReachesStandardError)
{
    // The stored router definition reads the address from a status page behind a login; the pass
    // uploads the filled template to a real FTP server.
    PageTestServer router;
    router.setProtectedPage("/status.htm", "<td>WAN</td><td>203.0.113.9</td>", "admin", "pw");
    FtpTestServer ftp;
    TempDir dir;
    dir.write("www/index.html", "HEADLESS");
    const std::string tmpl = dir.write("ip.tem", "address={ip}\n");
    const std::string ini = dir.write(
        "k.ini", "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + dir.path() +
                     "/www\n[Router]\nExternal=0\nUserDefined=1\nSelectedRouter=0\n[Routers]\n0-Home=1\n"
                     "[RoutersData]\n0-" +
                     router.hostAndPath("/status.htm") + ",<td>WAN</td>,0,admin," +
                     kestrelon::EnDeCrypt("pw") +
                     "=1\n[FTP]\nAutoStart=1\nEnableFTP=1\nConfirmLocal=0\nInterval=0\n"
                     "[Remote]\nHost=" +
                     ftp.address() + "\nUsername=" + FtpTestServer::kUser +
                     "\nPassword=" + kestrelon::EnDeCrypt(FtpTestServer::kPassword) +
                     "\nSavePass=1\n[RemoteTemplate]\n" + tmpl + "=1\n[RemoteFile]\n/ip.htm=1\n");
    // Not 127.0.0.1, which IP-Refresh refuses as the local address.
    HeadlessProgram program(KESTRELON_EXE,
                            {"--headless", "--config", ini, "--listen", "127.0.0.2", "-noexternal"});
    const std::string stamp = R"(^iprefresh: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d)";
    EXPECT_TRUE(program.waitForLine(
        std::regex(stamp + " :Connecting to 127\\.0\\.0\\.1:" + std::to_string(ftp.port()) + "$"),
        std::chrono::seconds(10)))
        << program.stderrText();
    EXPECT_TRUE(program.waitForLine(std::regex(stamp + R"( : Uploaded IP - 203\.0\.113\.9$)"),
                                    std::chrono::seconds(10)))
        << program.stderrText();
    EXPECT_TRUE(program.waitForLine(std::regex(stamp + " : Disconnected$"), std::chrono::seconds(10)));
    EXPECT_EQ(ftp.file("/ip.htm"), "address=203.0.113.9\r\n");
    program.terminate();
    EXPECT_EQ(program.waitForExit(std::chrono::seconds(10)), 0) << program.stderrText();
    EXPECT_NE(readFile(ini).find("LastUploaded=203.0.113.9"), std::string::npos);
}
