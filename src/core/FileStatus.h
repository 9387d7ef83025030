#pragma once

#include <cstdint>
#include <string>

// What the file system says about a path, following symbolic links. Each is one stat() call; a
// path that cannot be examined (missing, no permission, empty) is none of these. Any thread.

namespace kestrelon {

bool pathExists(const std::string& path);
bool isRegularFile(const std::string& path);
bool isFolder(const std::string& path);
// The size of the file at path in bytes; 0 when it cannot be examined.
int64_t fileSize(const std::string& path);

} // namespace kestrelon
