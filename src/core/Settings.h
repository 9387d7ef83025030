#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The stored settings, one plain struct per section of the settings file. Member names follow the
// key names so a value is easy to trace to its key (a key that starts with a digit gets the prefix
// "rb"); the member initialisers are the defaults. The key table in SettingsKeys.cpp says how each
// member is stored.

namespace kestrelon {

// The first echo service that states the caller's public address, and the first preset time
// server: the defaults of [DNS] ExtDNS and [TimeServer] Server.
inline constexpr const char* kDefaultEchoService = "http://checkip.dyndns.org/";
inline constexpr const char* kDefaultTimeServer = "129.6.15.28";

// Colours are 0x00BBGGRR (red in the low byte); system colours are 0xFF000000 plus an index.
using Colour = int32_t;

struct CheckedEntry {
    std::string text;
    bool checked = false;
    bool operator==(const CheckedEntry&) const = default;
};

// One timed port value of the schedule: [IOTimes] holds the time and its check mark, [IOValues]
// the value, at the same position.
struct ScheduleEntry {
    std::string time;
    std::string value;
    bool active = false;
    bool operator==(const ScheduleEntry&) const = default;
};

// A named router lookup definition: [Routers] holds the name, [RoutersData] the definition and
// its check mark, at the same position.
struct LookupDefinition {
    std::string name;
    std::string definition;
    bool checked = false;
    bool operator==(const LookupDefinition&) const = default;
};

// A template and the file it is filled into: [Template] / [RemoteTemplate] hold the template,
// [LocalFile] / [RemoteFile] the output file with its check mark, at the same position.
struct TemplatePair {
    std::string templateFile;
    std::string outputFile;
    bool checked = false;
    bool operator==(const TemplatePair&) const = default;
};

struct SplashScreenSettings {
    bool Hold = true;
    bool operator==(const SplashScreenSettings&) const = default;
};

struct IOSettings {
    bool Schedule = false;
    bool operator==(const IOSettings&) const = default;
};

struct RouterSettings {
    bool External = true;
    bool UserDefined = false;
    int32_t SelectedRouter = -1;
    bool operator==(const RouterSettings&) const = default;
};

struct DNSSettings {
    bool Sendmail = false;
    std::string To;
    std::string Server;
    std::string From;
    std::string Subject = "Feedback from IP check";
    std::string ExtDNS = kDefaultEchoService;
    std::string IP;
    bool WebAuth = false;
    std::string WebUser;
    std::string WebPass;
    bool operator==(const DNSSettings&) const = default;
};

struct WebServeSettings {
    std::string Port = "80";
    std::string Root; // web root folder, no trailing "/"; default: the program's folder
    std::string RootFile = "index.html";
    bool FeedAuth = false;
    std::string FeedUser;
    std::string FeedPass;
    bool Append = true;
    bool Email = false;
    std::string AppendFile;
    std::string EmailAddr;
    std::string EmailServer;
    std::string EmailFrom = "kestrelon@";
    std::string Subject = "Feedback from Kestrelon";
    std::string Login; // "Welcome text", the authentication realm
    std::string User;
    std::string Pass;
    bool Auth = false; // "Require Authentication"
    bool AutoStart = false;
    bool Close = false;
    bool LAN = false; // "This computer is an ICS gateway"
    bool Log = true;  // "Enable Log"
    bool DontLogOwn = false;
    bool DontCountOwn = false;
    bool DontCountOwn2 = false;
    bool Minimize = false;
    bool StartMinimized = false;
    bool ClosePrompt = true;
    bool RevDNS = true; // "Reverse DNS lookup"
    bool ShowCount = false;
    bool IO = false; // "Enable I/O control"
    std::string IOAddress = "0278H (LPT2)";
    std::string EscChar = "^"; // "Trigger Char"
    bool RemoteDisable = false;
    std::string RemotePass;
    std::string PortValue = "0";
    bool SendValue = false;
    bool RemRemotePass = false;
    // Hit counters.
    Colour TextColour = 0xFFFFFF;
    std::string CounterFontName = "Courier New";
    int32_t CounterFontSize = 14;
    int32_t CounterFontStyle = 0; // 1 bold, 2 italic, 4 underline, 8 strike-out
    Colour Colour1 = 0x000000;    // key "Colour"
    Colour DeskColour = Colour(0xFF00000C);
    Colour TextColour2 = 0xFFFFFF;
    std::string CounterFontName2 = "Courier New";
    int32_t CounterFontSize2 = 14;
    int32_t CounterFontStyle2 = 0;
    Colour Colour2 = 0x000000;
    bool operator==(const WebServeSettings&) const = default;
};

struct TimeServerSettings {
    std::string Server = kDefaultTimeServer;
    bool Daily = false;
    int32_t DailyTime = 0; // seconds after midnight; the default is the time of day of the load
    std::string Last;
    bool PCAdjust = false;
    bool Auto = false;
    std::string Format = "ddd dd mmm yyyy hh:nn:ss";
    bool operator==(const TimeServerSettings&) const = default;
};

struct CameraSettings {
    std::string Text = "WebCam";
    bool cbText = true;
    int32_t AutoSelectDevice = 0;
    bool AutoSelect = false;
    bool AutoStart = false;
    int32_t X = 4;
    int32_t Y = 258;
    int32_t Xt = 180;
    int32_t Yt = 258;
    int32_t Interval = 10;
    std::string File; // default: the program's folder + "/untitled.jpg"
    bool Overlay = true;
    // The overlay pattern; stored both as [TimeServer] Overlay and [Camera] OvText, the latter
    // read last and deciding.
    std::string OvText = "  hh:nn:ss   dd mmm yyyy";
    bool Update = false;
    int32_t Bright = 0;
    int32_t Quality = 60;
    int32_t Red = 0;
    int32_t Green = 0;
    int32_t Blue = 0;
    bool Delete = false;
    bool DeleteOnCapEnd = false;
    bool DontResize = false;
    bool fps = true;     // "12.5 fps"; false: "25 fps"
    bool Flicker = true; // "50 Hz (European)"
    int32_t Delay = 200;
    bool rb288 = false;
    bool rb264 = true;
    bool rb240 = false;
    bool rb480 = false;
    bool rb320 = false;
    bool CameraLog = false;
    int32_t Zoom = 30;
    int32_t Sharpness = 1;
    int32_t Contrast = -25;
    bool CheckPath = true;
    std::string Threshold = "0";
    std::string Above;
    std::string Below;
    bool cbAbove = false;
    bool cbBelow = false;
    bool cbStopCapture = false;
    bool cbStopCapAbove = false;
    std::string CapThreshold = "0";
    int32_t DarkLine = 120;
    bool operator==(const CameraSettings&) const = default;
};

// The overlay caption's font and colours.
struct ArchiverSettings {
    Colour Colour1 = 0x000000; // key "Colour"
    std::string FontName = "MS Sans Serif";
    int32_t FontSize = 10;
    int32_t FontStyle = 0;
    bool Transp = false;
    Colour BackCol = 0xFFFFFF;
    bool operator==(const ArchiverSettings&) const = default;
};

struct FTPSettings {
    bool AutoStart = false;
    bool EnableFTP = false;
    bool ConfirmRemote = true;
    bool ConfirmLocal = true;
    int32_t Interval = 0;
    std::string LastUploaded;
    bool operator==(const FTPSettings&) const = default;
};

struct RemoteSettings {
    std::string Host;
    std::string Username;
    std::string Password;
    bool SavePass = false;
    bool FTPLog = true;
    bool Backoff = true;
    bool operator==(const RemoteSettings&) const = default;
};

struct FTPCameraSettings {
    std::string Host;
    std::string Username;
    std::string Password;
    std::string Directory;
    std::string File;
    bool SavePass = false;
    bool AutoStart = false;
    int32_t Interval = 60;
    bool operator==(const FTPCameraSettings&) const = default;
};

struct SystemSettings {
    bool Scrollbars = false;
    bool Debug = false; // "Debug (normally unchecked)"
    bool operator==(const SystemSettings&) const = default;
};

struct VidStreamSettings {
    bool Stream = false;
    bool NoPreview = false;
    int32_t Users = 5;
    std::string Port = "8080";
    int32_t Profile = 5;
    int32_t Quality = 50;
    int32_t LastDevice = -1;
    std::string Clip;
    bool operator==(const VidStreamSettings&) const = default;
};

struct Settings {
    SplashScreenSettings SplashScreen;
    std::vector<CheckedEntry> items;  // [items]: external programs, check = start at start-up
    std::vector<std::string> blocked; // [blocked]: blocked client addresses and host names
    IOSettings IO;
    std::vector<ScheduleEntry> schedule; // [IOTimes] + [IOValues]
    RouterSettings Router;
    std::vector<LookupDefinition> routers; // [Routers] + [RoutersData]
    DNSSettings DNS;
    std::vector<TemplatePair> localTemplates;  // [Template] + [LocalFile]
    std::vector<TemplatePair> remoteTemplates; // [RemoteTemplate] + [RemoteFile]
    WebServeSettings WebServe;
    TimeServerSettings TimeServer;
    CameraSettings Camera;
    ArchiverSettings Archiver;
    FTPSettings FTP;
    RemoteSettings Remote;
    FTPCameraSettings FTPCamera;
    SystemSettings System;
    VidStreamSettings VidStream;

    bool operator==(const Settings&) const = default;

    // The built-in defaults; the ones that depend on where the program keeps its files (the web
    // root, the snapshot file) and on the time of day (the daily check) are filled in here.
    static Settings defaults(const std::string& dataDir);
};

} // namespace kestrelon
