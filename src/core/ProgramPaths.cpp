#include "core/ProgramPaths.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

#ifndef KESTRELON_SHARE_FROM_BIN
#define KESTRELON_SHARE_FROM_BIN "../share/kestrelon"
#endif

namespace kestrelon {

std::string executableDir()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::filesystem::current_path(ec).string();
    }
    return exe.parent_path().string();
}

std::string configHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    std::string folder = home && *home ? home : "";
    if (folder.empty()) {
        // A service manager or su may leave HOME out; the account still has its folder.
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
            folder = entry->pw_dir;
        }
    }
    return folder + "/.config";
}

ProgramPaths ProgramPaths::locate(const std::string& configOverride)
{
    return locateFrom(executableDir(), configOverride);
}

ProgramPaths ProgramPaths::locateFrom(const std::string& exeDir, const std::string& configOverride)
{
    ProgramPaths paths;
    std::error_code ec;
    const auto share = std::filesystem::path(exeDir) / KESTRELON_SHARE_FROM_BIN;
    const bool installed = std::filesystem::is_directory(share, ec);
    if (std::filesystem::is_directory(share / "site", ec)) {
        paths.sampleSite = std::filesystem::weakly_canonical(share / "site", ec).string();
    }
    if (!installed && ::access(exeDir.c_str(), W_OK) == 0) {
        paths.dataDir = exeDir;
        paths.portable = true;
    } else {
        paths.dataDir = configHome() + "/kestrelon";
        if (std::filesystem::create_directories(paths.dataDir, ec)) {
            // Feedback records and scrambled passwords end up here: the account's own business.
            std::filesystem::permissions(paths.dataDir, std::filesystem::perms::owner_all, ec);
        }
    }
    paths.settingsFile = configOverride.empty() ? paths.dataDir + "/kestrelon.ini" : configOverride;
    return paths;
}

std::string ProgramPaths::besideSettings(const char* name) const
{
    const size_t slash = settingsFile.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : settingsFile.substr(0, slash == 0 ? 1 : slash);
    return (folder == "/" ? "" : folder) + "/" + name;
}

} // namespace kestrelon
