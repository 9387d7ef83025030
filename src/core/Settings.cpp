#include "core/Settings.h"

namespace kestrelon {

Settings Settings::defaults(const std::string& executableDir)
{
    Settings s;
    s.WebServe.Root = executableDir;
    return s;
}

} // namespace kestrelon
