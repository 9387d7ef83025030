#include "app/CommandLine.h"

#include "core/Text.h"

#include <cctype>

namespace kestrelon {

CommandLine CommandLine::parse(const std::vector<std::string>& arguments)
{
    CommandLine cmd;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (arg.empty() || (arg[0] != '-' && arg[0] != '/')) {
            continue;
        }
        std::string name = toLower(arg.substr(arg.rfind("--", 0) == 0 ? 2 : 1));
        auto value = [&](std::string& into) {
            if (i + 1 < arguments.size()) {
                into = arguments[++i];
            } else {
                cmd.error = arg + " needs a value";
            }
        };
        if (name == "auto") {
            cmd.autoStart = true;
        } else if (name == "noauto") {
            cmd.noAuto = true;
        } else if (name == "nolookup") {
            cmd.noLookup = true;
        } else if (name == "noexternal") {
            cmd.noExternal = true;
        } else if (name == "headless") {
            cmd.headless = true;
        } else if (name == "help" || name == "h") {
            cmd.help = true;
        } else if (name == "version") {
            cmd.version = true;
        } else if (name == "config") {
            value(cmd.config);
        } else if (name == "listen") {
            value(cmd.listen);
        }
    }
    return cmd;
}

const char* CommandLine::usage()
{
    return "Usage: kestrelon [switches]\n"
           "  -auto             start the web server even when its AutoStart box is unticked\n"
           "  -noauto           start nothing automatically (server, time check, programs, ...)\n"
           "  -nolookup         IP-Refresh's Start, Update and timer look no address up\n"
           "  -noexternal       do not start the external programs at start-up\n"
           "  --headless        run without a window (also the mode when there is no display)\n"
           "  --config FILE     use FILE as the settings file\n"
           "  --listen ADDRESS  bind the web server to ADDRESS instead of the primary address\n"
           "  --help            show this text\n"
           "  --version         show the version\n"
           "Switches start with \"-\", \"--\" or \"/\", in any case.\n";
}

} // namespace kestrelon
