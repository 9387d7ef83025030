// The live stream in the real program, headless: it streams the test pattern by itself at
// start-up, beside the camera's snapshots from the same capture, and serves its viewer port to
// viewers from several loopback addresses.
#include "StreamReceiver.h"
#include "streaming/StreamPipeline.h"
#include "support/HeadlessProgram.h"
#include "support/LoopbackSocket.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <unistd.h>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

// A port that nobody listens on right now (the viewer port's 0 means: nobody can connect).
uint16_t freePort()
{
    uint16_t port = 0;
    ::close(boundLoopbackSocket(port));
    return port;
}

std::unique_ptr<StreamReceiver> watch(const ViewerRequestResult& reply)
{
    return reply.status == 200 ? std::make_unique<StreamReceiver>(reply.fd) : nullptr;
}

bool decodes(const Received& r)
{
    return r.decodedFrames >= 5;
}

TEST(HeadlessStream, ViewersAreServedLimitedAndListedBesideTheSnapshots)
{
    QString error;
    ASSERT_TRUE(initStreamLibrary(error)) << error.toStdString();
    TempDir dir;
    const std::string snapshot = dir.path() + "/www/snap.jpg";
    const uint16_t port = freePort();
    const std::string ini = dir.write(
        "k.ini", "[WebServe]\nPort=0\nRevDNS=0\nRoot=" + dir.path() + "/www\n" +
                     "[Camera]\nAutoSelect=1\nAutoStart=1\nDelay=0\nInterval=1\nFile=" + snapshot + "\n" +
                     "[VidStream]\nStream=1\nLastDevice=0\nUsers=2\nProfile=0\nClip=Spike clip\nPort=" +
                     std::to_string(port) + "\n");
    dir.write("www/index.html", "HOME");
    HeadlessProgram program(KESTRELON_EXE, {"--headless", "--config", ini, "--listen", "127.0.0.1"},
                            {"GST_PLUGIN_FEATURE_RANK=v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,"
                             "libcameraprovider:NONE"});
    ASSERT_TRUE(
        program.waitForLine(std::regex("^video: Streaming Test pattern at 256 Kbps \\(CBR\\), 320 x 240, "
                                       "on port " +
                                       std::to_string(port) + " for at most 2 viewers$"),
                            15s))
        << program.stderrText();

    // A browser asking for "/" gets the player page, titled with the clip.
    const ViewerRequestResult page = requestViewerPort(port, "127.0.0.5", "text/html,*/*;q=0.8");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.header.find("Content-Type: text/html"), std::string::npos) << page.header;
    ::close(page.fd);

    // Players get the stream: a header without a length, then WebM that decodes at the row's size.
    const ViewerRequestResult firstReply = requestViewerPort(port, "127.0.0.2");
    ASSERT_EQ(firstReply.status, 200) << firstReply.header;
    for (const char* field :
         {"Content-Type: video/webm\r\n", "Cache-Control: no-cache\r\n", "Connection: close\r\n"}) {
        EXPECT_NE(firstReply.header.find(field), std::string::npos) << firstReply.header;
    }
    EXPECT_EQ(firstReply.header.find("Content-Length"), std::string::npos);
    auto first = watch(firstReply);
    auto second = watch(requestViewerPort(port, "127.0.0.3"));
    ASSERT_TRUE(first && second);
    ASSERT_TRUE(first->waitFor(decodes));
    EXPECT_EQ(first->received().decodedWidth, 320);
    EXPECT_EQ(first->received().decodedHeight, 240);
    EXPECT_EQ(first->received().title, "Spike clip");
    ASSERT_TRUE(second->waitFor(decodes));
    EXPECT_TRUE(
        program.waitForLine(std::regex("^video: Client connections: 127\\.0\\.0\\.2, 127\\.0\\.0\\.3$"), 5s));

    // "Max. Users" 2: a third viewer is refused until one of the two has gone.
    const ViewerRequestResult refused = requestViewerPort(port, "127.0.0.4");
    EXPECT_EQ(refused.status, 503);
    ::close(refused.fd);
    first->leave();
    ASSERT_TRUE(program.waitForLine(std::regex("^video: Client connections: 127\\.0\\.0\\.3$"), 5s));
    auto third = watch(requestViewerPort(port, "127.0.0.4"));
    ASSERT_TRUE(third);
    ASSERT_TRUE(third->waitFor(decodes));
    EXPECT_TRUE(
        program.waitForLine(std::regex("^video: Client connections: 127\\.0\\.0\\.3, 127\\.0\\.0\\.4$"), 5s));

    // The camera's snapshots went on from the same capture meanwhile.
    EXPECT_TRUE(std::filesystem::exists(snapshot));

    // The end drops the viewers; the stream file is gone.
    program.terminate();
    EXPECT_EQ(program.waitForExit(10s), 0);
    EXPECT_NE(program.stderrText().find("\nvideo: Streaming stopped\n"), std::string::npos);
    EXPECT_TRUE(second->waitFor([](const Received& r) { return r.closed; }, 5s));
    EXPECT_TRUE(third->waitFor([](const Received& r) { return r.closed; }, 5s));
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/kestrelon.webm"));
}

} // namespace
