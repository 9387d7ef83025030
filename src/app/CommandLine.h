#pragma once

#include <string>
#include <vector>

namespace kestrelon {

// The command line. The four switches auto, noauto, nolookup and noexternal are arguments that
// start with "-" or "/" (also "--") followed by the name in any case; other arguments without such
// a prefix are ignored. The program's own options: --headless, --config FILE, --listen ADDRESS,
// --help, --version.
struct CommandLine {
    bool autoStart = false; // "auto"
    bool noAuto = false;
    bool noLookup = false;
    bool noExternal = false;
    bool headless = false;
    bool help = false;
    bool version = false;
    std::string config; // --config FILE
    std::string listen; // --listen ADDRESS
    std::string error;  // set when an option lacks its value

    static CommandLine parse(const std::vector<std::string>& arguments);
    static const char* usage();
};

} // namespace kestrelon
