#pragma once

#include <string>
#include <vector>

// The rules for one entry of the external program list. An entry is a text: the path of an
// executable, optionally followed by one blank and the program's arguments. Pure functions; any
// thread.

namespace kestrelon {

struct ProgramEntry {
    // The executable the entry names, or empty when it names none (such an entry is never
    // started).
    std::string executable;
    // The text after the executable and its blank, still unsplit.
    std::string arguments;

    // Splits an entry. Entries that name a Windows program (".exe" in any letter case at the end
    // of a word) run up to and including the first lower-case ".exe" that ends a word, and their
    // arguments start at the second character after it; without a lower-case one they name no
    // executable. Every other entry names the longest prefix that ends at a blank or at the end of
    // the text and is an existing executable regular file; the arguments are the rest after that
    // blank. Linux programs have no extension, so only the file system can tell where a path with
    // blanks in its folder names ends.
    static ProgramEntry parse(const std::string& text);

    // The entry after "Cmd Line": the executable, one blank and the new arguments (just the
    // executable when they are empty, so no stray blank is stored).
    static std::string withArguments(const std::string& executable, const std::string& arguments);
};

// An existing regular file that this user may execute.
bool isExecutableFile(const std::string& path);

// Splits an argument text into words as a POSIX shell does, without running one: blanks separate
// words; single quotes keep everything up to the next single quote; double quotes keep everything
// but a backslash before \ " $ ` or a line end; a backslash outside quotes keeps the next
// character. Nothing is expanded: no $ variables, no globs, no ~. An unterminated quote runs to
// the end of the text.
std::vector<std::string> splitArguments(const std::string& text);

// A file the list must not take: the program itself. True when the file name is "kestrelon"
// (exact, case included) or the path resolves to the running executable.
bool isOwnExecutable(const std::string& path);

// The list's needed width in pixels: the larger of clientWidth and, over all entries,
// charWidth pixels per character plus 25 (the check box and margins). When it is larger than
// clientWidth it is the list's horizontal scroll extent.
int AdjustCheckListBox(const std::vector<std::string>& entries, int clientWidth, int charWidth = 6);

} // namespace kestrelon
