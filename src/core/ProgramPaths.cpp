#include "core/ProgramPaths.h"

#include <filesystem>
#include <system_error>

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

} // namespace kestrelon
