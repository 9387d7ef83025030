#pragma once

#include "web/FileContentCache.h"

#include "core/FileHandle.h"

#include <optional>
#include <string>

namespace kestrelon {

// Where a request's document leads under the web root, with the file opened when it is served.
struct ResolvedFile {
    enum class Kind {
        NotFound,  // no regular file at the path (nor a folder with the default file)
        Outside,   // a file exists, but it does not lie under the root once links are followed
        Found,     // file is open for reading
        OpenFailed // the file is there and lies under the root, but cannot be opened (error)
    };
    Kind kind = Kind::NotFound;
    std::string candidate; // root + document, absolute and normalised (the path that is logged)
    FileHandle file;
    uint64_t size = 0;
    uint64_t device = 0; // identity of the opened file
    uint64_t inode = 0;
    int64_t modified = 0; // its mtime and ctime, nanoseconds since the epoch
    int64_t changed = 0;
    int error = 0; // errno of the failed open
};

// The version of the regular file that root + document names right in the root folder (not in
// a folder below it), from one stat that follows no link; nothing otherwise. With a version the
// content cache keeps, that one system call serves the file from memory.
std::optional<FileVersion> peekFileVersion(const std::string& root, const std::string& document);

// Root + document with "." and ".." resolved as text, made absolute. Only "/" separates.
std::string normalisedPath(const std::string& path);

// Resolves root + document and opens the file. A folder is answered with its default file.
// The file is served only when its real path is the root itself or lies under root + "/",
// compared exactly: a sibling folder with the same prefix and links leading out are refused,
// while links that stay inside the root are followed. The file is opened without blocking, so
// a FIFO cannot hang the caller; only regular files are served.
ResolvedFile resolveFile(const std::string& root, const std::string& document,
                         const std::string& defaultFile);

} // namespace kestrelon
