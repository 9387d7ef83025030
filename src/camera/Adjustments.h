#pragma once

#include "camera/Image.h"

#include <array>
#include <cstdint>

// The four in-place pixel passes of every snapshot: brightness (with the light measurement),
// colour balance, contrast and sharpening, in integer arithmetic on 24-bit pixels. Brightness,
// colour and contrast change each channel value on its own, so they are carried out through
// 256-entry tables, which lets the snapshot pass fold all three into one copy of the picture.
// Pure functions; any thread.

namespace kestrelon {

// What each of the 256 values of a channel becomes, one table per channel in the pixel's byte
// order: blue, green, red.
struct ChannelTables {
    std::array<std::array<uint8_t, 256>, 3> table;

    static ChannelTables identity();
    // These tables followed by `next`.
    ChannelTables then(const ChannelTables& next) const;
    bool isIdentity() const;
};

// The clamped offset of brightness and colour: c + k held at 255 for k > 0, at 0 otherwise.
uint8_t clampedOffset(int value, int offset);
// The contrast formula for one value and amount a (-100 to 0 on the track bar): the value moves
// toward 127 by |a|/255 of its distance, integer division truncating toward zero. Amounts outside
// the track bar's range are held to bytes.
uint8_t contrastValue(int value, int amount);

ChannelTables brightnessTables(int offset);
ChannelTables colourTables(int red, int green, int blue);
ChannelTables contrastTables(int amount);
void applyTables(Image& image, const ChannelTables& tables);

// The measurement column: the number set by the user, held inside the image (a number set on a
// larger picture reads its last column). -1 for an empty image.
int measurementColumn(const Image& image, int darkLine);

// The sum of the red values along the measurement column, one per row, taken before any change;
// the "Brightness now:" figure is this sum div 100.
int measureBrightness(const Image& image, int darkLine);

// Measures (returns brightnessTotal, see measureBrightness), then adds `offset` to every channel
// value with clamping.
int BrightChange(Image& image, int offset, int darkLine);
// Each channel with its own clamped offset.
void ColourChange(Image& image, int red, int green, int blue);
void Contrast(Image& image, int amount);
// The five-point sharpening kernel of strength s (1 to 15 on the track bar; 1 leaves the image
// as it is) in 16-bit fixed point. Images narrower or lower than 3 pixels, and s < 1, are left
// unchanged; the border rows and columns are kept.
void Sharpen(Image& image, double strength);

} // namespace kestrelon
