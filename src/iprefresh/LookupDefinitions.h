#pragma once

#include "core/Settings.h"
#include "iprefresh/IpRefreshState.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Lookup definitions for the router-page lookup: the stored text of a definition, the built-in
// presets, selecting a definition into the router fields, and the checks of "Add to
// user-defined" and "Apply". Pure; any thread.
//
// A definition is URL "," keyword "," skip count, and with its check mark set "," user name ","
// password. In user definitions the password is scrambled and every "=" of the text is stored
// as the character 247, since the text is a key of the settings file; presets are plain.

namespace kestrelon {

inline constexpr char kStoredEquals = static_cast<char>(247);

struct RouterPreset {
    const char* name;
    const char* definition;
    bool checked;
};
// Routers whose status page shows the public address, on their usual LAN addresses.
extern const std::array<RouterPreset, 3> kRouterPresets;
// [Router] SelectedRouter: -1 none, a user row, or kPresetBase + a preset row.
inline constexpr int32_t kPresetBase = 100;

// The stored text of a user definition made of the fields; the credentials go in with webAuth.
std::string encodeUserDefinition(const RouterFields& fields);
// The fields of a definition's text; user: a stored user definition (247 and scrambling undone).
RouterFields decodeDefinition(std::string_view text, bool checked, bool user);

struct DefinitionSelection {
    RouterFields fields;
    std::string name;      // shown as the selected definition
    int32_t selected = -1; // the value of [Router] SelectedRouter
    bool preset = false;   // presets disable "Apply" and "Remove "
};
std::optional<DefinitionSelection> selectUserDefinition(const std::vector<LookupDefinition>& list, int row);
std::optional<DefinitionSelection> selectPreset(int row);
// The stored selection at start-up; none when it names no row of its list.
std::optional<DefinitionSelection> definitionAtStartup(const Settings& settings);

// "New": the keyword "<html>", everything else empty.
RouterFields newDefinitionFields();

// The refusal of "Add to user-defined" and "Apply", or the empty text. Besides the missing
// entries, a "," in the URL, keyword or user name (it would move the fields), a line break in
// any field and a password that the settings file cannot hold scrambled are refused.
std::string definitionRefusal(const RouterFields& fields);
// "Name already exists. Continue?" is asked when a row has exactly this name.
bool definitionNameExists(const std::vector<LookupDefinition>& list, const std::string& name);

// The URL field keeps what follows "http://" when a full URL is typed or pasted.
std::string withoutScheme(std::string_view url);

} // namespace kestrelon
