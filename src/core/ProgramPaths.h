#pragma once

#include <string>

namespace kestrelon {

// The folder that holds the running executable, without a trailing "/".
std::string executableDir();

// Where the program keeps its files. Any thread (locate reads the environment).
struct ProgramPaths {
    std::string settingsFile; // kestrelon.ini
    // The folder of the default settings file: the executable's folder when the program runs
    // from a writable folder of its own (a portable install, or the build tree), else
    // $XDG_CONFIG_HOME/kestrelon (~/.config/kestrelon). The default web root and snapshot file,
    // and the program's other files, live here.
    std::string dataDir;
    // True when dataDir is the executable's folder.
    bool portable = false;
    // The sample site installed with the program (<prefix>/share/kestrelon/site), empty when the
    // executable is not part of such an install.
    std::string sampleSite;

    // The files named after the program that live beside the settings file and are deleted at
    // shutdown: the templates' upload file, the user guide and the live stream's file.
    std::string uploadFile() const { return besideSettings("kestrelon.tmp"); }
    std::string helpDocument() const { return besideSettings("kestrelon.html"); }
    std::string streamFile() const { return besideSettings("kestrelon.webm"); }

    // configOverride: the file given with --config, or empty.
    static ProgramPaths locate(const std::string& configOverride = {});
    // The same for an executable in exeDir. An executable installed beside share/kestrelon
    // (by "cmake --install" or the package) is never portable, even when its folder is writable
    // (root, or a prefix in the user's home): the settings of each user go to that user's
    // configuration folder. The folder is created when missing.
    static ProgramPaths locateFrom(const std::string& exeDir, const std::string& configOverride);

private:
    std::string besideSettings(const char* name) const;
};

// $XDG_CONFIG_HOME, or ~/.config when it is unset, empty or not an absolute path (as the XDG base
// directory rules ask); the home folder is $HOME, else the account's entry. Any thread.
std::string configHome();

} // namespace kestrelon
