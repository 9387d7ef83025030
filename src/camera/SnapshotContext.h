#pragma once

#include "camera/VideoSize.h"

namespace kestrelon {

class FrameSource;

// What the snapshot pass asks the rest of the camera at the moment it runs: the preview's state
// and frames, the chosen size, and the capture schedule with its brightness actions. The
// Application joins the preview and the capture scheduling behind it. Main thread.
class SnapshotContext {
public:
    virtual ~SnapshotContext() = default;

    // The preview runs (its button reads "Stop Preview"); a pass does nothing otherwise.
    virtual bool previewRunning() const = 0;
    // The capture whose latest frame the pass takes; null when there is none.
    virtual FrameSource* frameSource() = 0;
    // The size chosen on the Preview page and the picture's place in the display area.
    virtual VideoSize videoSize() const = 0;
    // Periodic capture runs (the camera status reads "Running").
    virtual bool captureRunning() const = 0;
    // captureCountdown: the seconds left to the next timed save; 0 only during the timed pass.
    virtual int captureCountdown() const = 0;
    // The brightness-threshold actions, given the "Brightness now:" figure of this pass: the
    // port writes, then the pause tests. True ends the pass there (nothing is written; the
    // window keeps the picture as processed up to the brightness step).
    virtual bool brightnessActions(int figure) { return false; }
};

} // namespace kestrelon
