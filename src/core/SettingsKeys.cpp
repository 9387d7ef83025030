#include "core/SettingsKeys.h"

#include "core/Text.h"

#include "core/Colours.h"
#include "core/DateTimePattern.h"
#include "core/IniFile.h"
#include "core/IntText.h"
#include "core/PasswordScrambler.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace kestrelon {

namespace {

// One line per key: section, key, and the member of Settings that holds it.
// clang-format off
#define KB(sec, key, field) KeyDef{sec, key, ValueType::Bool, [](Settings& s) -> bool& { return s.field; }}
#define KINT(sec, key, type, field)                                                                          \
    KeyDef{sec, key, type, nullptr, [](Settings& s) -> int32_t& { return s.field; }}
#define KI(sec, key, field) KINT(sec, key, ValueType::Int, field)
#define KC(sec, key, field) KINT(sec, key, ValueType::Colour, field)
#define KF(sec, key, field) KINT(sec, key, ValueType::FontStyle, field)
#define KM(sec, key, field) KINT(sec, key, ValueType::Time, field)
#define KTXT(sec, key, type, field)                                                                          \
    KeyDef{sec, key, type, nullptr, nullptr, [](Settings& s) -> std::string& { return s.field; }}
#define KT(sec, key, field) KTXT(sec, key, ValueType::Text, field)
#define KS(sec, key, field) KTXT(sec, key, ValueType::Secret, field)
#define KL(sec, id) KeyDef{sec, sec, ValueType::List, nullptr, nullptr, nullptr, ListId::id}
// clang-format on

} // namespace

const std::vector<KeyDef>& settingsReadOrder()
{
    // [TimeServer] Overlay and [Camera] OvText hold the same pattern; OvText is read later and
    // decides.
    static const std::vector<KeyDef> order = {
        KB("SplashScreen", "Hold", SplashScreen.Hold),
        KL("items", Items),
        KL("blocked", Blocked),
        KB("IO", "Schedule", IO.Schedule),
        KL("IOTimes", Schedule),
        KB("Router", "External", Router.External),
        KB("Router", "UserDefined", Router.UserDefined),
        KI("Router", "SelectedRouter", Router.SelectedRouter),
        KL("Routers", Routers),
        KB("DNS", "Sendmail", DNS.Sendmail),
        KT("DNS", "To", DNS.To),
        KT("DNS", "Server", DNS.Server),
        KT("DNS", "From", DNS.From),
        KT("DNS", "Subject", DNS.Subject),
        KT("DNS", "ExtDNS", DNS.ExtDNS),
        KT("DNS", "IP", DNS.IP),
        KL("Template", LocalTemplate),
        KL("RemoteTemplate", RemoteTemplate),
        KT("WebServe", "Port", WebServe.Port),
        KT("WebServe", "Root", WebServe.Root),
        KT("WebServe", "RootFile", WebServe.RootFile),
        KB("WebServe", "FeedAuth", WebServe.FeedAuth),
        KT("WebServe", "FeedUser", WebServe.FeedUser),
        KS("WebServe", "FeedPass", WebServe.FeedPass),
        KB("DNS", "WebAuth", DNS.WebAuth),
        KT("DNS", "WebUser", DNS.WebUser),
        KS("DNS", "WebPass", DNS.WebPass),
        KB("WebServe", "Append", WebServe.Append),
        KB("WebServe", "Email", WebServe.Email),
        KT("WebServe", "AppendFile", WebServe.AppendFile),
        KT("WebServe", "EmailAddr", WebServe.EmailAddr),
        KT("WebServe", "EmailServer", WebServe.EmailServer),
        KT("WebServe", "EmailFrom", WebServe.EmailFrom),
        KT("WebServe", "Subject", WebServe.Subject),
        KT("WebServe", "Login", WebServe.Login),
        KT("WebServe", "User", WebServe.User),
        KS("WebServe", "Pass", WebServe.Pass),
        KB("WebServe", "Auth", WebServe.Auth),
        KB("WebServe", "AutoStart", WebServe.AutoStart),
        KB("WebServe", "Close", WebServe.Close),
        KB("WebServe", "LAN", WebServe.LAN),
        KB("WebServe", "Log", WebServe.Log),
        KB("WebServe", "DontLogOwn", WebServe.DontLogOwn),
        KB("WebServe", "DontCountOwn", WebServe.DontCountOwn),
        KB("WebServe", "DontCountOwn2", WebServe.DontCountOwn2),
        KB("WebServe", "Minimize", WebServe.Minimize),
        KB("WebServe", "StartMinimized", WebServe.StartMinimized),
        KB("WebServe", "ClosePrompt", WebServe.ClosePrompt),
        KB("WebServe", "RevDNS", WebServe.RevDNS),
        KB("WebServe", "ShowCount", WebServe.ShowCount),
        KB("WebServe", "IO", WebServe.IO),
        KT("WebServe", "IOAddress", WebServe.IOAddress),
        KT("WebServe", "EscChar", WebServe.EscChar),
        KB("WebServe", "RemoteDisable", WebServe.RemoteDisable),
        KS("WebServe", "RemotePass", WebServe.RemotePass),
        KT("WebServe", "PortValue", WebServe.PortValue),
        KB("WebServe", "SendValue", WebServe.SendValue),
        KB("WebServe", "RemRemotePass", WebServe.RemRemotePass),
        KT("TimeServer", "Server", TimeServer.Server),
        KB("TimeServer", "Daily", TimeServer.Daily),
        KM("TimeServer", "DailyTime", TimeServer.DailyTime),
        KT("TimeServer", "Last", TimeServer.Last),
        KB("TimeServer", "PCAdjust", TimeServer.PCAdjust),
        KB("TimeServer", "Auto", TimeServer.Auto),
        KT("TimeServer", "Format", TimeServer.Format),
        KT("TimeServer", "Overlay", Camera.OvText),
        KT("Camera", "Text", Camera.Text),
        KB("Camera", "cbText", Camera.cbText),
        KI("Camera", "AutoSelectDevice", Camera.AutoSelectDevice),
        KB("Camera", "AutoSelect", Camera.AutoSelect),
        KB("Camera", "AutoStart", Camera.AutoStart),
        KI("Camera", "X", Camera.X),
        KI("Camera", "Y", Camera.Y),
        KI("Camera", "Xt", Camera.Xt),
        KI("Camera", "Yt", Camera.Yt),
        KI("Camera", "Interval", Camera.Interval),
        KT("Camera", "File", Camera.File),
        KB("Camera", "Overlay", Camera.Overlay),
        KT("Camera", "OvText", Camera.OvText),
        KC("WebServe", "TextColour", WebServe.TextColour),
        KT("WebServe", "CounterFontName", WebServe.CounterFontName),
        KI("WebServe", "CounterFontSize", WebServe.CounterFontSize),
        KF("WebServe", "CounterFontStyle", WebServe.CounterFontStyle),
        KC("WebServe", "Colour", WebServe.Colour1),
        KC("WebServe", "DeskColour", WebServe.DeskColour),
        KC("WebServe", "TextColour2", WebServe.TextColour2),
        KT("WebServe", "CounterFontName2", WebServe.CounterFontName2),
        KI("WebServe", "CounterFontSize2", WebServe.CounterFontSize2),
        KF("WebServe", "CounterFontStyle2", WebServe.CounterFontStyle2),
        KC("WebServe", "Colour2", WebServe.Colour2),
        KC("Archiver", "Colour", Archiver.Colour1),
        KT("Archiver", "FontName", Archiver.FontName),
        KI("Archiver", "FontSize", Archiver.FontSize),
        KF("Archiver", "FontStyle", Archiver.FontStyle),
        KB("Archiver", "Transp", Archiver.Transp),
        KC("Archiver", "BackCol", Archiver.BackCol),
        KB("Camera", "Update", Camera.Update),
        KI("Camera", "Bright", Camera.Bright),
        KI("Camera", "Quality", Camera.Quality),
        KI("Camera", "Red", Camera.Red),
        KI("Camera", "Green", Camera.Green),
        KI("Camera", "Blue", Camera.Blue),
        KB("Camera", "Delete", Camera.Delete),
        KB("Camera", "DeleteOnCapEnd", Camera.DeleteOnCapEnd),
        KB("Camera", "DontResize", Camera.DontResize),
        KB("Camera", "fps", Camera.fps),
        KB("Camera", "Flicker", Camera.Flicker),
        KI("Camera", "Delay", Camera.Delay),
        KB("Camera", "288", Camera.rb288),
        KB("Camera", "264", Camera.rb264),
        KB("Camera", "240", Camera.rb240),
        KB("Camera", "480", Camera.rb480),
        KB("Camera", "320", Camera.rb320),
        KB("Camera", "CameraLog", Camera.CameraLog),
        KI("Camera", "Zoom", Camera.Zoom),
        KI("Camera", "Sharpness", Camera.Sharpness),
        KI("Camera", "Contrast", Camera.Contrast),
        KB("Camera", "CheckPath", Camera.CheckPath),
        KT("Camera", "Threshold", Camera.Threshold),
        KT("Camera", "Above", Camera.Above),
        KT("Camera", "Below", Camera.Below),
        KB("Camera", "cbAbove", Camera.cbAbove),
        KB("Camera", "cbBelow", Camera.cbBelow),
        KB("Camera", "cbStopCapture", Camera.cbStopCapture),
        KB("Camera", "cbStopCapAbove", Camera.cbStopCapAbove),
        KT("Camera", "CapThreshold", Camera.CapThreshold),
        KI("Camera", "DarkLine", Camera.DarkLine),
        KB("FTP", "AutoStart", FTP.AutoStart),
        KB("FTP", "EnableFTP", FTP.EnableFTP),
        KB("FTP", "ConfirmRemote", FTP.ConfirmRemote),
        KB("FTP", "ConfirmLocal", FTP.ConfirmLocal),
        KI("FTP", "Interval", FTP.Interval),
        KT("FTP", "LastUploaded", FTP.LastUploaded),
        KT("Remote", "Host", Remote.Host),
        KT("Remote", "Username", Remote.Username),
        KS("Remote", "Password", Remote.Password),
        KB("Remote", "SavePass", Remote.SavePass),
        KB("Remote", "FTPLog", Remote.FTPLog),
        KB("Remote", "Backoff", Remote.Backoff),
        KT("FTPCamera", "Host", FTPCamera.Host),
        KT("FTPCamera", "Username", FTPCamera.Username),
        KS("FTPCamera", "Password", FTPCamera.Password),
        KT("FTPCamera", "Directory", FTPCamera.Directory),
        KT("FTPCamera", "File", FTPCamera.File),
        KB("FTPCamera", "SavePass", FTPCamera.SavePass),
        KB("FTPCamera", "AutoStart", FTPCamera.AutoStart),
        KI("FTPCamera", "Interval", FTPCamera.Interval),
        KB("System", "Scrollbars", System.Scrollbars),
        KB("System", "Debug", System.Debug),
        KB("VidStream", "Stream", VidStream.Stream),
        KB("VidStream", "NoPreview", VidStream.NoPreview),
        KI("VidStream", "Users", VidStream.Users),
        KT("VidStream", "Port", VidStream.Port),
        KI("VidStream", "Profile", VidStream.Profile),
        KI("VidStream", "Quality", VidStream.Quality),
        KI("VidStream", "LastDevice", VidStream.LastDevice),
        KT("VidStream", "Clip", VidStream.Clip),
    };
    return order;
}

const std::vector<KeyDef>& settingsWriteOrder()
{
    // The order of writing: a section with its keys in the order they are written, or a list
    // section in brackets, which is removed and written whole. The keys are those of the table
    // above; nothing is described twice.
    static const char* const kSteps[] = {
        "SplashScreen Hold",
        "[items]",
        "[blocked]",
        "[LocalFile]",
        "Router SelectedRouter External UserDefined",
        "[Routers]",
        "IO Schedule",
        "[IOTimes]",
        "DNS Sendmail To Server From Subject ExtDNS IP",
        "[Template]",
        "[RemoteFile]",
        "[RemoteTemplate]",
        "WebServe Port RootFile Root Append Email AppendFile EmailAddr EmailServer EmailFrom Subject User "
        "Pass "
        "RemotePass RemoteDisable RemRemotePass RevDNS PortValue FeedAuth FeedUser FeedPass",
        "DNS WebAuth WebUser WebPass",
        "WebServe Login Auth AutoStart Close LAN Log DontLogOwn DontCountOwn DontCountOwn2 Minimize "
        "StartMinimized "
        "ClosePrompt ShowCount IO IOAddress EscChar SendValue",
        "TimeServer Server Daily Last DailyTime PCAdjust Auto Format Overlay",
        "Camera AutoSelectDevice AutoSelect AutoStart X Y Xt Yt Interval File Overlay OvText Threshold Above "
        "Below "
        "cbAbove cbBelow cbStopCapture cbStopCapAbove DarkLine CapThreshold",
        "WebServe TextColour CounterFontName CounterFontSize CounterFontStyle Colour DeskColour TextColour2 "
        "CounterFontName2 CounterFontSize2 CounterFontStyle2 Colour2",
        "Archiver Colour FontName FontSize FontStyle BackCol Transp",
        "Camera Update 288 264 240 480 320 CameraLog Bright Quality Red Green Blue DeleteOnCapEnd Delete "
        "DontResize fps Flicker Delay Text cbText Zoom Sharpness Contrast CheckPath",
        "FTP AutoStart EnableFTP ConfirmRemote ConfirmLocal Interval LastUploaded",
        "Remote Host Username Password SavePass FTPLog Backoff",
        "FTPCamera Host Username Password Directory File SavePass AutoStart Interval",
        "System Scrollbars Debug",
        "VidStream Stream NoPreview Users Port Profile Quality LastDevice Clip",
    };
    // Paired lists are written section by section; [IOTimes] and [Routers] write their partner
    // sections along with them.
    static const KeyDef kLists[] = {
        KL("items", Items),
        KL("blocked", Blocked),
        KL("LocalFile", LocalTemplate),
        KL("Routers", Routers),
        KL("IOTimes", Schedule),
        KL("Template", LocalTemplate),
        KL("RemoteFile", RemoteTemplate),
        KL("RemoteTemplate", RemoteTemplate),
    };
    static const std::vector<KeyDef> order = [] {
        std::vector<KeyDef> steps;
        auto fail = [](const std::string& what) {
            std::fprintf(stderr, "settings write order names %s, which the key table lacks\n", what.c_str());
            std::abort();
        };
        for (std::string_view step : kSteps) {
            if (step.front() == '[') {
                std::string_view section = step.substr(1, step.size() - 2);
                auto list = std::find_if(std::begin(kLists), std::end(kLists),
                                         [&](const KeyDef& k) { return section == k.section; });
                if (list == std::end(kLists)) {
                    fail(std::string(step));
                }
                steps.push_back(*list);
                continue;
            }
            std::istringstream words{std::string(step)};
            std::string section, key;
            words >> section;
            while (words >> key) {
                const auto& table = settingsReadOrder();
                auto it = std::find_if(table.begin(), table.end(), [&](const KeyDef& k) {
                    return k.type != ValueType::List && section == k.section && key == k.key;
                });
                if (it == table.end()) {
                    fail(section + " " + key);
                }
                steps.push_back(*it);
            }
        }
        return steps;
    }();
    return order;
}

const std::vector<std::string>& alwaysWrittenSections()
{
    static const std::vector<std::string> sections = [] {
        std::vector<std::string> out;
        for (const KeyDef& k : settingsWriteOrder()) {
            if (k.type != ValueType::List && std::find(out.begin(), out.end(), k.section) == out.end()) {
                out.emplace_back(k.section);
            }
        }
        return out;
    }();
    return sections;
}

bool isSettingsSection(std::string_view section)
{
    // The list sections, with the partners that are written along with [IOTimes] and [Routers].
    static const char* const kListSections[] = {"items",      "blocked",       "IOTimes",  "IOValues",
                                                "Routers",    "RoutersData",   "Template", "LocalFile",
                                                "RemoteFile", "RemoteTemplate"};
    const auto same = [&](std::string_view name) { return equalsIgnoreCase(name, section); };
    return std::any_of(std::begin(kListSections), std::end(kListSections), same) ||
           std::any_of(alwaysWrittenSections().begin(), alwaysWrittenSections().end(), same);
}

namespace {

std::optional<int32_t> readInt(const IniFile& ini, const char* section, const std::string& key)
{
    auto text = ini.value(section, key);
    if (!text) {
        return std::nullopt;
    }
    return parseSettingNumber(*text);
}

bool readBool(const IniFile& ini, const char* section, const std::string& key, bool fallback)
{
    auto value = readInt(ini, section, key);
    return value ? *value != 0 : fallback;
}

// The position prefix of a numbered list's key ("3-10-20" holds the entry "10-20").
std::string withoutPosition(const std::string& key)
{
    size_t dash = key.find('-');
    return dash == std::string::npos ? key : key.substr(dash + 1);
}

// The key names of two parallel sections, position by position; the longer one is cut to the
// shorter, so the pair always has one length.
std::vector<std::pair<std::string, std::string>> pairedKeys(const IniFile& ini, const char* first,
                                                            const char* second)
{
    auto a = ini.keyNames(first);
    auto b = ini.keyNames(second);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        pairs.emplace_back(std::move(a[i]), std::move(b[i]));
    }
    return pairs;
}

// A list whose keys are the entries themselves ([items], [blocked]) and whose values are 0 or 1:
// an entry may hold "=" itself ("cam --rate=5=1"), which the line's first "=" would cut off, so
// the value is what follows the last "=".
std::vector<std::pair<std::string, bool>> entryList(const IniFile& ini, const char* section)
{
    std::vector<std::pair<std::string, bool>> out;
    for (auto [name, value] : ini.entries(section)) {
        size_t last = value.rfind('=');
        if (last != std::string::npos) {
            name += "=" + value.substr(0, last);
            value.erase(0, last + 1);
        }
        auto number = parseSettingNumber(value);
        out.emplace_back(std::move(name), number && *number != 0);
    }
    return out;
}

void loadList(const IniFile& ini, ListId id, Settings& s)
{
    switch (id) {
    case ListId::Items:
        s.items.clear();
        for (auto& [text, checked] : entryList(ini, "items")) {
            s.items.push_back({std::move(text), checked});
        }
        break;
    case ListId::Blocked:
        s.blocked.clear();
        for (auto& entry : entryList(ini, "blocked")) {
            s.blocked.push_back(std::move(entry.first));
        }
        break;
    case ListId::Schedule:
        s.schedule.clear();
        for (const auto& [time, value] : pairedKeys(ini, "IOTimes", "IOValues")) {
            s.schedule.push_back(
                {withoutPosition(time), withoutPosition(value), readBool(ini, "IOTimes", time, false)});
        }
        break;
    case ListId::Routers:
        s.routers.clear();
        for (const auto& [name, data] : pairedKeys(ini, "Routers", "RoutersData")) {
            s.routers.push_back(
                {withoutPosition(name), withoutPosition(data), readBool(ini, "RoutersData", data, false)});
        }
        break;
    case ListId::LocalTemplate:
    case ListId::RemoteTemplate: {
        bool local = id == ListId::LocalTemplate;
        const char* templateSection = local ? "Template" : "RemoteTemplate";
        const char* fileSection = local ? "LocalFile" : "RemoteFile";
        auto& list = local ? s.localTemplates : s.remoteTemplates;
        list.clear();
        for (const auto& [templateFile, file] : pairedKeys(ini, templateSection, fileSection)) {
            list.push_back({templateFile, file, readBool(ini, fileSection, file, false)});
        }
        break;
    }
    }
}

const char* boolText(bool b)
{
    return b ? "1" : "0";
}

std::string numberedKey(size_t position, const std::string& entry)
{
    return std::to_string(position) + "-" + entry;
}

// Writes the list section named by the step; paired sections that are written together are
// written in the step of the first.
void saveList(IniFile& ini, const KeyDef& step, const Settings& s)
{
    const std::string_view section = step.section;
    switch (step.list) {
    case ListId::Items:
        ini.eraseSection("items");
        for (const auto& e : s.items) {
            ini.appendValue("items", e.text, boolText(e.checked));
        }
        break;
    case ListId::Blocked:
        ini.eraseSection("blocked");
        for (const auto& e : s.blocked) {
            ini.appendValue("blocked", e, "1");
        }
        break;
    case ListId::Schedule:
        ini.eraseSection("IOTimes");
        ini.eraseSection("IOValues");
        for (size_t i = 0; i < s.schedule.size(); ++i) {
            ini.setValue("IOTimes", numberedKey(i, s.schedule[i].time), boolText(s.schedule[i].active));
            ini.setValue("IOValues", numberedKey(i, s.schedule[i].value), "1");
        }
        break;
    case ListId::Routers:
        ini.eraseSection("Routers");
        ini.eraseSection("RoutersData");
        for (size_t i = 0; i < s.routers.size(); ++i) {
            ini.setValue("Routers", numberedKey(i, s.routers[i].name), "1");
            ini.setValue("RoutersData", numberedKey(i, s.routers[i].definition),
                         boolText(s.routers[i].checked));
        }
        break;
    case ListId::LocalTemplate:
    case ListId::RemoteTemplate: {
        const auto& list = step.list == ListId::LocalTemplate ? s.localTemplates : s.remoteTemplates;
        bool files = section == "LocalFile" || section == "RemoteFile";
        ini.eraseSection(section);
        for (const auto& e : list) {
            if (files) {
                ini.setValue(section, e.outputFile, boolText(e.checked));
            } else {
                ini.setValue(section, e.templateFile, "1");
            }
        }
        break;
    }
    }
}

} // namespace

namespace {
void writeAll(IniFile& ini, Settings& s);
} // namespace

void loadSettings(const IniFile& ini, Settings& s)
{
    for (const KeyDef& k : settingsReadOrder()) {
        switch (k.type) {
        case ValueType::List:
            loadList(ini, k.list, s);
            break;
        case ValueType::Bool:
            k.boolField(s) = readBool(ini, k.section, k.key, k.boolField(s));
            break;
        case ValueType::Int:
        case ValueType::FontStyle:
            if (auto v = readInt(ini, k.section, k.key)) {
                k.intField(s) = *v;
            }
            break;
        case ValueType::Colour:
            if (auto text = ini.value(k.section, k.key)) {
                if (auto c = colourFromText(trimBlanks(*text))) {
                    k.intField(s) = *c;
                }
            }
            break;
        case ValueType::Time:
            if (auto text = ini.value(k.section, k.key)) {
                if (auto t = timeOfDayFromText(trimBlanks(*text))) {
                    k.intField(s) = *t;
                }
            }
            break;
        case ValueType::Text:
            if (auto text = ini.value(k.section, k.key)) {
                k.textField(s) = *text;
            }
            break;
        case ValueType::Secret:
            if (auto text = ini.value(k.section, k.key)) {
                k.textField(s) = EnDeCrypt(*text);
            }
            break;
        }
    }
}

void saveSettings(IniFile& ini, const Settings& settings)
{
    // The three passwords behind a "Remember password" box are stored only when it is ticked.
    Settings s = settings;
    if (!s.Remote.SavePass) {
        s.Remote.Password.clear();
    }
    if (!s.FTPCamera.SavePass) {
        s.FTPCamera.Password.clear();
    }
    if (!s.WebServe.RemRemotePass) {
        s.WebServe.RemotePass.clear();
    }
    // List sections are removed and written afresh, so they move to the end of the file. The
    // write order runs twice: from then on the layout is stable, and loading and saving a file
    // the program saved gives the same bytes.
    for (int pass = 0; pass < 2; ++pass) {
        writeAll(ini, s);
    }
}

namespace {

void writeAll(IniFile& ini, Settings& s)
{
    for (const KeyDef& k : settingsWriteOrder()) {
        switch (k.type) {
        case ValueType::List:
            saveList(ini, k, s);
            break;
        case ValueType::Bool:
            ini.setValue(k.section, k.key, boolText(k.boolField(s)));
            break;
        case ValueType::Int:
        case ValueType::FontStyle:
            ini.setValue(k.section, k.key, std::to_string(k.intField(s)));
            break;
        case ValueType::Colour:
            ini.setValue(k.section, k.key, colourToText(k.intField(s)));
            break;
        case ValueType::Time:
            ini.setValue(k.section, k.key, timeOfDayToText(k.intField(s)));
            break;
        case ValueType::Text:
            ini.setValue(k.section, k.key, k.textField(s));
            break;
        case ValueType::Secret:
            ini.setValue(k.section, k.key, EnDeCrypt(k.textField(s)));
            break;
        }
    }
}

} // namespace

std::string timeOfDayToText(int32_t seconds)
{
    // The general date-time form: short date, and the long time unless it is midnight. The date
    // carries no meaning; a fixed one keeps a saved file the same from run to run.
    seconds = ((seconds % 86400) + 86400) % 86400;
    return formatDateTime(
        "c", DateTimeParts::fromFields(1899, 12, 30, seconds / 3600, seconds / 60 % 60, seconds % 60));
}

namespace {

// Takes a number of one to maxDigits digits from the front of text.
std::optional<unsigned> takeNumber(std::string_view& text, size_t maxDigits)
{
    size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && digits < maxDigits && text[digits] >= '0' && text[digits] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[digits] - '0');
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    text.remove_prefix(digits);
    return value;
}

bool takeChar(std::string_view& text, char c)
{
    if (text.empty() || text.front() != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

// "AM" or "PM" in any case: 0 for AM, 12 for PM.
std::optional<unsigned> takeAmPm(std::string_view& text)
{
    if (text.size() < 2 || (text[1] != 'M' && text[1] != 'm')) {
        return std::nullopt;
    }
    const char c = text[0];
    if (c != 'A' && c != 'a' && c != 'P' && c != 'p') {
        return std::nullopt;
    }
    text.remove_prefix(2);
    return (c == 'P' || c == 'p') ? 12u : 0u;
}

} // namespace

std::optional<int32_t> timeOfDayFromText(std::string_view text)
{
    // An optional date "d/m/yyyy", then an optional time "h:nn" or "h:nn:ss", in the 24-hour
    // form or followed by AM or PM ("4:30 PM", "4:30:00 pm"). Nothing else may follow.
    std::string_view t = trimBlanks(text);
    if (t.find('/') != std::string_view::npos) {
        auto day = takeNumber(t, 2);
        auto month = day && takeChar(t, '/') ? takeNumber(t, 2) : std::nullopt;
        auto year = month && takeChar(t, '/') ? takeNumber(t, 4) : std::nullopt;
        if (!year || *day < 1 || *day > 31 || *month < 1 || *month > 12) {
            return std::nullopt;
        }
        const std::string_view rest = trimBlanks(t);
        if (!rest.empty() && rest.size() == t.size()) {
            return std::nullopt; // the time must be apart from the date
        }
        t = rest;
        if (t.empty()) {
            return 0; // a date alone is midnight
        }
    }
    auto hour = takeNumber(t, 2);
    auto minute = hour && takeChar(t, ':') ? takeNumber(t, 2) : std::nullopt;
    if (!minute) {
        return std::nullopt;
    }
    unsigned second = 0;
    if (takeChar(t, ':')) {
        auto s = takeNumber(t, 2);
        if (!s) {
            return std::nullopt;
        }
        second = *s;
    }
    t = trimBlanks(t);
    if (auto half = takeAmPm(t)) {
        // 12 AM is midnight, 12 PM noon.
        if (*hour < 1 || *hour > 12) {
            return std::nullopt;
        }
        *hour = *hour % 12 + *half;
    }
    if (!t.empty() || *hour > 23 || *minute > 59 || second > 59) {
        return std::nullopt;
    }
    return static_cast<int32_t>(*hour * 3600 + *minute * 60 + second);
}

} // namespace kestrelon
