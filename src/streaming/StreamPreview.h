#pragma once

#include <QString>

namespace kestrelon {

// The Video page's preview: the pictures of the chosen source, drawn on the page. They come from
// that source's shared capture, so the preview never opens a device a second time.
// Main thread.
class StreamPreview {
public:
    virtual ~StreamPreview() = default;
    // Starts showing the source at position (cbSource's list). False with the reason.
    virtual bool start(int position, QString& error) = 0;
    virtual void stop() = 0;
};

} // namespace kestrelon
