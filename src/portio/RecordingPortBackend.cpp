#include "portio/RecordingPortBackend.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kestrelon {

RecordingPortBackend::RecordingPortBackend(std::string recordFile) : m_file(std::move(recordFile))
{
    if (!m_file.empty()) {
        m_fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
}

RecordingPortBackend::~RecordingPortBackend()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool RecordingPortBackend::write(uint16_t address, uint8_t value, std::string& error)
{
    std::lock_guard lock(m_mutex);
    m_recent.emplace_back(address, value);
    if (m_recent.size() > kKeptWrites) {
        m_recent.pop_front();
    }
    if (m_file.empty()) {
        return true;
    }
    if (m_fd < 0) {
        error = "Cannot open " + m_file;
        return false;
    }
    char line[32];
    int n = std::snprintf(line, sizeof line, "%04X %u\n", address, unsigned{value});
    // O_APPEND and one write per line: lines from several writers never mix.
    if (::write(m_fd, line, n) != n) {
        error = "Cannot write to " + m_file + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string RecordingPortBackend::description() const
{
    if (m_file.empty()) {
        return "no parallel port present, writes are only recorded";
    }
    return "recording to " + m_file;
}

std::deque<std::pair<uint16_t, uint8_t>> RecordingPortBackend::recentWrites() const
{
    std::lock_guard lock(m_mutex);
    return m_recent;
}

} // namespace kestrelon
