#include "core/ProgramPaths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

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

ProgramPaths ProgramPaths::locate(const std::string& configOverride)
{
    ProgramPaths paths;
    std::string exeDir = executableDir();
    if (::access(exeDir.c_str(), W_OK) == 0) {
        paths.dataDir = exeDir;
    } else {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        std::string base = (xdg && *xdg) ? std::string(xdg) : std::string(home ? home : "") + "/.config";
        paths.dataDir = base + "/kestrelon";
        std::error_code ec;
        std::filesystem::create_directories(paths.dataDir, ec);
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
