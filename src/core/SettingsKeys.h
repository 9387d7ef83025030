#pragma once

#include "core/Settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelon {

class IniFile;

// How a value is stored in the settings file.
enum class ValueType {
    Bool,      // "1" / "0"; read as an integer, non-zero is true
    Int,       // decimal; read as decimal, or hexadecimal after "$" or "0x"
    Text,      // unchanged; read up to 2047 characters
    Secret,    // passed through EnDeCrypt both ways
    Colour,    // a colour name, or "$" and eight hex digits
    FontStyle, // int: 1 bold, 2 italic, 4 underline, 8 strike-out
    Time,      // a date and time; only the time of day counts
    List,      // one of the list sections, stored by its own rules
};

// The lists and how they are stored: plain (key = entry, value "1"), marked (value = the check
// mark) or numbered (key = position "-" entry). Paired sections share one vector of the model.
enum class ListId {
    Items,         // [items], marked
    Blocked,       // [blocked], plain
    Schedule,      // [IOTimes] numbered with check + [IOValues] numbered
    Routers,       // [Routers] numbered + [RoutersData] numbered with check
    LocalTemplate, // [Template] plain + [LocalFile] marked
    RemoteTemplate // [RemoteTemplate] plain + [RemoteFile] marked
};

// One step of the load or the save: a single key, or a list section.
struct KeyDef {
    const char* section;
    const char* key; // for lists: the section written in this step
    ValueType type;
    bool& (*boolField)(Settings&) = nullptr;
    int32_t& (*intField)(Settings&) = nullptr;
    std::string& (*textField)(Settings&) = nullptr;
    ListId list = ListId::Items;
};

// Every step of the load, in the order the file is read.
const std::vector<KeyDef>& settingsReadOrder();
// Every step of the save, in the order the file is written.
const std::vector<KeyDef>& settingsWriteOrder();

// The sections every save writes, in the order they are first written (the list sections are
// written only when their list has entries).
const std::vector<std::string>& alwaysWrittenSections();
// Whether a section name (any case) is one of the settings file's, lists included.
bool isSettingsSection(std::string_view section);

// Reads every key into settings, which holds the defaults beforehand: a missing or unreadable
// value leaves the default.
void loadSettings(const IniFile& ini, Settings& settings);
// Writes every key; list sections are removed and written afresh.
void saveSettings(IniFile& ini, const Settings& settings);

// The stored form of a time of day (seconds after midnight) and back. Reading accepts a date and
// time, a time alone, or a date alone (midnight); the time in the 24-hour form or with AM / PM.
std::string timeOfDayToText(int32_t seconds);
std::optional<int32_t> timeOfDayFromText(std::string_view text);

} // namespace kestrelon
