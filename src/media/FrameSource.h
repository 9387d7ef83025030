#pragma once

#include "media/VideoFrame.h"

#include <optional>

namespace kestrelon {

// Where the snapshot pass takes its picture from: the latest frame of a running capture.
// grabFrame never waits for the device; it answers nothing when no frame has arrived yet or the
// capture has stopped. Implementations say which threads may call it.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual std::optional<VideoFrame> grabFrame() = 0;
};

} // namespace kestrelon
