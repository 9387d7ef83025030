#include "web/FileResolution.h"

#include "core/FileStatus.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrelon {

namespace {

constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;

// Appends the segments of a path to out as "/a/b", resolving "." and "..". A ".." above what out
// held at the start is dropped when clamp is set (as at "/"), otherwise it makes the result false.
// Only "/" separates.
bool appendSegments(std::string& out, std::string_view rest, bool clamp)
{
    const size_t floor = out.size();
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (out.size() == floor) {
                if (!clamp) {
                    return false;
                }
                continue;
            }
            out.resize(out.rfind('/'));
            continue;
        }
        out.push_back('/');
        out.append(part);
    }
    return true;
}

// openat2 with RESOLVE_BENEATH: the kernel refuses (EXDEV) any path that would leave dirFd,
// by "..", an absolute link or a link leading out. One system call for the common case.
// relative is "/a/b" (taken as "a/b"), or empty for the folder itself.
int openBeneath(int dirFd, const std::string& relative)
{
    open_how how{};
    how.flags = kOpenFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(
        ::syscall(SYS_openat2, dirFd, relative.empty() ? "." : relative.c_str() + 1, &how, sizeof how));
}

FileVersion versionOf(const struct stat& st)
{
    return {st.st_dev, st.st_ino, static_cast<uint64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
            static_cast<int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec};
}

void setIdentity(ResolvedFile& result, const struct stat& st)
{
    const FileVersion version = versionOf(st);
    result.device = version.device;
    result.inode = version.inode;
    result.modified = version.modified;
    result.changed = version.changed;
}

enum class FastResult { Done, Fallback };

// The root folder stays open per thread for a second at a time: opening it is a system call
// per request otherwise. A root that is replaced is seen within that second.
int openRootFolder(const std::string& root)
{
    struct Cached {
        std::string root;
        FileHandle fd;
        std::chrono::steady_clock::time_point opened;
    };
    thread_local Cached cached;
    auto now = std::chrono::steady_clock::now();
    if (cached.fd && cached.root == root && now - cached.opened < std::chrono::seconds(1)) {
        return cached.fd.get();
    }
    int fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    int error = errno;
    cached.fd = FileHandle(fd);
    cached.root = root;
    cached.opened = now;
    errno = error;
    return fd;
}

// Tries the kernel's beneath-the-root resolution; falls back to the careful path for what it
// cannot decide (links that leave and may come back, a kernel without openat2, errors).
FastResult resolveFast(const std::string& root, const std::string& relative, const std::string& defaultFile,
                       ResolvedFile& result)
{
    int rootFd = openRootFolder(root);
    if (rootFd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? FastResult::Done : FastResult::Fallback;
    }
    FileHandle fd(openBeneath(rootFd, relative));
    if (!fd) {
        return errno == ENOENT || errno == ENOTDIR ? FastResult::Done : FastResult::Fallback;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return FastResult::Fallback;
    }
    if (S_ISDIR(st.st_mode)) {
        std::string withDefault;
        if (!appendSegments(withDefault, relative + "/" + defaultFile, /*clamp=*/false)) {
            return FastResult::Fallback;
        }
        fd = FileHandle(openBeneath(rootFd, withDefault));
        if (!fd) {
            return errno == ENOENT || errno == ENOTDIR ? FastResult::Done : FastResult::Fallback;
        }
        if (::fstat(fd.get(), &st) != 0) {
            return FastResult::Fallback;
        }
        result.candidate = normalisedPath(result.candidate + "/" + defaultFile);
    }
    if (!S_ISREG(st.st_mode)) {
        return FastResult::Done; // a FIFO, device or socket: not a file to serve
    }
    result.kind = ResolvedFile::Kind::Found;
    result.file = std::move(fd);
    result.size = static_cast<uint64_t>(st.st_size);
    setIdentity(result, st);
    return FastResult::Done;
}

std::string realPathOf(const std::string& path)
{
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer)) {
        return {};
    }
    return buffer;
}

// Opens a path that holds no links, below the root's descriptor, one folder at a time and
// without following a link anywhere: a folder swapped for a link since the path was resolved
// makes the open fail (ENOTDIR or ELOOP) instead of leading out of the root.
int openWithoutLinks(int rootFd, std::string_view relative)
{
    FileHandle folder;
    int current = rootFd;
    while (true) {
        const size_t slash = relative.find('/');
        const std::string part(relative.substr(0, slash));
        if (slash == std::string_view::npos) {
            const int fd = ::openat(current, part.c_str(), kOpenFlags | O_NOFOLLOW);
            const int error = errno;
            folder.reset();
            errno = error;
            return fd;
        }
        relative.remove_prefix(slash + 1);
        const int next = ::openat(current, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            const int error = errno;
            folder.reset();
            errno = error;
            return -1;
        }
        folder.reset(next);
        current = next;
    }
}

// The careful path, for links the kernel's resolution would not follow (absolute ones that stay
// inside): resolve every link with realpath, compare with the root's real path, then open the
// link-free result from the root's descriptor without following links.
void resolveSlow(const std::string& root, const std::string& defaultFile, ResolvedFile& result)
{
    if (!isRegularFile(result.candidate)) {
        if (!isFolder(result.candidate)) {
            return;
        }
        std::string withDefault = normalisedPath(result.candidate + "/" + defaultFile);
        if (!isRegularFile(withDefault)) {
            return;
        }
        result.candidate = withDefault;
    }
    std::string realRoot = realPathOf(root);
    std::string realPath = realPathOf(result.candidate);
    bool inside = !realRoot.empty() && !realPath.empty() &&
                  (realPath == realRoot || realRoot == "/" ||
                   (realPath.size() > realRoot.size() &&
                    realPath.compare(0, realRoot.size(), realRoot) == 0 && realPath[realRoot.size()] == '/'));
    if (!inside) {
        result.kind = ResolvedFile::Kind::Outside;
        return;
    }
    const std::string relative = realPath.substr(realRoot == "/" ? 1 : realRoot.size() + 1);
    FileHandle rootFd(::open(realRoot.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    FileHandle fd(rootFd && !relative.empty() ? openWithoutLinks(rootFd.get(), relative) : -1);
    const int error = errno;
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        if (!fd && (error == ENOENT || error == ENOTDIR || error == ELOOP)) {
            return; // gone, or changed into a link since it was resolved
        }
        result.kind = ResolvedFile::Kind::OpenFailed;
        result.error = fd ? errno : error;
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        return;
    }
    result.kind = ResolvedFile::Kind::Found;
    result.file = std::move(fd);
    result.size = static_cast<uint64_t>(st.st_size);
    setIdentity(result, st);
}

} // namespace

std::string normalisedPath(const std::string& path)
{
    std::string out;
    out.reserve(path.size() + 1);
    if (path.empty() || path.front() != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) {
            appendSegments(out, cwd, /*clamp=*/true);
        }
    }
    appendSegments(out, path, /*clamp=*/true);
    if (out.empty()) {
        out = "/";
    }
    return out;
}

std::optional<FileVersion> peekFileVersion(const std::string& root, const std::string& document)
{
    std::string relative;
    relative.reserve(document.size());
    // Only a file right in the root: a stat that does not follow a link at the end then follows
    // none at all. Deeper, a folder on the way could be a link that leads out.
    if (root.empty() || !appendSegments(relative, document, /*clamp=*/false) || relative.size() < 2 ||
        relative.find('/', 1) != std::string::npos) {
        return std::nullopt;
    }
    const int rootFd = openRootFolder(root);
    struct stat st {};
    if (rootFd < 0 || ::fstatat(rootFd, relative.c_str() + 1, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return versionOf(st);
}

ResolvedFile resolveFile(const std::string& root, const std::string& document, const std::string& defaultFile)
{
    ResolvedFile result;
    if (root.empty()) {
        return result; // never the whole file system
    }
    result.candidate = normalisedPath(root + document);
    std::string relative;
    relative.reserve(document.size());
    if (appendSegments(relative, document, /*clamp=*/false)) {
        if (resolveFast(root, relative, defaultFile, result) == FastResult::Done) {
            return result;
        }
        result = ResolvedFile{};
        result.candidate = normalisedPath(root + document);
    }
    resolveSlow(root, defaultFile, result);
    return result;
}

} // namespace kestrelon
