#pragma once

// GStreamer types: internal to streaming/.

#include "streaming/StreamProfile.h"
#include "streaming/StreamViewers.h"

#include <gst/gst.h>

#include <QString>

#include <memory>
#include <string>

namespace kestrelon {

// The stream's encoding bin, raw video in on its "sink" pad: de-interlaced when the source is
// interlaced, brought to the profile's frame rate and size, VP8 at the profile's constant bit
// rate, live WebM with the clip title, and a socket sink that sends to every viewer.
//
// The socket sink: a new viewer starts at the latest key frame; one that falls more than a few
// seconds behind skips to the next key frame, and one whose socket takes nothing for 10 s is
// dropped, so no viewer holds up the others or makes the queue grow. Every viewer's place in
// viewers follows the sink (added, removed).
struct StreamBin {
    GstElement* bin = nullptr;      // floating; null when it could not be built
    QString error;                  // why not, the library's text
    bool deinterlaceFailed = false; // it failed on the de-interlacer
    // Hands a viewer's socket to the sink: for StreamViewers::open once the sink runs.
    StreamViewers::Deliver deliver;
};

StreamBin createStreamBin(const StreamProfile& profile, const std::string& utf8Title,
                          const std::shared_ptr<StreamViewers>& viewers);

// How long a viewer may take nothing before the sink drops it, and how far it may fall behind.
inline constexpr guint64 kViewerTimeout = 10 * GST_SECOND;
inline constexpr gint64 kViewerSoftLag = 4 * GST_SECOND;
inline constexpr gint64 kViewerHardLag = 8 * GST_SECOND;
// The kernel's send buffer per viewer: two seconds of the highest rate. Larger buffers only hide
// a stalled viewer for longer.
inline constexpr int kViewerSendBuffer = 64 * 1024;

} // namespace kestrelon
