#pragma once

// GStreamer types: for streaming/ and the glue that builds a feed from a capture, nothing else.

#include <gst/gst.h>

#include <QString>

#include <functional>

namespace kestrelon {

// Where the stream's raw pictures come from: a source that runs the stream's encoding bin behind
// its frames. The test pattern runs a pipeline of its own (TestPatternFeed); a camera's shared
// capture hangs the bin on its tee as a branch instead, so that snapshots and the preview go on.
//
// Threads: main thread.
class StreamFeed {
public:
    // Called at most once, later, on the main thread: the source or the bin failed or ended.
    using Failed = std::function<void(const QString& reason)>;

    // Stops the frames and takes the bin out (set to NULL, so its sink lets go of its viewers).
    virtual ~StreamFeed() = default;

    // Links bin (raw video in on its "sink" pad) behind the source and runs it. Takes the bin in
    // every case (a floating one is sunk). False with the library's error text when the source
    // cannot run.
    virtual bool start(GstElement* bin, Failed failed, QString& error) = 0;
};

} // namespace kestrelon
