#pragma once

#include "streaming/StreamProfile.h"
#include "streaming/StreamViewers.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace kestrelon {

class StreamFeed;

// One live stream: the encoding bin for a profile and a clip title, fed by a source, sending to
// its viewers. Made for one run: start, then stop (or destroy).
//
// Threads: main thread. viewers() may be handed to other threads; it stays usable (and refuses
// everyone) after the stream has stopped.
class StreamPipeline {
public:
    enum class Start {
        Started,
        DeinterlaceFailed, // the de-interlacer could not be set up: the start ends
        Failed,            // the stream could not be built or run
    };
    // The source or the encoder failed later; called once, on the main thread.
    using Failed = std::function<void(const QString& reason)>;

    // maxViewers 0: nobody can connect (port or "Max. Users" 0).
    StreamPipeline(StreamProfile profile, std::string utf8Title, int maxViewers);
    ~StreamPipeline();
    StreamPipeline(const StreamPipeline&) = delete;
    StreamPipeline& operator=(const StreamPipeline&) = delete;

    // Builds the encoder, hands it to feed and runs it; then viewers are taken. error gets the
    // library's text when the answer is not Started.
    Start start(std::unique_ptr<StreamFeed> feed, Failed failed, QString& error);
    // No viewer is taken any more, the connected ones are dropped, the source stops.
    void stop();
    bool running() const { return m_feed != nullptr; }

    const StreamProfile& profile() const { return m_profile; }
    const std::string& title() const { return m_title; }
    const std::shared_ptr<StreamViewers>& viewers() const { return m_viewers; }

private:
    StreamProfile m_profile;
    std::string m_title;
    std::shared_ptr<StreamViewers> m_viewers;
    std::unique_ptr<StreamFeed> m_feed;
};

// Makes GStreamer ready for this process on the first call. False with its reason. Any thread.
bool initStreamLibrary(QString& error);

} // namespace kestrelon
