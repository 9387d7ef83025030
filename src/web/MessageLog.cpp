#include "web/MessageLog.h"

#include "core/DateTimePattern.h"

#include <chrono>

namespace kestrelon {

std::string withoutControlChars(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            c = '?';
        }
    }
    return out;
}

MessageLog::MessageLog(std::function<bool()> enabled, QObject* parent)
    : QObject(parent), m_enabled(std::move(enabled))
{
}

std::string MessageLog::stamp(int64_t epochSeconds)
{
    // The locale's short date, a blank, its long time.
    auto moment = std::chrono::system_clock::time_point(std::chrono::seconds(epochSeconds));
    return formatDateTime("ddddd tt", DateTimeParts::fromLocalTime(moment));
}

void MessageLog::DisplayMessage(std::string_view text)
{
    bool enabled = m_enabled ? m_enabled() : true;
    std::string message = withoutControlChars(text);
    {
        std::lock_guard lock(m_mutex);
        // The limit applies even while logging is off.
        if (m_lines.size() > kMaxLines) {
            m_lines.clear();
            ++m_epoch;
        }
        if (!enabled) {
            return;
        }
        int64_t now = std::time(nullptr);
        if (now != m_stampSecond) {
            m_stampSecond = now;
            m_stampText = stamp(now);
        }
        std::string line;
        line.reserve(m_stampText.size() + 3 + message.size());
        line.append(m_stampText).append("   ").append(message);
        if (m_sink) {
            m_sink(line);
        }
        m_lines.push_back(std::move(line));
    }
    notify();
}

void MessageLog::setSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard lock(m_mutex);
    m_sink = std::move(sink);
}

std::vector<std::string> MessageLog::lines() const
{
    m_notifyPending = false;
    std::lock_guard lock(m_mutex);
    return m_lines;
}

MessageLog::Tail MessageLog::linesSince(uint64_t epoch, size_t shown) const
{
    m_notifyPending = false;
    std::lock_guard lock(m_mutex);
    Tail tail;
    tail.epoch = m_epoch;
    tail.first = (epoch == m_epoch && shown <= m_lines.size()) ? shown : 0;
    tail.lines.assign(m_lines.begin() + static_cast<long>(tail.first), m_lines.end());
    return tail;
}

size_t MessageLog::lineCount() const
{
    std::lock_guard lock(m_mutex);
    return m_lines.size();
}

void MessageLog::clear()
{
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
        ++m_epoch;
    }
    notify();
}

void MessageLog::notify()
{
    if (!m_notifyPending.exchange(true)) {
        Q_EMIT changed();
    }
}

} // namespace kestrelon
