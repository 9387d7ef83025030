#pragma once

#include "camera/Image.h"

#include <string>

namespace kestrelon {

// The image as a GIF file: its colours reduced to a 256-entry palette by giflib's median cut,
// one frame, not interlaced. Returns false with `error` set when the library fails; `out` is
// then empty. Any thread.
bool encodeGif(const Image& image, std::string& out, std::string& error);

} // namespace kestrelon
