#include "timecheck/TimeLog.h"

namespace kestrelon {

void TimeLog::append(const std::string& line)
{
    if (m_lines.size() > kMaxLines) {
        clear();
    }
    m_lines.push_back(line);
    if (m_sink) {
        m_sink(line);
    }
    Q_EMIT lineAppended(QString::fromStdString(line));
}

void TimeLog::clear()
{
    m_lines.clear();
    Q_EMIT cleared();
}

} // namespace kestrelon
