// Speed of the snapshot pass: a 640 x 480 frame to a 352 x 264 JPEG with every adjustment and
// both captions, as a whole and step by step (median of many runs), beside a GStreamer pipeline
// doing the comparable work (appsrc ! videoscale ! videobalance ! textoverlay ! clockoverlay !
// jpegenc) on the same frames. Pinned to one core, so every thread of both shares it.
// Usage: bench_snapshot [runs] [core]   (default 400 runs on core 0)
#include "camera/Adjustments.h"
#include "camera/JpegEncoder.h"
#include "camera/Overlay.h"
#include "camera/Resize.h"
#include "camera/SnapshotContext.h"
#include "camera/SnapshotFile.h"
#include "camera/SnapshotPass.h"
#include "core/ServerBusy.h"
#include "core/SettingsModel.h"
#include "media/FrameSource.h"

#include <QGuiApplication>

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <sched.h>
#include <string>
#include <time.h>
#include <vector>

using namespace kestrelon;

namespace {

constexpr int kFrames = 8;

// Camera-like frames: smooth colour gradients that move from frame to frame, with a little
// sensor noise, so neither encoder gets flat areas or pure noise.
std::vector<VideoFrame> makeFrames()
{
    std::vector<VideoFrame> frames;
    std::mt19937 random(42);
    for (int f = 0; f < kFrames; ++f) {
        VideoFrame frame{640, 480, std::vector<uint8_t>(640 * 480 * 3)};
        for (int y = 0; y < 480; ++y) {
            for (int x = 0; x < 640; ++x) {
                uint8_t* p = frame.row(y) + x * 3;
                const int noise = int(random() % 9) - 4;
                p[0] = uint8_t(std::clamp((x + f * 7) * 255 / 700 + noise, 0, 255));
                p[1] = uint8_t(std::clamp(y * 255 / 480 + noise, 0, 255));
                p[2] = uint8_t(std::clamp(((x + y) / 2 + f * 11) % 256 + noise, 0, 255));
            }
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

class Frames : public FrameSource {
public:
    explicit Frames(const std::vector<VideoFrame>& frames) : m_frames(frames) {}
    std::optional<VideoFrame> grabFrame() override { return m_frames[m_next++ % m_frames.size()]; }

private:
    const std::vector<VideoFrame>& m_frames;
    size_t m_next = 0;
};

struct Camera : SnapshotContext {
    explicit Camera(FrameSource& frames) : source(frames) {}
    bool previewRunning() const override { return true; }
    FrameSource* frameSource() override { return &source; }
    VideoSize videoSize() const override { return {}; }
    bool captureRunning() const override { return true; }
    int captureCountdown() const override { return 5; } // between timed saves: no reload
    FrameSource& source;
};

// CPU time of this thread (or the whole process) in milliseconds: the machine may be shared,
// and time spent waiting for the core is not the work's.
double cpuMs(clockid_t clock = CLOCK_THREAD_CPUTIME_ID)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double medianMs(int runs, const std::function<void()>& prepare, const std::function<void()>& op)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const double start = cpuMs();
        op();
        times.push_back(cpuMs() - start);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

// Frames per second of CPU time (all its threads) of the GStreamer pipeline over `count` frames,
// or 0 when it fails.
double gstreamerFps(const std::vector<VideoFrame>& frames, int count)
{
    GError* error = nullptr;
    GstElement* pipeline =
        gst_parse_launch("appsrc name=src is-live=false block=true format=time "
                         "caps=video/x-raw,format=BGR,width=640,height=480,framerate=30/1 "
                         "! videoscale ! video/x-raw,width=352,height=264 "
                         "! videobalance brightness=0.08 contrast=0.9 saturation=1.1 "
                         "! textoverlay text=WebCam font-desc=\"Sans 10\" halignment=right valignment=bottom "
                         "! clockoverlay font-desc=\"Sans 10\" halignment=left valignment=bottom "
                         "! jpegenc quality=60 ! fakesink sync=false",
                         &error);
    if (!pipeline) {
        std::fprintf(stderr, "GStreamer pipeline: %s\n", error ? error->message : "?");
        g_clear_error(&error);
        return 0;
    }
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    const double start = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
    for (int i = 0; i < count; ++i) {
        const VideoFrame& f = frames[size_t(i) % frames.size()];
        GstBuffer* buffer = gst_buffer_new_memdup(f.bgr.data(), f.bgr.size());
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(uint64_t(i), GST_SECOND, 30);
        GST_BUFFER_DURATION(buffer) = GST_SECOND / 30;
        gst_app_src_push_buffer(GST_APP_SRC(src), buffer);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(src));
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 120 * GST_SECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const double seconds = (cpuMs(CLOCK_PROCESS_CPUTIME_ID) - start) / 1e3;
    const bool ok = message && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (message) {
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(src);
    gst_object_unref(pipeline);
    return ok ? count / seconds : 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(11, std::atoi(argv[1])) : 400;
    const int core = argc > 2 ? std::atoi(argv[2]) : 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(core, &set);
    if (sched_setaffinity(0, sizeof set, &set) != 0) {
        std::perror("sched_setaffinity");
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    gst_init(&argc, &argv);

    char folder[] = "/tmp/kestrelon-bench-XXXXXX";
    if (!::mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    Settings s = Settings::defaults(folder);
    s.Camera.Bright = 20;
    s.Camera.Red = 10;
    s.Camera.Green = -5;
    s.Camera.Blue = 15;
    s.Camera.Contrast = -25;
    s.Camera.Zoom = 24;
    s.Camera.Sharpness = 4;
    s.Camera.Quality = 60;
    s.Camera.Overlay = true;
    s.Camera.cbText = true;
    SettingsModel settings(s);
    ServerBusy busy;
    const std::vector<VideoFrame> frames = makeFrames();
    Frames source(frames);
    Camera camera(source);
    SnapshotPass pass(settings, busy, camera);

    const auto nothing = [] {};
    const double whole = medianMs(runs, nothing, [&] { pass.btnSnapNowClick(); });

    // Each step alone on the picture it gets in the pass.
    const CameraSettings& c = s.Camera;
    const Image frame = Image::fromFrame(VideoFrame(frames[0]));
    Image resized = frame;
    ImgResize(resized, 352, 264);
    const ChannelTables tables = brightnessTables(c.Bright)
                                     .then(colourTables(c.Red, c.Green, c.Blue))
                                     .then(contrastTables(c.Contrast));
    Image work;
    const auto fromFrame = [&] { work = frame; };
    const auto fromResized = [&] { work = resized; };
    const OverlayStyle style = OverlayStyle::fromSettings(s.Archiver);
    std::string jpeg, error;
    struct Row {
        const char* name;
        double ms;
    };
    const std::vector<Row> rows = {
        {"grab (frame copy)", medianMs(runs, nothing, [&] { (void)source.grabFrame(); })},
        {"ImgResize 640x480 to 352x264", medianMs(runs, fromFrame, [&] { ImgResize(work, 352, 264); })},
        {"BrightChange", medianMs(runs, fromResized, [&] { BrightChange(work, c.Bright, c.DarkLine); })},
        {"ColourChange", medianMs(runs, fromResized, [&] { ColourChange(work, c.Red, c.Green, c.Blue); })},
        {"Contrast", medianMs(runs, fromResized, [&] { Contrast(work, c.Contrast); })},
        {"Crop (zoom 24)", medianMs(runs, fromResized, [&] { Crop(work, c.Zoom); })},
        {"resize + tables + zoom in one copy",
         medianMs(runs, nothing, [&] { work = resizeMapZoom(frame, true, 352, 264, tables, c.Zoom); })},
        {"Sharpen (4)", medianMs(runs, fromResized, [&] { Sharpen(work, c.Sharpness); })},
        {"both captions", medianMs(runs, fromResized,
                                   [&] {
                                       drawOverlays(work, style,
                                                    {{"  16:45:23   12 Feb 2005", QPoint(4, 258)},
                                                     {"WebCam", QPoint(180, 258)}},
                                                    QPoint(0, 12));
                                   })},
        {"JPEG encode (quality 60)", medianMs(runs, nothing, [&] { encodeJpeg(resized, 60, jpeg, error); })},
        {"file write (temporary + rename)",
         medianMs(runs, nothing, [&] { writeSnapshot(resized, s.Camera.File, 60, error); })},
    };

    const int gstFrames = std::max(100, runs);
    gstreamerFps(frames, 30); // warm up the plugins
    const double theirs = gstreamerFps(frames, gstFrames);
    const double ours = 1000.0 / whole;

    std::printf("Snapshot pass, 640x480 frame to a 352x264 JPEG, every adjustment and both captions,\n"
                "median CPU time of %d runs on core %d:\n\n",
                runs, core);
    std::printf("  %-38s %8.3f ms\n", "whole pass (btnSnapNowClick)", whole);
    for (const Row& r : rows) {
        std::printf("    %-36s %8.3f ms\n", r.name, r.ms);
    }
    std::printf("\n  ours:      %8.1f passes/s\n", ours);
    if (theirs > 0) {
        std::printf("  GStreamer: %8.1f frames/s (%d frames)\n  ours / GStreamer: %.2f\n", theirs, gstFrames,
                    ours / theirs);
    }
    std::printf("  target: at most 1.2 ms per pass: %s\n", whole <= 1.2 ? "met" : "NOT met");
    std::filesystem::remove_all(folder);
    return 0;
}
