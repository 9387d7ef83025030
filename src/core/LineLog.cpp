#include "core/LineLog.h"

#include "core/AsyncLineWriter.h"
#include "core/AtomicFile.h"
#include "core/DateTimePattern.h"
#include "core/Text.h"

namespace kestrelon {

LineLog::LineLog(Options options, QObject* parent) : QObject(parent), m_options(std::move(options)) {}

std::string LineLog::stamp(std::string_view pattern, std::chrono::system_clock::time_point time)
{
    return formatDateTime(pattern, DateTimeParts::fromLocalTime(time));
}

void LineLog::append(std::string_view text)
{
    const bool enabled = m_options.enabled ? m_options.enabled() : true;
    std::string message = withoutControlChars(clippedText(text, kMaxLineBytes));
    std::shared_ptr<const std::function<void(const std::string&)>> sink;
    std::string sinkLine;
    bool emptied = false;
    {
        std::lock_guard lock(m_mutex);
        // The bounds apply even while the log is off.
        if ((m_options.lineLimit == LineLimit::BeforeEachLine && m_lines.size() > kMaxLines) ||
            m_bytes > kMaxBytes) {
            emptyLocked();
            emptied = true;
        }
        if (enabled) {
            std::string line;
            if (!m_options.stampPattern.empty()) {
                const auto now = m_options.clock ? m_options.clock() : std::chrono::system_clock::now();
                const int64_t second =
                    std::chrono::floor<std::chrono::seconds>(now).time_since_epoch().count();
                // One stamp a second: formatting it is the dearest part of a line.
                if (second != m_stampSecond) {
                    m_stampSecond = second;
                    m_stampText = stamp(m_options.stampPattern, now) + m_options.stampSeparator;
                }
                line.reserve(m_stampText.size() + message.size());
                line.append(m_stampText).append(message);
            } else {
                line = std::move(message);
            }
            m_bytes += line.size();
            if (m_sink) {
                sink = m_sink;
                sinkLine = line;
            }
            m_lines.push_back(std::move(line));
        }
    }
    if (sink) {
        (*sink)(sinkLine);
    }
    if (enabled || emptied) {
        notify();
    }
}

bool LineLog::emptyIfFull()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_lines.size() <= kMaxLines) {
            return false;
        }
        emptyLocked();
    }
    notify();
    return true;
}

void LineLog::clear()
{
    {
        std::lock_guard lock(m_mutex);
        emptyLocked();
    }
    notify();
}

void LineLog::emptyLocked()
{
    m_lines.clear();
    m_bytes = 0;
    ++m_epoch;
}

std::vector<std::string> LineLog::lines() const
{
    m_notifyPending = false;
    std::lock_guard lock(m_mutex);
    return m_lines;
}

size_t LineLog::lineCount() const
{
    std::lock_guard lock(m_mutex);
    return m_lines.size();
}

LineLog::Tail LineLog::linesSince(uint64_t epoch, size_t shown) const
{
    m_notifyPending = false;
    std::lock_guard lock(m_mutex);
    Tail tail;
    tail.epoch = m_epoch;
    tail.first = (epoch == m_epoch && shown <= m_lines.size()) ? shown : 0;
    tail.lines.assign(m_lines.begin() + static_cast<long>(tail.first), m_lines.end());
    return tail;
}

LineLog::Position LineLog::position() const
{
    std::lock_guard lock(m_mutex);
    return {m_epoch, m_lines.size()};
}

Outcome LineLog::save(const std::string& path) const
{
    std::string text;
    {
        std::lock_guard lock(m_mutex);
        text.reserve(m_bytes + m_lines.size());
        for (const std::string& line : m_lines) {
            text.append(line).push_back('\n');
        }
    }
    std::string error;
    if (!replaceFileAtomically(path, text, 0644, /*keepMode=*/true, error)) {
        return Outcome::failure(error);
    }
    return {};
}

void LineLog::setSink(std::function<void(const std::string&)> sink)
{
    auto shared =
        sink ? std::make_shared<const std::function<void(const std::string&)>>(std::move(sink)) : nullptr;
    std::lock_guard lock(m_mutex);
    m_sink = std::move(shared);
}

void LineLog::mirrorTo(std::shared_ptr<AsyncLineWriter> writer, std::string prefix)
{
    if (!writer) {
        return setSink({});
    }
    setSink([writer = std::move(writer), prefix = std::move(prefix)](const std::string& line) {
        writer->write(prefix + line);
    });
}

void LineLog::notify()
{
    if (!m_notifyPending.exchange(true)) {
        Q_EMIT changed();
    }
}

} // namespace kestrelon
