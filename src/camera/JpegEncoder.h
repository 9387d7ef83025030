#pragma once

#include "camera/Image.h"

#include <string>

namespace kestrelon {

// The image as a baseline JPEG file at `quality` (1 to 100, held to that range) through
// libjpeg-turbo. Returns false with `error` set when the library fails; `out` is then empty.
// Any thread.
bool encodeJpeg(const Image& image, int quality, std::string& out, std::string& error);

} // namespace kestrelon
