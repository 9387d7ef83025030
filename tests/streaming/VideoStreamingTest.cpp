// The Video page's logic: profiles, the port clash, the start-up rules, Start and Stop with a real
// stream of the test pattern, and what happens when the stream reports an error.
#include "streaming/VideoStreaming.h"
#include "StreamReceiver.h"
#include "core/SettingsModel.h"
#include "streaming/StreamPipeline.h"
#include "streaming/StreamPreview.h"
#include "streaming/StreamViewers.h"
#include "streaming/TestPatternFeed.h"
#include "support/GuiApplication.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

// The page's preview as the capture will give it; records what the page asks of it.
struct RecordingPreview : StreamPreview {
    bool start(int position, QString& error) override
    {
        starts.push_back(position);
        if (!failWith.isEmpty()) {
            error = failWith;
            return false;
        }
        running = true;
        return true;
    }
    void stop() override { running = false; }
    std::vector<int> starts;
    bool running = false;
    QString failWith;
};

class VideoStreamingTest : public ::testing::Test {
protected:
    VideoStreamingTest() : settings(Settings::defaults(dir.path()))
    {
        ensureGuiApplication();
        page = make();
    }
    std::unique_ptr<VideoStreaming> make()
    {
        auto p = std::make_unique<VideoStreaming>(settings, dir.path() + "/kestrelon.webm");
        QObject::connect(p.get(), &VideoStreaming::messageBox,
                         [this](const QString& text) { messages << text; });
        p->setQuestion([this](const QString& text) {
            questions << text;
            return answer;
        });
        return p;
    }
    void change(const std::function<void(VidStreamSettings&)>& f)
    {
        settings.update([&](Settings& s) { f(s.VidStream); });
    }
    const VidStreamSettings& stored() { return (last = settings.snapshot())->VidStream; }

    TempDir dir;
    SettingsModel settings;
    std::shared_ptr<const Settings> last;
    std::unique_ptr<VideoStreaming> page;
    QStringList messages;
    QStringList questions;
    bool answer = false;
};

TEST_F(VideoStreamingTest, TheProfileIsBuiltWhenAppliedOnly)
{
    page->ApplyProfile();
    ASSERT_TRUE(page->customProfile());
    EXPECT_TRUE(page->startEnabled());
    // "28.8 Kbps (CBR)", the default row, keeps 240 x 176.
    EXPECT_EQ(page->customProfile()->width, 240);
    EXPECT_EQ(page->customProfile()->height, 176);
    const int quantizerAt50 = page->customProfile()->minQuantizer;

    // "Quality" alone changes nothing until a profile is chosen again.
    change([](VidStreamSettings& v) { v.Quality = 100; });
    EXPECT_EQ(page->customProfile()->quality, 50);
    change([](VidStreamSettings& v) { v.Profile = 4; });
    page->ApplyProfile();
    // "32 Kbps (CBR)" sends 320 x 240, and the new quality lets the encoder go finer.
    EXPECT_EQ(page->customProfile()->bitrate, 32000);
    EXPECT_EQ(page->customProfile()->width, 320);
    EXPECT_EQ(page->customProfile()->height, 240);
    EXPECT_LT(page->customProfile()->minQuantizer, quantizerAt50);

    // No row (or one that does not exist) selects the default row and stores it.
    change([](VidStreamSettings& v) { v.Profile = 9; });
    page->ApplyProfile();
    EXPECT_EQ(page->customProfile()->row, 5);
    EXPECT_EQ(stored().Profile, 5);
}

TEST_F(VideoStreamingTest, APortClashResetsTheFieldJustLeft)
{
    settings.update([](Settings& s) { s.WebServe.Port = "8080"; });
    EXPECT_TRUE(page->edVideoPortExit());
    EXPECT_EQ(stored().Port, "0");
    settings.update([](Settings& s) { s.WebServe.Port = "0"; });
    EXPECT_TRUE(page->edPortExit());
    EXPECT_EQ(settings.snapshot()->WebServe.Port, "80");
    EXPECT_EQ(messages, QStringList(2, VideoStreaming::kPortClash));
    // Different texts are no clash, even when they read as the same number.
    settings.update([](Settings& s) { s.WebServe.Port = "080"; });
    change([](VidStreamSettings& v) { v.Port = "80"; });
    EXPECT_FALSE(page->edVideoPortExit());
    EXPECT_FALSE(page->edPortExit());
    EXPECT_EQ(messages.size(), 2);
}

TEST(VideoPortNumber, DigitsWithBlanksAroundThem)
{
    EXPECT_EQ(videoPortNumber(" 8081 "), 8081);
    EXPECT_EQ(videoPortNumber("8 081"), 0);
    EXPECT_EQ(videoPortNumber("65536"), 0);
}

TEST_F(VideoStreamingTest, OnlyAStoredSourceStartsStreamingAtStartUp)
{
    change([](VidStreamSettings& v) {
        v.Stream = true;
        v.LastDevice = -1;
    });
    page->setUp();
    EXPECT_FALSE(page->streaming());
    EXPECT_TRUE(page->startEnabled());
    // "Start streaming automatically" brings "No preview" with it.
    EXPECT_TRUE(stored().NoPreview);
    EXPECT_TRUE(page->noPreviewShown());
    EXPECT_FALSE(page->previewEnabled());

    // A stored source that is no longer listed selects nothing and starts nothing.
    change([](VidStreamSettings& v) { v.LastDevice = 1; });
    page = make();
    page->setUp();
    EXPECT_EQ(page->sourcePosition(), -1);
    EXPECT_FALSE(page->streaming());

    change([](VidStreamSettings& v) { v.LastDevice = 0; });
    page = make();
    page->setUp();
    EXPECT_TRUE(page->streaming());
    EXPECT_EQ(page->statusText(), "Running");

    // The boxes: "No preview" shows its label, ticking the automatic start ticks it too.
    page->btnStopVideoClick();
    change([](VidStreamSettings& v) { v.NoPreview = false; });
    page->cbNoPreviewClick();
    EXPECT_FALSE(page->noPreviewShown());
    page->cbAutoStreamClick();
    EXPECT_TRUE(stored().NoPreview);
    EXPECT_TRUE(page->noPreviewShown());
}

TEST_F(VideoStreamingTest, StartStreamsToViewersAndStopEndsIt)
{
    RecordingPreview preview;
    page->setPreview(&preview);
    change([](VidStreamSettings& v) {
        v.LastDevice = 0;
        v.Users = 2;
    });
    {
        std::ofstream(page->streamFile()) << "left over";
    }
    page->ApplyProfile();
    page->btnStartVideoClick();
    ASSERT_TRUE(page->streaming()) << messages.join("|").toStdString();
    EXPECT_TRUE(page->stopEnabled());
    EXPECT_FALSE(page->startEnabled() || page->sourceEnabled() || page->previewEnabled() ||
                 page->noPreviewEnabled());
    EXPECT_TRUE(page->Timer2.isActive());
    EXPECT_EQ(preview.starts, std::vector<int>{0});

    ViewerSockets sockets = connectViewer("127.0.0.2");
    ASSERT_TRUE(page->viewers()->addViewer(sockets.server));
    StreamReceiver viewer(sockets.client);
    ASSERT_TRUE(viewer.waitFor([](const Received& r) { return r.decodedFrames > 0; }));
    page->Timer2Timer();
    EXPECT_EQ(page->clientList(), QStringList{"127.0.0.2"});

    page->btnStopVideoClick();
    EXPECT_FALSE(page->streaming());
    EXPECT_FALSE(page->noPreviewShown());
    EXPECT_FALSE(preview.running);
    EXPECT_FALSE(std::filesystem::exists(page->streamFile()));
    EXPECT_TRUE(page->clientList().isEmpty());
    EXPECT_EQ(page->viewers(), nullptr);
    EXPECT_TRUE(viewer.waitFor([](const Received& r) { return r.closed; }, 5s));
    EXPECT_TRUE(page->startEnabled() && page->sourceEnabled() && page->previewEnabled());

    // Port 0: the stream runs, nobody can connect, the list stays empty.
    change([](VidStreamSettings& v) {
        v.Port = "0";
        v.NoPreview = true;
    });
    page->btnStartVideoClick();
    ASSERT_TRUE(page->streaming());
    EXPECT_EQ(preview.starts.size(), 1u);
    EXPECT_FALSE(page->viewers()->reserve());
    // With "Max. Users" 0, Start stays disabled after Stop.
    change([](VidStreamSettings& v) { v.Users = 0; });
    page->btnStopVideoClick();
    EXPECT_FALSE(page->startEnabled());

    // Preview alone: the preview of the selected source, any error shown.
    page->btnVideoPreviewClick();
    EXPECT_TRUE(preview.running);
    preview.failWith = "Camera stopped: busy";
    page->btnVideoPreviewClick();
    EXPECT_FALSE(page->graphActive());
    EXPECT_EQ(messages.last(), "Camera stopped: busy");
}

TEST_F(VideoStreamingTest, StreamErrorsAskWhetherToGoOn)
{
    int failures = 1;
    page->setSources({"Camera", VideoStreaming::kTestPattern},
                     [&](int position, QString& error) -> std::unique_ptr<StreamFeed> {
                         if (position == 0 && failures-- > 0) {
                             error = "Device is busy";
                             return nullptr;
                         }
                         return std::make_unique<TestPatternFeed>();
                     });
    change([](VidStreamSettings& v) { v.LastDevice = 0; });
    page->ApplyProfile();

    page->btnStartVideoClick();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0], "GStreamer has reported the following error: Device is busy.\r\n"
                            "It may be possible to continue anyway. Do you wish to continue?");
    EXPECT_FALSE(page->streaming());
    EXPECT_FALSE(page->graphActive());

    // Yes tries once more; a second failure ends the start with the error.
    answer = true;
    failures = 2;
    page->btnStartVideoClick();
    EXPECT_FALSE(page->streaming());
    EXPECT_EQ(messages.last(), "GStreamer has reported the following error: Device is busy.");
    failures = 1;
    page->btnStartVideoClick();
    EXPECT_TRUE(page->streaming());

    // A source that ends while it streams stops the stream and says why.
    page->setSources({VideoStreaming::kTestPattern}, [](int, QString&) -> std::unique_ptr<StreamFeed> {
        return std::make_unique<TestPatternFeed>(3);
    });
    page->btnStartVideoClick();
    ASSERT_TRUE(processUntil([&] { return !page->streaming(); }));
    EXPECT_EQ(messages.last(), "GStreamer has reported the following error: The video source has ended.");
    EXPECT_TRUE(page->startEnabled());
}

} // namespace
