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
// Durability: by default the data and the rename are flushed to disk before returning (tens of
// milliseconds on slow disks). Files rewritten many times a minute whose loss in a power cut is
// harmless pass Durability::ReadersOnly: readers still see the old file or the new one, never
// half of one, but nothing waits for the disk.
enum class Durability { Flushed, ReadersOnly };
bool replaceFileAtomically(const std::string& target, std::string_view data, mode_t mode, bool keepMode,
                           std::string& error, Durability durability = Durability::Flushed);

// True when fileName (a name without folder) is one of the temporary files replaceFileAtomically
// writes beside a target named targetName: "." + targetName + "." + six letters or digits. A crash in
// the middle of a replacement leaves one behind. Pure; any thread.
bool isTemporaryFileName(std::string_view fileName, std::string_view targetName);

// Removes the temporary files an interrupted replacement of target left beside it. Call it while
// nothing replaces target. Returns how many were removed. Any thread.
size_t removeStaleTemporaries(const std::string& target);

} // namespace kestrelon
