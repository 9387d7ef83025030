#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace kestrelon {

// The upload log: stamped lines kept in memory until cleared. Main thread only.
class UploadLog : public QObject {
    Q_OBJECT
public:
    static constexpr size_t kMaxLines = 32000;

    using QObject::QObject;

    void append(const std::string& line);
    void clear();
    const std::vector<std::string>& lines() const { return m_lines; }
    size_t lineCount() const { return m_lines.size(); }
    // Writes the lines to path, one a line, replacing the file in one step. False when it cannot.
    bool save(const std::string& path) const;
    // Each appended line is handed to the sink too (the headless mirror on standard error).
    void setSink(std::function<void(const std::string& line)> sink) { m_sink = std::move(sink); }

Q_SIGNALS:
    void cleared();
    void lineAppended(const QString& line);

private:
    std::vector<std::string> m_lines;
    std::function<void(const std::string&)> m_sink;
};

} // namespace kestrelon
