#include "camera/UploadLog.h"

namespace kestrelon {

void UploadLog::append(const std::string& line)
{
    m_lines.push_back(line);
    if (m_sink) {
        m_sink(line);
    }
    Q_EMIT lineAppended(QString::fromStdString(line));
}

void UploadLog::clear()
{
    m_lines.clear();
    Q_EMIT cleared();
}

} // namespace kestrelon
