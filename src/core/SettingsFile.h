#pragma once

#include "core/Settings.h"

#include <optional>
#include <string>

namespace kestrelon {

// Reading and writing the settings file. The object remembers what the file held when it last
// read or wrote it, so that a save never replaces a file another program has changed since
// without being told to, and a reload can tell a half-written file from a whole one.
// Main thread only.
class SettingsFile {
public:
    explicit SettingsFile(std::string path) : m_path(std::move(path)) {}
    const std::string& path() const { return m_path; }

    struct LoadResult {
        Settings settings;
        bool existed = false;
        std::string error; // set when the file is not used
    };
    // The start-up load. Starts from the given defaults; every key the file holds and can be read
    // replaces one. A missing file is not an error: every key keeps its default. A file that
    // cannot be read at all, or that is not a settings file (it has sections or keys, but no
    // section of this program), is an error.
    LoadResult load(const Settings& defaults);
    // Reads the file again while the program runs. Besides what load() refuses, a reload refuses
    // a file that is missing, empty, changes while it is read, ends in the middle of a line, or
    // lacks a section that the file read or written last had: such a file is most likely being
    // written right now, and the settings in use are better than its defaults. The error then
    // says why; the remembered contents stay those of the last good read or write.
    LoadResult reload(const Settings& defaults);

    enum class SaveStatus {
        Saved,
        KeptChangedFile, // another program changed the file since this object read or wrote it
        Failed,          // message: "Unable to write to " and the path, and why when known
    };
    struct SaveResult {
        SaveStatus status = SaveStatus::Saved;
        std::string message; // empty when saved
        bool saved() const { return status == SaveStatus::Saved; }
    };
    // Writes the settings into the file, keeping every key and section the program does not
    // know. The file is replaced in one step (a temporary file in the same folder, renamed over
    // it), so a crash or a full disk leaves the previous file whole; its permissions are kept.
    // A file that changed on disk since it was last read or written here is left as it is unless
    // replaceChangedFile is set. A file made read-only is never written.
    SaveResult save(const Settings& settings, bool replaceChangedFile = false);

    // Whether the file on disk differs from what this object last read or wrote (a file that is
    // gone counts as unchanged: writing it anew replaces nothing).
    bool changedOnDisk() const;

private:
    std::string m_path;
    // What the file held at the last read or write; nullopt while it did not exist. Unset
    // (m_known false) until the first load or save.
    bool m_known = false;
    std::optional<std::string> m_knownText;
};

} // namespace kestrelon
