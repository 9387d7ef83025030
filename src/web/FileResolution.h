#pragma once

#include <string>

namespace kestrelon {

// Where a request's document leads under the web root.
struct ResolvedFile {
    enum class Kind {
        NotFound, // no regular file at the path (nor a folder with the default file)
        Outside,  // a file exists, but it does not lie under the root once links are followed
        Found,
    };
    Kind kind = Kind::NotFound;
    std::string candidate; // root + document, absolute and normalised (the path that is logged)
    std::string realPath;  // the candidate with every symbolic link resolved (the path to open)
};

// Resolves root + document. "." and ".." are resolved as text; a folder is answered with its
// default file. The result is served only when its real path is the root itself or lies under
// root + "/", compared exactly: a sibling folder with the same prefix and links leading out are
// refused.
ResolvedFile resolveFile(const std::string& root, const std::string& document, const std::string& defaultFile);

} // namespace kestrelon
