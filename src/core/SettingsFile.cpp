#include "core/SettingsFile.h"

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

bool writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
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

    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = folder + "/." + name + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        return refused;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return refused;
    }
    // Make the rename itself durable.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

} // namespace kestrelon
