#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace kestrelon {

// A video source the camera can capture from: a device found by the system's device monitor, the
// built-in test pattern, or a source written in GStreamer's pipeline syntax. A cheap value to copy;
// nothing is opened until a capture starts. Any thread.
class VideoDevice {
public:
    static constexpr const char* kTestPatternName = "Test pattern";

    // The built-in source that works without a camera: a live colour-bar picture with a running
    // clock, 640 x 480 at 30 frames a second.
    static VideoDevice testPattern();
    // A source from a pipeline fragment with one unlinked video pad, such as
    // "videotestsrc is-live=true ! capsfilter caps=\"video/x-raw,width=350\"" (the fragment ends with
    // an element: GStreamer's syntax would read caps at the very end as an element's name).
    static VideoDevice fromDescription(const QString& name, const std::string& sourceDescription);

    VideoDevice() = default;
    QString name() const;
    bool isTestPattern() const;
    bool valid() const { return m_source != nullptr; }
    // Copies of one value name the same source.
    bool operator==(const VideoDevice& other) const { return m_source == other.m_source; }

    // What the capture builds its source from; complete only inside media/.
    struct Source;
    const std::shared_ptr<const Source>& source() const { return m_source; }

private:
    friend std::vector<VideoDevice> enumerateVideoDevices();
    explicit VideoDevice(std::shared_ptr<const Source> source) : m_source(std::move(source)) {}
    std::shared_ptr<const Source> m_source;
};

// The system's video input devices as the device monitor lists them, those without a friendly name
// left out, and the test pattern always last. Main thread; it probes the hardware, so it is run
// once at start-up and the list kept.
std::vector<VideoDevice> enumerateVideoDevices();

} // namespace kestrelon
