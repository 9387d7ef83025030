#include "app/FirstStart.h"

#include "core/AtomicFile.h"
#include "core/SettingsFile.h"

#include <filesystem>
#include <system_error>

namespace kestrelon {

namespace {

namespace fs = std::filesystem;

// The page of a web root that has no sample site to start from.
constexpr const char* kStarterPage = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Kestrelon</title>
</head>
<body>
<h1>Kestrelon is serving</h1>
<p>This is the starter page of the web root. Put your own pages into the root folder and they are
served from here.</p>
</body>
</html>
)";

// The web root with its default file; returns the empty text or what failed.
std::string makeWebRoot(const std::string& root, const std::string& sampleSite)
{
    std::error_code ec;
    fs::create_directories(root, ec);
    if (ec) {
        return "Unable to create the folder " + root + ": " + ec.message();
    }
    if (fs::exists(fs::symlink_status(root + "/index.html", ec))) {
        return {};
    }
    if (!sampleSite.empty()) {
        // A file that is there already stays; a copy that fails half-way still leaves a page
        // below, and what is missing can be copied by hand.
        fs::copy(sampleSite, root, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
        if (fs::exists(fs::symlink_status(root + "/index.html", ec))) {
            return {};
        }
    }
    std::string error;
    if (!replaceFileAtomically(root + "/index.html", kStarterPage, 0644, false, error)) {
        return "Unable to write to " + root + "/index.html: " + error;
    }
    return {};
}

} // namespace

FirstStart prepareFirstStart(const ProgramPaths& paths, bool configGiven)
{
    FirstStart result;
    std::error_code ec;
    if (paths.portable || configGiven || fs::exists(fs::symlink_status(paths.settingsFile, ec))) {
        return result;
    }
    result.webRoot = paths.dataDir + "/www";
    if (std::string error = makeWebRoot(result.webRoot, paths.sampleSite); !error.empty()) {
        result.note = "First start: " + error;
        return result;
    }

    Settings settings = Settings::defaults(paths.dataDir);
    // Port 80 needs privileges an account does not have.
    settings.WebServe.Port = "8080";
    settings.WebServe.AutoStart = true;
    settings.WebServe.Root = result.webRoot;
    // Feedback beside the settings, out of the visitors' reach; the snapshot where pages find it.
    settings.WebServe.Append = true;
    settings.WebServe.AppendFile = paths.dataDir + "/feedback.txt";
    settings.Camera.File = result.webRoot + "/untitled.jpg";
    SettingsFile file(paths.settingsFile);
    const auto saved = file.save(settings);
    if (!saved.saved()) {
        result.note = "First start: " + saved.message;
        return result;
    }
    result.created = true;
    result.note = "First start: settings written to " + paths.settingsFile + ", web root " + result.webRoot +
                  " with a starter page";
    return result;
}

} // namespace kestrelon
