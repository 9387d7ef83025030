#include "core/IniFile.h"

#include "core/Text.h"

#include <cctype>

namespace kestrelon {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// A value as one line that reads back the same: a line feed would end the line and a carriage
// return at its end is taken for part of the line end, so both become blanks. A carriage return
// inside the value is kept; the reader keeps it too.
std::string oneLine(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c == '\n') {
            c = ' ';
        }
    }
    for (size_t i = out.size(); i > 0 && out[i - 1] == '\r'; --i) {
        out[i - 1] = ' ';
    }
    return out;
}

} // namespace

IniFile::IniFile(std::string_view text)
{
    // An editor's byte order mark would otherwise become part of the first section's name.
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        m_byteOrderMark = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    if (text.find("\r\n") != std::string_view::npos) {
        m_newline = "\r\n";
    }
    m_finalNewline = text.empty() || text.back() == '\n';
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        // Every CR before the line end goes: a stray one would otherwise turn into a CR LF
        // line end when the file is written.
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        m_lines.push_back(parseLine(std::string(line)));
    }
}

IniFile::Line IniFile::parseLine(std::string text)
{
    Line line;
    std::string_view t = trimBlanks(text);
    size_t close = t.find(']');
    if (!t.empty() && t.front() == '[' && close != std::string_view::npos) {
        line.isSection = true;
        line.name = std::string(trimBlanks(t.substr(1, close - 1)));
    } else if (!t.empty() && t.front() != ';' && t.front() != '#') {
        size_t eq = t.find('=');
        if (eq != std::string_view::npos) {
            line.isKey = true;
            line.name = std::string(trimBlanks(t.substr(0, eq)));
        }
    }
    line.text = std::move(text);
    return line;
}

long IniFile::findSection(std::string_view section) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].isSection && equalsIgnoreCase(m_lines[i].name, section)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

size_t IniFile::sectionEnd(size_t header) const
{
    size_t i = header + 1;
    while (i < m_lines.size() && !m_lines[i].isSection) {
        ++i;
    }
    return i;
}

bool IniFile::hasSection(std::string_view section) const
{
    return findSection(section) >= 0;
}

std::vector<std::string> IniFile::sectionNames() const
{
    std::vector<std::string> names;
    for (const Line& line : m_lines) {
        if (line.isSection) {
            names.push_back(line.name);
        }
    }
    return names;
}

bool IniFile::hasContent() const
{
    for (const Line& line : m_lines) {
        if (line.isSection || line.isKey) {
            return true;
        }
    }
    return false;
}

bool IniFile::endsWithLineBreak() const
{
    return m_finalNewline;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const
{
    long header = findSection(section);
    if (header < 0) {
        return std::nullopt;
    }
    size_t end = sectionEnd(static_cast<size_t>(header));
    for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
        const Line& line = m_lines[i];
        if (line.isKey && equalsIgnoreCase(line.name, key)) {
            std::string value = line.text.substr(line.text.find('=') + 1);
            if (value.size() > kMaxValue) {
                value.resize(kMaxValue);
            }
            return value;
        }
    }
    return std::nullopt;
}

std::vector<std::string> IniFile::keyNames(std::string_view section) const
{
    std::vector<std::string> names;
    for (auto& entry : entries(section)) {
        names.push_back(std::move(entry.first));
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> IniFile::entries(std::string_view section) const
{
    std::vector<std::pair<std::string, std::string>> out;
    long header = findSection(section);
    if (header < 0) {
        return out;
    }
    size_t used = 0;
    size_t end = sectionEnd(static_cast<size_t>(header));
    for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
        const Line& line = m_lines[i];
        if (!line.isKey || line.name.empty()) {
            continue;
        }
        if (used + line.name.size() + 1 > kKeyNameBytes) {
            break;
        }
        used += line.name.size() + 1;
        std::string value = line.text.substr(line.text.find('=') + 1);
        if (value.size() > kMaxValue) {
            value.resize(kMaxValue);
        }
        out.emplace_back(line.name, std::move(value));
    }
    return out;
}

void IniFile::appendValue(std::string_view section, std::string_view key, std::string_view value)
{
    // Blanks around a key are lost when it is read, so they are not written either.
    Line line = parseLine(std::string(trimBlanks(oneLine(key))) + "=" + oneLine(value));
    long header = findSection(section);
    if (header < 0) {
        m_lines.push_back(parseLine("[" + std::string(section) + "]"));
        m_lines.push_back(std::move(line));
        return;
    }
    // New keys go after the section's last non-blank line, before blank lines that separate it
    // from the next section.
    size_t end = sectionEnd(static_cast<size_t>(header));
    size_t lastContent = static_cast<size_t>(header);
    for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
        if (!trimBlanks(m_lines[i].text).empty()) {
            lastContent = i;
        }
    }
    m_lines.insert(m_lines.begin() + static_cast<long>(lastContent) + 1, std::move(line));
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    long header = findSection(section);
    if (header >= 0) {
        const std::string keyText(trimBlanks(oneLine(key)));
        size_t end = sectionEnd(static_cast<size_t>(header));
        for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
            Line& line = m_lines[i];
            if (line.isKey && equalsIgnoreCase(line.name, keyText)) {
                // Keep the key as the file spells it; only the value changes.
                line.text = line.text.substr(0, line.text.find('=') + 1) + oneLine(value);
                return;
            }
        }
    }
    appendValue(section, key, value);
}

void IniFile::eraseSection(std::string_view section)
{
    long header;
    while ((header = findSection(section)) >= 0) {
        size_t end = sectionEnd(static_cast<size_t>(header));
        m_lines.erase(m_lines.begin() + header, m_lines.begin() + static_cast<long>(end));
    }
}

std::string IniFile::text() const
{
    std::string out(m_byteOrderMark ? kByteOrderMark : std::string_view{});
    for (size_t i = 0; i < m_lines.size(); ++i) {
        out += m_lines[i].text;
        if (i + 1 < m_lines.size() || m_finalNewline) {
            out += m_newline;
        }
    }
    return out;
}

} // namespace kestrelon
