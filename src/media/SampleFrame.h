#pragma once

// Internal to media/: a BGR sample of the capture's frame sink made into a VideoFrame.

#include "media/VideoFrame.h"

#include <gst/gst.h>

#include <memory>

namespace kestrelon {

// The sample's picture with its rows packed; null when the sample is not 24-bit BGR video or
// cannot be read. Any thread.
std::shared_ptr<VideoFrame> frameFromSample(GstSample* sample);

// Copies height rows of width BGR pixels that lie stride bytes apart into a packed frame.
// Rows are padded to four bytes in GStreamer's buffers, so 350 pixels take 1052 bytes, not 1050.
void copyBgrRows(const uint8_t* data, int stride, VideoFrame& frame);

} // namespace kestrelon
