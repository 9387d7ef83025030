#pragma once

// The one media header with GStreamer types in it: for streaming/, which builds pipelines of its
// own. No other folder includes it.

#include "media/Capture.h"

#include <gst/gst.h>

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace kestrelon {

// What a capture knows of one attached branch. Internal to media/.
struct CaptureBranchLink {
    int id = 0;
    GstElement* element = nullptr; // the owner's branch, a reference of the link's own
    // Set up on the capture's worker thread and used only there.
    GstElement* wrapper = nullptr; // bin of the leaky queue and the element
    GstPad* teePad = nullptr;
    // Raised by the first error inside the branch: from then on its buffers are dropped at its
    // entrance, so the failure does not travel back to the device.
    std::shared_ptr<std::atomic<bool>> dropping = std::make_shared<std::atomic<bool>>(false);
    // Why linking failed; written on the worker thread before it goes idle.
    QString linkError;
    // Main thread.
    std::function<void(const QString&)> ended;
    bool attached = false;

    ~CaptureBranchLink();
};

// A branch of a capture for a consumer with a pipeline of its own (the live stream): the element
// gets the capture's frames, in the raw format the device delivers them, behind a leaky queue of
// one buffer on a tee, so a branch that does not keep up (or is not drained at all) never holds up
// the snapshot pictures, the preview or other branches; it only misses frames. While attached it
// keeps the capture running, as a Use does.
//
// The branch ends when the capture stops or fails, or when an element inside it reports an error;
// then `ended` is called (on the main thread, later) with the reason, and attached() turns false.
// The other users of the capture go on. To go on after an end, make a new CaptureBranch.
//
// Threads: main thread. Linking and unlinking run on the capture's worker thread; neither the
// constructor nor the destructor waits for them (waitUntilRunning does, when asked).
class CaptureBranch {
public:
    using Ended = std::function<void(const QString& reason)>;

    // `element` (an element or a bin with a "sink" pad, taking raw video) is linked behind the
    // capture; the branch takes a reference of its own, a floating one is sunk. The capture is
    // started when it does not run. The element is set to the pipeline's state: leave its state
    // alone.
    CaptureBranch(Capture& capture, GstElement* element, Ended ended = {});
    // Unlinks the element and takes it out of the capture's pipeline; the other users are not
    // disturbed. Must run before the capture is destroyed. Once the capture's worker has got to it
    // (before any later branch of that capture is linked), the element is free again: no parent,
    // state NULL. The same holds after the branch has ended.
    ~CaptureBranch();
    CaptureBranch(const CaptureBranch&) = delete;
    CaptureBranch& operator=(const CaptureBranch&) = delete;

    // For an owner that must hand the branch work at once (a socket sink takes clients only once
    // it runs): waits until the branch is linked and the capture plays, at most timeout, which
    // the main thread spends blocked while a device starts. False with the reason when the
    // capture or the link failed (the branch ends then) or the time ran out.
    bool waitUntilRunning(std::chrono::milliseconds timeout, QString& error);

    bool attached() const { return m_link->attached; }
    GstElement* element() const { return m_link->element; }
    Capture& capture() const { return m_capture; }

private:
    Capture& m_capture;
    std::shared_ptr<CaptureBranchLink> m_link;
    Capture::Use m_use;
};

} // namespace kestrelon
