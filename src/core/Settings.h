#pragma once

#include <string>
#include <vector>

// The stored settings, one plain struct per section of the settings file. Member names follow the
// key names so a value is easy to trace to its key; the member initialisers are the defaults.

namespace kestrelon {

struct SystemSettings {
    bool Debug = false; // "Debug (normally unchecked)"
};

struct WebServeSettings {
    std::string Port = "80";
    std::string Root; // web root folder, no trailing "/"; default: the executable's folder
    std::string RootFile = "index.html";
    bool Auth = false; // "Require Authentication"
    std::string User;
    std::string Pass;
    std::string Login; // "Welcome text", the authentication realm
    bool AutoStart = false;
    bool LAN = false; // "This computer is an ICS gateway"
    bool Log = true;  // "Enable Log"
    bool DontLogOwn = false;
    bool DontCountOwn = false;
    bool DontCountOwn2 = false;
    bool RevDNS = true; // "Reverse DNS lookup"
    bool IO = false;    // "Enable I/O control"
    std::string IOAddress = "0278H (LPT2)";
    std::string EscChar = "^"; // "Trigger Char"
    bool RemoteDisable = false;
    std::string RemotePass;
};

struct Settings {
    SystemSettings System;
    WebServeSettings WebServe;
    std::vector<std::string> blocked; // [blocked]: blocked client addresses and host names

    // The built-in defaults; the ones that depend on where the program lives are filled in here.
    static Settings defaults(const std::string& executableDir);
};

} // namespace kestrelon
