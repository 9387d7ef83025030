#pragma once

#include "core/ProgramPaths.h"

#include <string>

namespace kestrelon {

// The first start of an installed program on an account: its configuration folder gets a settings
// file that works as it is (the server on port 8080, started automatically, feedback appended to a
// file beside the settings) and a web root "www" with a starter page, the installed sample site
// when there is one. Nothing that is there already is replaced.
struct FirstStart {
    bool created = false; // the settings file was written
    std::string webRoot;
    // What to tell the user: where the settings file and the web root are, or what could not be
    // written (the program then goes on with its defaults). Empty when there was nothing to do.
    std::string note;
};

// Main thread, before the settings are read. Does nothing for a portable program, for a settings
// file given with --config, and when the settings file exists (even one that cannot be read: the
// start-up then says why).
FirstStart prepareFirstStart(const ProgramPaths& paths, bool configGiven);

} // namespace kestrelon
