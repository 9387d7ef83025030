#include "streaming/StreamProfile.h"

#include <algorithm>

namespace kestrelon {

namespace {

StreamProfile profileOf(int row, int bitrate, int width, int height, int frameRate, int quality)
{
    StreamProfile p;
    p.row = row;
    p.bitrate = bitrate;
    p.width = width;
    p.height = height;
    p.frameRate = frameRate;
    p.keyframeDistance = 2 * frameRate;
    p.quality = std::clamp(quality, kMinStreamQuality, kMaxStreamQuality);
    // 100 -> 0, 50 -> 19, 20 -> 30: never so coarse that a quiet scene turns to blocks.
    p.minQuantizer = ((kMaxStreamQuality - p.quality) * 3 + 4) / 8;
    return p;
}

} // namespace

int streamProfileRow(int row)
{
    return row >= 0 && row < int(kStreamProfiles.size()) ? row : kDefaultStreamProfile;
}

StreamProfile makeStreamProfile(int row, int quality)
{
    row = streamProfileRow(row);
    const StreamProfileRow& r = kStreamProfiles[size_t(row)];
    return profileOf(row, r.bitrate, r.width, r.height, r.frameRate, quality);
}

StreamProfile builtInStreamProfile()
{
    return profileOf(-1, 32000, 240, 176, 5, 75);
}

} // namespace kestrelon
