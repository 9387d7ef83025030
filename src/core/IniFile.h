#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrelon {

// The text of an INI file, kept line by line so that a rewrite changes only the keys written:
// comments, blank lines, unknown keys and sections stay as they were.
// Section and key names match without regard to case; a key's value is the text after the first
// "=" of its line. Where a section or key stands twice, the first one counts. A UTF-8 byte
// order mark at the start is skipped when reading and written again.
// Not thread-safe: one owner at a time.
class IniFile {
public:
    static constexpr size_t kMaxValue = 2047;      // longer values are cut when read
    static constexpr size_t kKeyNameBytes = 16384; // key names of a section read, each + 1 byte

    IniFile() = default;
    explicit IniFile(std::string_view text);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // The key names of a section in file order, blanks around them removed, as many as fit into
    // kKeyNameBytes with one terminating byte each.
    std::vector<std::string> keyNames(std::string_view section) const;
    // The keys of a section with their own values, in file order, under the same limit as
    // keyNames. Unlike value(), two keys that differ only in letter case each keep their value.
    std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;
    bool hasSection(std::string_view section) const;
    // The names of the sections in file order.
    std::vector<std::string> sectionNames() const;
    // Whether any line is a section or a key: a file of blanks and comments has none.
    bool hasContent() const;
    // False when the text ends in the middle of a line.
    bool endsWithLineBreak() const;

    // Replaces the key's value in place, else adds the key at the end of its section, else adds
    // the section at the end of the file. Line feeds in the value, and carriage returns at its
    // end, become blanks: what the reader could not give back as written.
    void setValue(std::string_view section, std::string_view key, std::string_view value);
    // Adds the key at the end of its section (or a new section) even when the section has a key
    // of that name already: for lists whose keys are the entries themselves.
    void appendValue(std::string_view section, std::string_view key, std::string_view value);
    void eraseSection(std::string_view section);

    std::string text() const;

private:
    struct Line {
        std::string text;
        bool isSection = false;
        std::string name; // section name, or key name of a "key=value" line
        bool isKey = false;
    };
    static Line parseLine(std::string text);
    // Index of the first section's header with this name, or -1.
    long findSection(std::string_view section) const;
    // Index of the line after the section's last line (the next header or the end).
    size_t sectionEnd(size_t header) const;

    std::vector<Line> m_lines;
    std::string m_newline = "\n";
    bool m_finalNewline = true;
    bool m_byteOrderMark = false;
};

} // namespace kestrelon
