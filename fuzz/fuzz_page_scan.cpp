// libFuzzer target: the page scans and text tools never read outside the page, the automatic
// keyword leads the router scan to the address, and a lookup definition that "Add" accepts comes
// back unchanged from the settings file.
// Input: page, keyword, skip count, user, password, separated by NUL bytes; the first byte's low
// bit sets the definition's check mark.
#include "core/IniFile.h"
#include "core/SettingsKeys.h"
#include "iprefresh/EchoServices.h"
#include "iprefresh/LookupDefinitions.h"
#include "iprefresh/PageScan.h"
#include "iprefresh/PageTools.h"

#include <cstdlib>
#include <string_view>
#include <vector>

using namespace kestrelon;

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool endsWithBlank(std::string_view text)
{
    return !text.empty() && std::string_view(" \t\r\f\v").find(text.back()) != std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    while (parts.size() < 4) {
        size_t nul = input.find('\0');
        parts.push_back(input.substr(0, nul));
        input = nul == std::string_view::npos ? std::string_view{} : input.substr(nul + 1);
    }
    parts.push_back(input);
    std::string_view page = parts[0], keyword = parts[1], skip = parts[2];

    for (const EchoService& service : kEchoServices) {
        check(scanEchoPage(service, page).size() <= page.size());
    }
    std::string scanned = scanRouterPage(page, keyword, skip);
    check(scanned.size() <= page.size());
    check(trimAddress(scanned).size() <= scanned.size());

    size_t at = page.empty() ? 0 : static_cast<unsigned char>(size > 0 ? data[0] : 0) % page.size();
    AutoKeyword automatic = autoKeyword(page, at);
    if (!automatic.keyword.empty()) {
        check(page.find(automatic.keyword) + automatic.keyword.size() + automatic.skip == at);
    }
    findInPage(page, keyword, at, skip.size());
    chooseKeyword(page, at, at + keyword.size(), page.size());

    RouterFields f;
    f.url = std::string(page.substr(0, 200));
    f.keyword = std::string(keyword);
    f.skip = std::string(skip);
    f.webAuth = size > 0 && (data[0] & 1);
    if (f.webAuth) {
        f.user = std::string(parts[3]);
        f.password = std::string(parts[4]);
    }
    std::string stored = encodeUserDefinition(f);
    std::string plain = f.url + f.keyword + f.skip + f.user;
    bool storable = definitionRefusal(f).empty() && f.skip.find(',') == std::string::npos &&
                    plain.find(kStoredEquals) == std::string::npos &&
                    f.password.find('\x08') == std::string::npos &&
                    !endsWithBlank(f.webAuth ? stored : std::string_view(f.skip)) && stored.size() < 4000;
    if (storable) {
        Settings s;
        s.routers = {{"n", stored, f.webAuth}};
        IniFile ini;
        saveSettings(ini, s);
        Settings loaded;
        loadSettings(IniFile(ini.text()), loaded);
        check(loaded.routers.size() == 1);
        check(decodeDefinition(loaded.routers[0].definition, loaded.routers[0].checked, true) == f);
    }
    return 0;
}
