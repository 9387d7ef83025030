#include "web/FileResolution.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace kestrelon {

namespace {

std::string normalised(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) {
        p = path;
    }
    std::string text = p.lexically_normal().string();
    // lexically_normal keeps a trailing separator ("/srv/www/dir/"); the candidate names the
    // entry itself.
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string realPathOf(const std::string& path)
{
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer)) {
        return {};
    }
    return buffer;
}

} // namespace

ResolvedFile resolveFile(const std::string& root, const std::string& document, const std::string& defaultFile)
{
    ResolvedFile result;
    if (root.empty()) {
        return result; // never the whole file system
    }
    result.candidate = normalised(root + document);
    if (!isRegularFile(result.candidate)) {
        if (!isFolder(result.candidate)) {
            return result;
        }
        std::string withDefault = normalised(result.candidate + "/" + defaultFile);
        if (!isRegularFile(withDefault)) {
            return result;
        }
        result.candidate = withDefault;
    }

    std::string realRoot = realPathOf(root);
    result.realPath = realPathOf(result.candidate);
    if (realRoot.empty() || result.realPath.empty()) {
        result.kind = ResolvedFile::Kind::Outside;
        return result;
    }
    bool inside = result.realPath == realRoot || realRoot == "/" ||
                  (result.realPath.size() > realRoot.size() && result.realPath.compare(0, realRoot.size(), realRoot) == 0 &&
                   result.realPath[realRoot.size()] == '/');
    result.kind = inside ? ResolvedFile::Kind::Found : ResolvedFile::Kind::Outside;
    return result;
}

} // namespace kestrelon
