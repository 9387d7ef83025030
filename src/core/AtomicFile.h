#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace kestrelon {

// Replaces a file's contents so that no reader ever sees half a file and a failed write loses
// nothing: the data goes into a temporary file in the same folder, is flushed to disk, and is
// renamed over the target. The new file gets `mode`; pass keepMode to keep the mode of a file
// that is already there. Returns false with error set (errno text) when any step fails; the
// target is then unchanged. Any thread.
bool replaceFileAtomically(const std::string& target, std::string_view data, mode_t mode, bool keepMode,
                           std::string& error);

} // namespace kestrelon
