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

    // The files named after the program that live beside the settings file and are deleted at
    // shutdown: the templates' upload file, the user guide and the live stream's file.
    std::string uploadFile() const { return besideSettings("kestrelon.tmp"); }
    std::string helpDocument() const { return besideSettings("kestrelon.html"); }
    std::string streamFile() const { return besideSettings("kestrelon.webm"); }

    // configOverride: the file given with --config, or empty.
    static ProgramPaths locate(const std::string& configOverride = {});

private:
    std::string besideSettings(const char* name) const;
};

} // namespace kestrelon
