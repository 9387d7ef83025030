#pragma once

#include <array>
#include <string>

namespace kestrelon {

// One row of "Bitrate": the constant bit rate, the frame size it is sent at, and the frame rate
// that lets the encoder hold that rate. Below about 56 Kbps VP8 keeps its rate only at a few
// frames a second; at 15 frames it overshoots several times on a live picture.
struct StreamProfileRow {
    const char* item;
    int bitrate; // bits per second
    int width;
    int height;
    int frameRate; // frames per second
};

inline constexpr std::array<StreamProfileRow, 7> kStreamProfiles = {{
    {"256 Kbps (CBR)", 256000, 320, 240, 15},
    {"128 Kbps (CBR)", 128000, 320, 240, 15},
    {"93 Kbps (CBR)", 93000, 320, 240, 15},
    {"56 Kbps (CBR)", 56000, 320, 240, 15},
    {"32 Kbps (CBR)", 32000, 320, 240, 5},
    {"28.8 Kbps (CBR)", 28800, 240, 176, 5},
    {"20 Kbps (CBR)", 20000, 240, 176, 5},
}};

// The row chosen when none (or none that exists) is selected.
inline constexpr int kDefaultStreamProfile = 5;
// "Quality" (spQuality): 20 to 100 in steps of 5.
inline constexpr int kMinStreamQuality = 20;
inline constexpr int kMaxStreamQuality = 100;

// What the encoder is set up with. ApplyProfile builds it from the chosen row and the quality of
// that moment; it is kept for the run, so a later change of "Quality" alone does not reach it.
struct StreamProfile {
    int row = kDefaultStreamProfile; // -1: the built-in profile used before any row was applied
    int bitrate = 0;
    int width = 0;
    int height = 0;
    int frameRate = 0;
    // Key frames at least every two seconds, so that a viewer who joins late starts at once.
    int keyframeDistance = 0; // frames
    int quality = 0;
    // The encoder's quality range is its quantizer, 0 (finest) to 63 (coarsest). "Quality" sets
    // the finest quantizer the encoder may use: a high quality lets it refine a quiet picture
    // with the bits the rate leaves over, a low one stops earlier and sends fewer bytes. The
    // coarse end stays open, so the constant bit rate holds whatever the quality.
    int minQuantizer = 0;

    bool operator==(const StreamProfile&) const = default;
};

// Plain functions of their arguments; any thread.
// The profile of a row (outside 0 to 6: the default row) at a quality (clamped to 20 to 100).
StreamProfile makeStreamProfile(int row, int quality);
// The profile used when no row has been applied yet: 32 Kbps at 240 x 176, quality 75.
StreamProfile builtInStreamProfile();
// A valid row: row itself, or the default row when it is outside the table.
int streamProfileRow(int row);

} // namespace kestrelon
