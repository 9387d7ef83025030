// libFuzzer target: the settings file reader and writer. Any text loads; once saved, loading and
// saving again gives the same text.
#include "core/IniFile.h"
#include "core/SettingsKeys.h"

#include <cstdlib>
#include <string_view>

using namespace kestrelon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    IniFile original(text);
    Settings first = Settings::defaults("/srv/www");
    loadSettings(original, first);

    IniFile once(text);
    saveSettings(once, first);
    const std::string saved = once.text();

    Settings second = Settings::defaults("/srv/www");
    loadSettings(IniFile(saved), second);
    IniFile twice(saved);
    saveSettings(twice, second);
    if (twice.text() != saved) {
        std::abort();
    }
    for (const auto& entry : second.blocked) {
        if (entry.empty() || entry.find('\n') != std::string::npos) {
            std::abort();
        }
    }
    return 0;
}
