#pragma once

#include "core/Settings.h"

#include <string>

namespace kestrelon {

// Reading and writing the settings file. Main thread only.
class SettingsFile {
public:
    explicit SettingsFile(std::string path) : m_path(std::move(path)) {}
    const std::string& path() const { return m_path; }

    struct LoadResult {
        Settings settings;
        bool existed = false;
        std::string error; // set when the file exists but cannot be read at all
    };
    // Starts from the given defaults; every key the file holds and can be read replaces one.
    // A missing file is not an error: every key keeps its default.
    LoadResult load(const Settings& defaults) const;

    // Writes the settings into the file, keeping every key and section the program does not
    // know. The file is replaced in one step (a temporary file in the same folder, renamed over
    // it), so a crash or a full disk leaves the previous file whole; its permissions are kept.
    // Returns the empty text, or the message to show: "Unable to write to " and the path when
    // the file or its folder cannot be written, including a file made read-only.
    std::string save(const Settings& settings) const;

private:
    std::string m_path;
};

} // namespace kestrelon
