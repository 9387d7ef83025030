#include "launcher/ProgramEntry.h"

#include "core/FileStatus.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <unistd.h>

namespace kestrelon {

namespace {

constexpr std::string_view kExe = ".exe";

bool endsWord(const std::string& text, size_t end)
{
    return end == text.size() || text[end] == ' ';
}

bool isExeAt(const std::string& text, size_t at, bool exactCase)
{
    if (at + kExe.size() > text.size()) {
        return false;
    }
    for (size_t i = 0; i < kExe.size(); ++i) {
        const char c = text[at + i];
        const char lowered = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if ((exactCase ? c : lowered) != kExe[i]) {
            return false;
        }
    }
    return true;
}

// The first ".exe" that ends a word, or npos.
size_t findExe(const std::string& text, bool exactCase)
{
    for (size_t at = 0; at + kExe.size() <= text.size(); ++at) {
        if (isExeAt(text, at, exactCase) && endsWord(text, at + kExe.size())) {
            return at;
        }
    }
    return std::string::npos;
}

// Characters, not bytes: a UTF-8 continuation byte adds none.
int characterCount(const std::string& text)
{
    return static_cast<int>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

ProgramEntry ProgramEntry::parse(const std::string& text)
{
    ProgramEntry entry;
    if (findExe(text, false) != std::string::npos) {
        // A Windows program: the extension is searched for in lower case only, so "CAM.EXE"
        // names no executable. A ".exe" inside a word (a folder "my.exercises") does not count.
        const size_t at = findExe(text, true);
        if (at == std::string::npos) {
            return entry;
        }
        const size_t end = at + kExe.size();
        entry.executable = text.substr(0, end);
        // The blank right after ".exe" is skipped.
        entry.arguments = end + 1 < text.size() ? text.substr(end + 1) : std::string();
        return entry;
    }
    // The longest prefix first: "/opt/My Tools/cam -x" is tried whole, then "/opt/My Tools/cam",
    // then "/opt/My".
    size_t end = text.size();
    while (true) {
        if (end > 0 && isExecutableFile(text.substr(0, end))) {
            entry.executable = text.substr(0, end);
            entry.arguments = end < text.size() ? text.substr(end + 1) : std::string();
            return entry;
        }
        if (end == 0) {
            return entry;
        }
        const size_t blank = text.rfind(' ', end - 1);
        if (blank == std::string::npos) {
            return entry;
        }
        end = blank;
    }
}

std::string ProgramEntry::withArguments(const std::string& executable, const std::string& arguments)
{
    return arguments.empty() ? executable : executable + " " + arguments;
}

bool isExecutableFile(const std::string& path)
{
    return isRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> splitArguments(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    // A word may be empty ('' or ""), so "in a word" is tracked apart from its text.
    bool inWord = false;
    enum class Quote { None, Single, Double } quote = Quote::None;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (quote) {
        case Quote::Single:
            if (c == '\'') {
                quote = Quote::None;
            } else {
                word += c;
            }
            break;
        case Quote::Double:
            if (c == '"') {
                quote = Quote::None;
            } else if (c == '\\' && i + 1 < text.size() &&
                       std::string_view("\\\"$`\n").find(text[i + 1]) != std::string_view::npos) {
                // A backslash before a line end joins the lines.
                if (text[++i] != '\n') {
                    word += text[i];
                }
            } else {
                word += c;
            }
            break;
        case Quote::None:
            if (c == ' ' || c == '\t' || c == '\n') {
                if (inWord) {
                    words.push_back(std::move(word));
                    word.clear();
                    inWord = false;
                }
            } else if (c == '\\') {
                if (i + 1 == text.size()) {
                    word += c; // nothing to escape: kept as it is
                } else if (text[++i] == '\n') {
                    break; // a continued line
                } else {
                    word += text[i];
                }
                inWord = true;
            } else if (c == '\'') {
                quote = Quote::Single;
                inWord = true;
            } else if (c == '"') {
                quote = Quote::Double;
                inWord = true;
            } else {
                word += c;
                inWord = true;
            }
            break;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

bool isOwnExecutable(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name == "kestrelon") {
        return true;
    }
    // The same file under another name: a symbolic or hard link, a path through "..".
    std::error_code ec;
    return std::filesystem::equivalent(path, "/proc/self/exe", ec) && !ec;
}

int AdjustCheckListBox(const std::vector<std::string>& entries, int clientWidth, int charWidth)
{
    int needed = clientWidth;
    for (const std::string& entry : entries) {
        needed = std::max(needed, characterCount(entry) * charWidth + 25);
    }
    return needed;
}

} // namespace kestrelon
