#include "iprefresh/LookupDefinitions.h"

#include "core/PasswordScrambler.h"

namespace kestrelon {

const std::array<RouterPreset, 3> kRouterPresets = {{
    {"Linksys BEFSRU31", "192.168.1.1/Status.htm,<!--WAN head-->,365,kovar,kovar", true},
    {"Mentor MR4A/UK", "192.168.1.254/home/hstatus.sht,<html>,504", false},
    {"Netgear DG834 (G)", "192.168.0.1/setup.cgi?next_file=s_status.htm,<b>IP Address,30,kovar,tembrisk",
     true},
}};

namespace {

// The field after the n-th ","; the last field asked for takes the rest.
std::string_view field(std::string_view text, int n, bool rest)
{
    for (int i = 0; i < n; ++i) {
        size_t comma = text.find(',');
        if (comma == std::string_view::npos) {
            return {};
        }
        text.remove_prefix(comma + 1);
    }
    return rest ? text : text.substr(0, text.find(','));
}

} // namespace

std::string encodeUserDefinition(const RouterFields& f)
{
    std::string text = f.url + "," + f.keyword + "," + f.skip;
    if (f.webAuth) {
        text += "," + f.user + "," + EnDeCrypt(f.password);
    }
    for (char& c : text) {
        if (c == '=') {
            c = kStoredEquals;
        }
    }
    return text;
}

RouterFields decodeDefinition(std::string_view stored, bool checked, bool user)
{
    std::string text(stored);
    if (user) {
        for (char& c : text) {
            if (c == kStoredEquals) {
                c = '=';
            }
        }
    }
    RouterFields f;
    f.url = field(text, 0, false);
    f.keyword = field(text, 1, false);
    if (checked) {
        f.skip = field(text, 2, false);
        f.webAuth = true;
        f.user = field(text, 3, false);
        f.password = field(text, 4, true);
        if (user) {
            f.password = EnDeCrypt(f.password);
        }
    } else {
        f.skip = field(text, 2, true);
    }
    return f;
}

std::optional<DefinitionSelection> selectUserDefinition(const std::vector<LookupDefinition>& list, int row)
{
    if (row < 0 || static_cast<size_t>(row) >= list.size()) {
        return std::nullopt;
    }
    const LookupDefinition& d = list[row];
    return DefinitionSelection{decodeDefinition(d.definition, d.checked, true), d.name, row, false};
}

std::optional<DefinitionSelection> selectPreset(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= kRouterPresets.size()) {
        return std::nullopt;
    }
    const RouterPreset& p = kRouterPresets[row];
    return DefinitionSelection{decodeDefinition(p.definition, p.checked, false), p.name, kPresetBase + row,
                               true};
}

std::optional<DefinitionSelection> definitionAtStartup(const Settings& settings)
{
    int32_t selected = settings.Router.SelectedRouter;
    if (selected >= kPresetBase) {
        return selectPreset(selected - kPresetBase);
    }
    return selectUserDefinition(settings.routers, selected);
}

RouterFields newDefinitionFields()
{
    RouterFields f;
    f.keyword = "<html>";
    return f;
}

std::string definitionRefusal(const RouterFields& f)
{
    if (f.url.empty()) {
        return "The URL is missing!";
    }
    if (f.keyword.empty()) {
        return "You need to selecte a Keyword!";
    }
    if (f.webAuth && f.password.empty()) {
        return "Password required.";
    }
    if (f.webAuth && f.user.empty()) {
        return "Username required.";
    }
    // A "," would move the fields; a line break or NUL would break the settings file's line.
    static constexpr std::string_view kForbidden{",\r\n\0", 4};
    auto bad = [](const std::string& text) { return text.find_first_of(kForbidden) != std::string::npos; };
    if (bad(f.url) || bad(f.keyword) || (f.webAuth && bad(f.user)) ||
        f.skip.find_first_of(kForbidden.substr(1)) != std::string::npos) {
        return "The URL, the keyword and the username cannot contain \",\" or line breaks.";
    }
    if (f.webAuth && !survivesScrambling(f.password)) {
        return "This password cannot be stored.";
    }
    return {};
}

bool definitionNameExists(const std::vector<LookupDefinition>& list, const std::string& name)
{
    for (const auto& d : list) {
        if (d.name == name) {
            return true;
        }
    }
    return false;
}

std::string withoutScheme(std::string_view url)
{
    size_t at = url.find("http://");
    return std::string(at == std::string_view::npos ? url : url.substr(at + 7));
}

} // namespace kestrelon
