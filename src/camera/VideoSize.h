#pragma once

namespace kestrelon {

// The chosen snapshot size and where the picture sits inside the fixed 352 x 288 display area
// of the preview and the snapshot window. The defaults are the "352 x 264" choice.
struct VideoSize {
    int videoWidth = 352;
    int videoHeight = 264;
    int imageLeft = 0;
    int imageTop = 12;

    bool operator==(const VideoSize&) const = default;
};

} // namespace kestrelon
