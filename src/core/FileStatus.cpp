#include "core/FileStatus.h"

#include <sys/stat.h>

#include <optional>

namespace kestrelon {

namespace {

std::optional<struct stat> statOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return st;
}

} // namespace

bool pathExists(const std::string& path)
{
    return statOf(path).has_value();
}

bool isRegularFile(const std::string& path)
{
    const auto st = statOf(path);
    return st && S_ISREG(st->st_mode);
}

bool isFolder(const std::string& path)
{
    const auto st = statOf(path);
    return st && S_ISDIR(st->st_mode);
}

int64_t fileSize(const std::string& path)
{
    const auto st = statOf(path);
    return st ? int64_t(st->st_size) : 0;
}

} // namespace kestrelon
