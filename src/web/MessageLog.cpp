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

std::string clippedText(std::string_view text, size_t maxBytes)
{
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    size_t keep = maxBytes;
    // Back off UTF-8 continuation bytes, so the kept part ends on a whole character.
    for (int i = 0; i < 3 && keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80; ++i) {
        --keep;
    }
    return std::string(text.substr(0, keep)) + "[... " + std::to_string(text.size() - keep) + " bytes cut]";
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
    std::string message = withoutControlChars(clippedText(text, kMaxMessageBytes));
    std::shared_ptr<const std::function<void(const std::string&)>> sink;
    std::string sinkLine;
    {
        std::lock_guard lock(m_mutex);
        // The limits apply even while logging is off.
        if (m_lines.size() > kMaxLines || m_bytes > kMaxBytes) {
            m_lines.clear();
            m_bytes = 0;
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
        m_bytes += line.size();
        if (m_sink) {
            sink = m_sink;
            sinkLine = line;
        }
        m_lines.push_back(std::move(line));
    }
    if (sink) {
        (*sink)(sinkLine);
    }
    notify();
}

void MessageLog::setSink(std::function<void(const std::string&)> sink)
{
    auto shared =
        sink ? std::make_shared<const std::function<void(const std::string&)>>(std::move(sink)) : nullptr;
    std::lock_guard lock(m_mutex);
    m_sink = std::move(shared);
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
        m_bytes = 0;
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
