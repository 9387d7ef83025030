#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace kestrelon {

// The time log: one line per check, kept in memory until cleared. The time check writes it from
// the main thread only (its worker reports back by queued calls), so it needs no lock; unlike
// the server's Message log its lines carry no time stamp of their own. Main thread only.
class TimeLog : public QObject {
    Q_OBJECT
public:
    static constexpr size_t kMaxLines = 32000;

    using QObject::QObject;

    // Appends a line; a log that holds more than kMaxLines lines is emptied first.
    void append(const std::string& line);
    void clear();

    const std::vector<std::string>& lines() const { return m_lines; }
    size_t lineCount() const { return m_lines.size(); }

    // Each appended line is handed to the sink too (the headless mirror on standard error).
    void setSink(std::function<void(const std::string& line)> sink) { m_sink = std::move(sink); }

Q_SIGNALS:
    // Emptied by the line limit just before an append: cleared(), then lineAppended().
    void cleared();
    void lineAppended(const QString& line);

private:
    std::vector<std::string> m_lines;
    std::function<void(const std::string&)> m_sink;
};

} // namespace kestrelon
