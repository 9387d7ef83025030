#pragma once

#include <string>

namespace kestrelon {

// The folder that holds the running executable, without a trailing "/".
std::string executableDir();

} // namespace kestrelon
