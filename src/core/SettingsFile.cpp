#include "core/SettingsFile.h"

#include "core/AtomicFile.h"
#include "core/IniFile.h"
#include "core/PasswordScrambler.h"
#include "core/SettingsKeys.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrelon {

namespace {

enum class ReadStatus { Read, Missing, Failed, Unsteady };

bool sameFileState(const struct stat& a, const struct stat& b)
{
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// One read of the whole file. Unsteady: the file grew, shrank or was written while it was read,
// so the text may be a mix of two versions or a part of one.
ReadStatus readOnce(const std::string& path, std::string& text)
{
    text.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    }
    struct stat before {
    }, after{};
    ReadStatus status = ReadStatus::Read;
    if (::fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) {
        status = ReadStatus::Failed;
    } else {
        char buffer[16384];
        while (true) {
            ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                status = ReadStatus::Failed;
                break;
            }
            if (n == 0) {
                break;
            }
            text.append(buffer, static_cast<size_t>(n));
        }
        if (status == ReadStatus::Read && (::fstat(fd, &after) != 0 || !sameFileState(before, after) ||
                                           text.size() != static_cast<size_t>(after.st_size))) {
            status = ReadStatus::Unsteady;
        }
    }
    ::close(fd);
    return status;
}

// A few tries: a writer that is quick about it is usually done by the second.
ReadStatus readWhole(const std::string& path, std::string& text)
{
    ReadStatus status = ReadStatus::Unsteady;
    for (int attempt = 0; attempt < 3 && status == ReadStatus::Unsteady; ++attempt) {
        status = readOnce(path, text);
    }
    return status;
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

bool hasSettingsSection(const IniFile& ini)
{
    auto names = ini.sectionNames();
    return std::any_of(names.begin(), names.end(), [](const std::string& n) { return isSettingsSection(n); });
}

struct SecretKey {
    const char* name;
    const std::string* value;
};

} // namespace

SettingsFile::LoadResult SettingsFile::load(const Settings& defaults)
{
    LoadResult result;
    result.settings = defaults;
    std::string text;
    switch (readWhole(m_path, text)) {
    case ReadStatus::Missing:
        m_known = true;
        m_knownText.reset();
        return result;
    case ReadStatus::Failed:
        result.existed = true;
        result.error = "Unable to read " + m_path;
        return result;
    case ReadStatus::Unsteady:
        result.existed = true;
        result.error = "Unable to read " + m_path + ": it keeps changing while it is read";
        return result;
    case ReadStatus::Read:
        break;
    }
    result.existed = true;
    IniFile ini(text);
    // A file of some other program (a wrong --config) is neither used nor written over.
    if (ini.hasContent() && !hasSettingsSection(ini)) {
        result.error = m_path + " is not a settings file of Kestrelon: none of its sections is one of the "
                                "program's";
        return result;
    }
    loadSettings(ini, result.settings);
    m_known = true;
    m_knownText = std::move(text);
    return result;
}

SettingsFile::LoadResult SettingsFile::reload(const Settings& defaults)
{
    LoadResult result;
    result.settings = defaults;
    auto refuse = [&](const std::string& why) {
        result.error = "Settings not reloaded from " + m_path + ": " + why + "; the settings in use are kept";
        return result;
    };
    std::string text;
    switch (readWhole(m_path, text)) {
    case ReadStatus::Missing:
        return refuse("the file is missing");
    case ReadStatus::Failed:
        return refuse("the file cannot be read");
    case ReadStatus::Unsteady:
        return refuse("the file kept changing while it was read");
    case ReadStatus::Read:
        break;
    }
    result.existed = true;
    IniFile ini(text);
    if (!ini.hasContent()) {
        return refuse("the file is empty");
    }
    if (!hasSettingsSection(ini)) {
        return refuse(
            "it is not a settings file of Kestrelon (none of its sections is one of the program's)");
    }
    // Files this program writes, and those of editors, end with a line break: a file that
    // stops in the middle of a line has been cut off.
    if (!ini.endsWithLineBreak()) {
        return refuse("the file ends in the middle of a line and may be half-written");
    }
    if (m_knownText) {
        const IniFile known(*m_knownText);
        for (const std::string& section : alwaysWrittenSections()) {
            if (known.hasSection(section) && !ini.hasSection(section)) {
                return refuse("the file lacks the section [" + section + "] it had and may be half-written");
            }
        }
    }
    loadSettings(ini, result.settings);
    m_known = true;
    m_knownText = std::move(text);
    return result;
}

bool SettingsFile::changedOnDisk() const
{
    if (!m_known) {
        return false;
    }
    std::string text;
    switch (readWhole(m_path, text)) {
    case ReadStatus::Missing:
        return false;
    case ReadStatus::Read:
        return !m_knownText || text != *m_knownText;
    case ReadStatus::Failed:
    case ReadStatus::Unsteady:
        break;
    }
    return true;
}

SettingsFile::SaveResult SettingsFile::save(const Settings& settings, bool replaceChangedFile)
{
    const std::string refused = "Unable to write to " + m_path;
    auto fail = [](std::string message) { return SaveResult{SaveStatus::Failed, std::move(message)}; };

    // A password that would scramble into a line break could not be read back as it was.
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
            return fail(refused + ": the password of " + s.name + " holds a character that cannot be stored");
        }
    }

    const std::string target = resolvedTarget(m_path);
    std::string existing;
    bool exists = false;
    mode_t mode = 0600; // a new file holds passwords: only its owner reads it
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        // Read-only for everyone means the user wants it left alone, root included.
        if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0 ||
            readWhole(target, existing) != ReadStatus::Read) {
            return fail(refused);
        }
        exists = true;
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return fail(refused);
    }

    if (exists && m_known && !replaceChangedFile && (!m_knownText || existing != *m_knownText)) {
        return {SaveStatus::KeptChangedFile,
                m_path + " was changed by another program since Kestrelon read it: it is kept as it is, and "
                         "Kestrelon's settings were not saved"};
    }

    IniFile ini(existing);
    saveSettings(ini, settings);
    std::string text = ini.text();

    std::string writeError;
    if (!replaceFileAtomically(target, text, mode, /*keepMode=*/false, writeError)) {
        return fail(refused);
    }
    m_known = true;
    m_knownText = std::move(text);
    return {};
}

} // namespace kestrelon
