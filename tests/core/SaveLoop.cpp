// Saves the settings file over and over, alternating between two sets of values, until killed.
// The crash test kills it at random moments and checks the file after each kill.
#include "core/SettingsFile.h"

#include <cstdio>
#include <unistd.h>

using namespace kestrelon;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: settings_save_loop FILE\n");
        return 2;
    }
    SettingsFile file(argv[1]);
    Settings a = Settings::defaults("/a");
    a.WebServe.Port = "1111";
    a.WebServe.User = "alpha";
    a.blocked = {"a1", "a2", "a3"};
    Settings b = Settings::defaults("/b");
    b.WebServe.Port = "2222";
    b.WebServe.User = "bravo";
    b.blocked = {"b1"};
    // Start with the set the file does not hold, so that every finished save changes the file.
    unsigned first = file.load(Settings{}).settings.WebServe.Port == "1111" ? 1 : 0;
    for (unsigned i = first;; ++i) {
        if (!file.save(i % 2 ? b : a).message.empty()) {
            return 1;
        }
        // One byte per finished save tells the test the loop is under way.
        if (::write(1, "s", 1) != 1) {
            return 1;
        }
    }
}
