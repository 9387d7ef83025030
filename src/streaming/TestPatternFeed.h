#pragma once

#include "streaming/StreamFeed.h"

#include <memory>

namespace kestrelon {

struct FeedReport;

// The built-in "Test pattern" source: a live test picture with a running clock, 640 x 480 at 30
// frames a second like a webcam's, in a pipeline of its own. Errors and the end of the stream
// are reported through the bus without touching the main loop. Main thread.
class TestPatternFeed : public StreamFeed {
public:
    // frames: the source ends after this many pictures; -1 never.
    explicit TestPatternFeed(int frames = -1);
    ~TestPatternFeed() override;
    bool start(GstElement* bin, Failed failed, QString& error) override;

private:
    int m_frames;
    GstElement* m_pipeline = nullptr;
    std::shared_ptr<FeedReport> m_report;
};

} // namespace kestrelon
