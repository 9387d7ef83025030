#include "camera/UploadLog.h"

#include "core/AtomicFile.h"

namespace kestrelon {

void UploadLog::append(const std::string& line)
{
    m_lines.push_back(line);
    if (m_sink) {
        m_sink(line);
    }
    Q_EMIT lineAppended(QString::fromStdString(line));
}

bool UploadLog::save(const std::string& path) const
{
    std::string text;
    for (const std::string& line : m_lines) {
        text += line;
        text += '\n';
    }
    std::string error;
    return replaceFileAtomically(path, text, 0644, true, error);
}

void UploadLog::clear()
{
    m_lines.clear();
    Q_EMIT cleared();
}

} // namespace kestrelon
