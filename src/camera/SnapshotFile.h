#pragma once

#include "camera/Image.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrelon {

// The snapshot file's format, chosen by its extension compared exactly: ".bmp", ".gif" and
// ".jpg" only, so "picture.JPG" or "picture.jpeg" is never written.
enum class SnapshotFormat { None, Bmp, Gif, Jpeg };

// The extension of a path: from its last "." after the last "/", or empty.
std::string_view fileExtension(std::string_view path);
SnapshotFormat snapshotFormat(std::string_view path);

// Encodes the image in `format` (JPEG at `quality`). Returns false with `error` set when
// encoding fails or the format is None. Any thread.
bool encodeSnapshot(const Image& image, SnapshotFormat format, int quality, std::string& out,
                    std::string& error);

// Writes the image to `path` in the format its extension names: the bytes go to a temporary
// file in the same folder that is renamed over the old one, so a reader (the web server, the
// upload) sees the old picture or the new one, never half a file, and a failed write keeps the
// old one. Returns false with `error` set on failure; nothing is written for format None.
// Any thread.
bool writeSnapshot(const Image& image, const std::string& path, int quality, std::string& error);

} // namespace kestrelon
