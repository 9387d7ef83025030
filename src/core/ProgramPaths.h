#pragma once

#include <string>

namespace kestrelon {

// The folder that holds the running executable, without a trailing "/".
std::string executableDir();

// Where the program keeps its files.
struct ProgramPaths {
    std::string settingsFile; // kestrelon.ini
    // The folder of the default settings file: the executable's folder when it is writable (a
    // portable install or the build tree), else $XDG_CONFIG_HOME/kestrelon (~/.config/kestrelon).
    // The default web root and snapshot file, and the program's other files, live here.
    std::string dataDir;

    // The file that remote templates are filled into before their upload: kestrelon.tmp beside
    // the settings file.
    std::string uploadFile() const;

    // configOverride: the file given with --config, or empty.
    static ProgramPaths locate(const std::string& configOverride = {});
};

} // namespace kestrelon
