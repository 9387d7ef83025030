// The installed program: the man page against --help, and the Debian package built by CPack,
// checked, unpacked into a scratch root and run from there as on a fresh account.
#include "app/CommandLine.h"
#include "core/IniFile.h"
#include "support/ChildProcess.h"
#include "support/HeadlessProgram.h"
#include "support/RawHttpClient.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// "--config FILE", "-auto", ...: the first column of the usage text's switch lines.
std::set<std::string> helpSwitches(const std::string& usage)
{
    std::set<std::string> switches;
    for (const std::string& line : linesOf(usage)) {
        if (line.rfind("  -", 0) == 0) {
            switches.insert(line.substr(2, line.find("  ", 2) - 2));
        }
    }
    return switches;
}

// The same from the tagged paragraphs of the man page's OPTIONS section (".BI \-\-config " FILE"").
std::set<std::string> manPageSwitches(const std::string& page)
{
    std::set<std::string> switches;
    const auto lines = linesOf(page);
    bool inOptions = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(".SH", 0) == 0) {
            inOptions = lines[i] == ".SH OPTIONS";
        } else if (inOptions && lines[i] == ".TP" && i + 1 < lines.size()) {
            const std::string tag = lines[i + 1].substr(lines[i + 1].find(' ') + 1);
            std::string plain = std::regex_replace(std::regex_replace(tag, std::regex(R"(\\-)"), "-"),
                                                   std::regex(R"(\s*"\s*)"), " ");
            switches.insert(std::regex_replace(plain, std::regex(R"(^\s+|\s+$)"), ""));
        }
    }
    return switches;
}

// The packages that hold a file of this name ("libQt6Core.so.6").
std::set<std::string> packagesHolding(const std::string& fileName)
{
    std::set<std::string> packages;
    const std::string suffix = "/" + fileName;
    for (const std::string& line : linesOf(runCommand({"dpkg", "-S", "*" + suffix}, 30s).output)) {
        if (line.size() > suffix.size() &&
            line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
            packages.insert(line.substr(0, line.find(':')));
        }
    }
    return packages;
}

bool dependsOnOneOf(const std::set<std::string>& depends, const std::set<std::string>& packages)
{
    for (const auto& p : packages) {
        if (depends.count(p)) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(ManPage, ListsTheSwitchesOfHelpAndFormatsWithoutWarnings)
{
    const std::string page = readFile(KESTRELON_MAN_PAGE);
    EXPECT_NE(page.find("\"Kestrelon " KESTRELON_VERSION "\""), std::string::npos) << "the version in .TH";
    const std::set<std::string> listed = manPageSwitches(page);
    EXPECT_TRUE(listed.count("--config FILE"));
    EXPECT_EQ(listed, helpSwitches(CommandLine::usage()));
    // The check Debian's lintian makes: groff's warnings for the page, its output thrown away.
    const auto formatted =
        runCommand({"sh", "-c", "man --warnings -E UTF-8 -l -Tutf8 -Z \"$0\" >/dev/null", KESTRELON_MAN_PAGE},
                   30s, {"LC_ALL=C.UTF-8", "MANROFFSEQ=", "MANWIDTH=80"});
    EXPECT_EQ(formatted.status, 0);
    EXPECT_EQ(formatted.output, "");
}

TEST(DebianPackage, DependsOnWhatTheProgramLoadsAndRunsFromAScratchRootOnAFreshAccount)
{
    TempDir dir;
    const auto built = runCommand(
        {KESTRELON_CPACK, "-G", "DEB", "-B", dir.path() + "/out", "--config", KESTRELON_CPACK_CONFIG}, 240s);
    ASSERT_EQ(built.status, 0) << built.output;
    std::string deb;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path() + "/out")) {
        if (entry.path().extension() == ".deb") {
            deb = entry.path().string();
        }
    }
    ASSERT_FALSE(deb.empty()) << built.output;

    // Lint clean but for the two files that wait on the project's licence.
    const auto lint = runCommand({"lintian", "--tag-display-limit", "0", deb}, 120s);
    for (const std::string& line : linesOf(lint.output)) {
        if ((line.rfind("E: ", 0) == 0 || line.rfind("W: ", 0) == 0) &&
            line.find(" no-copyright-file") == std::string::npos &&
            line.find(" no-changelog") == std::string::npos) {
            ADD_FAILURE() << line;
        }
    }

    const std::string root = dir.mkdir("root");
    ASSERT_EQ(runCommand({"dpkg", "-x", deb, root}, 60s).status, 0);
    const std::string exe = root + "/usr/bin/kestrelon";
    const auto version = runCommand({exe, "--version"}, 30s);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "Kestrelon " KESTRELON_VERSION "\n");

    // Depends names the package of every library the program links, and of every GStreamer
    // element it makes, which no library dependency reveals.
    std::set<std::string> depends;
    const std::string field = runCommand({"dpkg-deb", "--field", deb, "Depends"}, 30s).output;
    const std::regex name(R"((^|[,|])\s*([a-z0-9][a-z0-9.+-]+))");
    for (std::sregex_iterator it(field.begin(), field.end(), name), end; it != end; ++it) {
        depends.insert((*it)[2]);
    }
    const std::string dynamic = runCommand({"readelf", "--dynamic", exe}, 30s).output;
    const std::regex needed(R"(\(NEEDED\).*\[(.+)\])");
    size_t libraries = 0;
    for (std::sregex_iterator it(dynamic.begin(), dynamic.end(), needed), end; it != end; ++it, ++libraries) {
        EXPECT_TRUE(dependsOnOneOf(depends, packagesHolding((*it)[1].str()))) << (*it)[1] << " in " << field;
    }
    EXPECT_GT(libraries, 5u);
    for (const char* element : {"videotestsrc", "clockoverlay", "videoconvert", "videoscale", "videorate",
                                "appsink", "vp8enc", "webmmux", "multisocketsink", "v4l2src"}) {
        const auto inspected = runCommand({"gst-inspect-1.0", element}, 30s);
        std::smatch file;
        ASSERT_TRUE(std::regex_search(inspected.output, file, std::regex(R"(Filename\s+(\S+))"))) << element;
        EXPECT_TRUE(dependsOnOneOf(depends,
                                   packagesHolding(std::filesystem::path(file[1].str()).filename().string())))
            << element << " in " << field;
    }

    // The user unit as systemd reads it, pointed at this root's program and man page.
    const std::string unit = readFile(root + "/usr/lib/systemd/user/kestrelon.service");
    EXPECT_NE(unit.find("ExecStart=/usr/bin/kestrelon --headless\n"), std::string::npos);
    const std::string unitCopy =
        dir.write("units/kestrelon.service", std::regex_replace(unit, std::regex("/usr/bin/kestrelon"), exe));
    const std::string runtime = dir.mkdir("run");
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    const auto verified = runCommand({"systemd-analyze", "verify", "--user", unitCopy}, 60s,
                                     {"XDG_RUNTIME_DIR=" + runtime, "MANPATH=" + root + "/usr/share/man"});
    EXPECT_EQ(verified.status, 0) << verified.output;
    EXPECT_EQ(verified.output, "");

    // A fresh account: the first start writes its settings and web root, the next one serves it.
    const std::string config = dir.path() + "/home/.config/kestrelon";
    const std::vector<std::string> account = {"HOME=" + dir.mkdir("home"), "XDG_CONFIG_HOME", "DISPLAY"};
    {
        HeadlessProgram first(exe, {"--headless", "-noauto"}, account);
        const std::string note = "First start: settings written to " + config + "/kestrelon.ini, web root " +
                                 config + "/www with a starter page";
        EXPECT_TRUE(first.waitForLine([&](const std::string& line) { return line == note; }, 20s))
            << first.stderrText();
        ASSERT_TRUE(first.waitForLine(std::regex("^Kestrelon runs without a window"), 20s))
            << first.stderrText();
        first.terminate();
        EXPECT_EQ(first.waitForExit(20s), 0);
    }
    // The port an account may bind is taken here perhaps: an ephemeral one on loopback instead.
    IniFile settings(readFile(config + "/kestrelon.ini"));
    EXPECT_EQ(settings.value("WebServe", "Port"), "8080");
    settings.setValue("WebServe", "Port", "0");
    settings.setValue("WebServe", "RevDNS", "0");
    dir.write("home/.config/kestrelon/kestrelon.ini", settings.text());
    HeadlessProgram next(exe, {"--headless", "--listen", "127.0.0.1"}, account);
    auto listening =
        next.waitForLine(std::regex(R"(Listening for HTTP connections on 127\.0\.0\.1:(\d+)\.$)"), 20s);
    ASSERT_TRUE(listening) << next.stderrText();
    const auto page = httpGet(static_cast<uint16_t>(std::stoi((*listening)[1])), "/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->body, readFile(root + "/usr/share/kestrelon/site/index.html"));
    next.terminate();
    EXPECT_EQ(next.waitForExit(20s), 0);
    EXPECT_EQ(next.stderrText().find("First start"), std::string::npos);
}
