#include "core/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrelon {

namespace {

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

constexpr size_t kRandomPart = 6; // mkostemp's "XXXXXX"

struct SplitPath {
    std::string folder;
    std::string name;
};

SplitPath split(const std::string& target)
{
    size_t slash = target.rfind('/');
    if (slash == std::string::npos) {
        return {".", target};
    }
    return {slash == 0 ? "/" : target.substr(0, slash), target.substr(slash + 1)};
}

} // namespace

bool isTemporaryFileName(std::string_view fileName, std::string_view targetName)
{
    if (fileName.size() != targetName.size() + 2 + kRandomPart || fileName.front() != '.' ||
        fileName.substr(1, targetName.size()) != targetName || fileName[1 + targetName.size()] != '.') {
        return false;
    }
    for (char c : fileName.substr(fileName.size() - kRandomPart)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
            return false;
        }
    }
    return true;
}

size_t removeStaleTemporaries(const std::string& target)
{
    const SplitPath path = split(target);
    DIR* dir = ::opendir(path.folder.c_str());
    if (!dir) {
        return 0;
    }
    size_t removed = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (isTemporaryFileName(entry->d_name, path.name) &&
            ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
}

bool replaceFileAtomically(const std::string& target, std::string_view data, mode_t mode, bool keepMode,
                           std::string& error, Durability durability)
{
    if (keepMode) {
        struct stat st {};
        if (::stat(target.c_str(), &st) == 0) {
            mode = st.st_mode & 07777;
        }
    }
    const auto [folder, name] = split(target);
    std::string temp = folder + "/." + name + "." + std::string(kRandomPart, 'X');
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool flush = durability == Durability::Flushed;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, data) && (!flush || ::fsync(fd) == 0);
    int savedErrno = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        savedErrno = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = std::strerror(savedErrno ? savedErrno : EIO);
        return false;
    }
    if (!flush) {
        return true;
    }
    // Make the rename itself durable.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace kestrelon
