#include "core/SettingsFile.h"

#include "core/AtomicFile.h"
#include "core/IniFile.h"
#include "core/PasswordScrambler.h"
#include "core/SettingsKeys.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrelon {

namespace {

bool readWhole(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return !in.bad();
}

// The file the path leads to: a settings file that is a link is written where the link points.
std::string resolvedTarget(const std::string& path)
{
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer)) {
        return buffer;
    }
    return path;
}

struct SecretKey {
    const char* name;
    const std::string* value;
};

} // namespace

SettingsFile::LoadResult SettingsFile::load(const Settings& defaults) const
{
    LoadResult result;
    result.settings = defaults;
    struct stat st {};
    if (::stat(m_path.c_str(), &st) != 0) {
        return result;
    }
    result.existed = true;
    std::string text;
    if (!S_ISREG(st.st_mode) || !readWhole(m_path, text)) {
        result.error = "Unable to read " + m_path;
        return result;
    }
    loadSettings(IniFile(text), result.settings);
    return result;
}

std::string SettingsFile::save(const Settings& settings) const
{
    const std::string refused = "Unable to write to " + m_path;

    // A password that scrambles to a line break or NUL could not be read back as it was.
    const SecretKey secrets[] = {
        {"[WebServe] Pass", &settings.WebServe.Pass},
        {"[WebServe] FeedPass", &settings.WebServe.FeedPass},
        {"[WebServe] RemotePass", &settings.WebServe.RemotePass},
        {"[DNS] WebPass", &settings.DNS.WebPass},
        {"[Remote] Password", &settings.Remote.Password},
        {"[FTPCamera] Password", &settings.FTPCamera.Password},
    };
    for (const SecretKey& s : secrets) {
        if (!survivesScrambling(*s.value)) {
            return refused + ": the password of " + s.name + " holds a character that cannot be stored";
        }
    }

    const std::string target = resolvedTarget(m_path);
    std::string existing;
    mode_t mode = 0600; // a new file holds passwords: only its owner reads it
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        // Read-only for everyone means the user wants it left alone, root included.
        if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0 ||
            !readWhole(target, existing)) {
            return refused;
        }
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return refused;
    }

    IniFile ini(existing);
    saveSettings(ini, settings);
    const std::string text = ini.text();

    std::string writeError;
    if (!replaceFileAtomically(target, text, mode, /*keepMode=*/false, writeError)) {
        return refused;
    }
    return {};
}

} // namespace kestrelon
