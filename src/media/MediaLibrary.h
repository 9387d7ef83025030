#pragma once

#include <string>

namespace kestrelon {

// Initialises GStreamer for this process on the first call; later calls only report how that went.
// Returns false with the library's reason in error when it cannot be used. Any thread.
bool initMediaLibrary(std::string* error = nullptr);

} // namespace kestrelon
