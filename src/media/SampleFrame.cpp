#include "media/SampleFrame.h"

#include <gst/video/video.h>


namespace kestrelon {

void copyBgrRows(const uint8_t* data, int stride, VideoFrame& frame)
{
    const size_t rowBytes = size_t(frame.width) * 3;
    // Appended row by row rather than resized and overwritten: no time spent zeroing the bytes.
    frame.bgr.clear();
    frame.bgr.reserve(rowBytes * size_t(frame.height));
    for (int y = 0; y < frame.height; ++y) {
        const uint8_t* row = data + size_t(y) * size_t(stride);
        frame.bgr.insert(frame.bgr.end(), row, row + rowBytes);
    }
}

std::shared_ptr<VideoFrame> frameFromSample(GstSample* sample)
{
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstVideoInfo info;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGR) {
        return nullptr;
    }
    // Mapping as a video frame honours the buffer's own plane layout when it carries one.
    GstVideoFrame mapped;
    if (!gst_video_frame_map(&mapped, &info, buffer, GST_MAP_READ)) {
        return nullptr;
    }
    auto frame = std::make_shared<VideoFrame>();
    frame->width = GST_VIDEO_FRAME_WIDTH(&mapped);
    frame->height = GST_VIDEO_FRAME_HEIGHT(&mapped);
    copyBgrRows(static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0)),
                GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0), *frame);
    gst_video_frame_unmap(&mapped);
    return frame;
}

} // namespace kestrelon
