#include "core/LineLog.h"

#include "core/AsyncLineWriter.h"
#include "core/AtomicFile.h"
#include "core/DateTimePattern.h"
#include "core/Text.h"

namespace kestrelon {

namespace {

std::atomic<uint64_t> nextLogId{1};

// Each thread keeps the stamp text of the second it last logged in, per log: formatting it is the
// dearest part of a line, and the lock is not needed for it.
struct StampCache {
    uint64_t logId = 0;
    int64_t second = INT64_MIN;
    std::string text; // with its separator
};

} // namespace

LineLog::LineLog(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_id(nextLogId.fetch_add(1))
{
}

std::string LineLog::stamp(std::string_view pattern, std::chrono::system_clock::time_point time)
{
    return formatDateTime(pattern, DateTimeParts::fromLocalTime(time));
}

void LineLog::append(std::string_view text)
{
    const bool enabled = m_options.enabled ? m_options.enabled() : true;
    if (!enabled) {
        // No line is made; the bounds apply even while the log is off.
        bool emptied = false;
        {
            std::lock_guard lock(m_mutex);
            if (overBounds()) {
                emptyLocked();
                emptied = true;
            }
        }
        if (emptied) {
            notify();
        }
        return;
    }

    // The line is put together before the lock is taken, which is held only to add it.
    std::string line;
    if (!m_options.stampPattern.empty()) {
        const auto now = m_options.clock ? m_options.clock() : std::chrono::system_clock::now();
        const int64_t second = std::chrono::floor<std::chrono::seconds>(now).time_since_epoch().count();
        thread_local StampCache cache;
        if (cache.logId != m_id || cache.second != second) {
            cache.logId = m_id;
            cache.second = second;
            cache.text = stamp(m_options.stampPattern, now) + m_options.stampSeparator;
        }
        line = cache.text;
    }
    const size_t messageAt = line.size();
    if (text.size() <= kMaxLineBytes) {
        line.append(text);
    } else {
        line.append(clippedText(text, kMaxLineBytes));
    }
    for (size_t i = messageAt; i < line.size(); ++i) {
        const auto u = static_cast<unsigned char>(line[i]);
        if (u < 0x20 || u == 0x7F) {
            line[i] = '?'; // a text from outside cannot forge lines
        }
    }
    const bool mirrored = m_mirrored.load(std::memory_order_relaxed);
    std::string sinkLine;
    if (mirrored) {
        sinkLine = line;
    }
    std::shared_ptr<const std::function<void(const std::string&)>> sink;
    {
        std::lock_guard lock(m_mutex);
        if (overBounds()) {
            emptyLocked();
        }
        m_bytes += line.size();
        m_lines.push_back(std::move(line));
        if (mirrored) {
            sink = m_sink;
        }
    }
    if (sink) {
        (*sink)(sinkLine);
    }
    notify();
}

bool LineLog::overBounds() const
{
    return (m_options.lineLimit == LineLimit::BeforeEachLine && m_lines.size() > kMaxLines) ||
           m_bytes > kMaxBytes;
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
    m_mirrored = shared != nullptr;
    m_sink = std::move(shared);
}

void LineLog::mirrorTo(std::shared_ptr<AsyncLineWriter> writer, std::string prefix)
{
    if (!writer) {
        return setSink({});
    }
    setSink([writer = std::move(writer), prefix = std::move(prefix)](const std::string& line) {
        writer->write(prefix, line);
    });
}

void LineLog::notify()
{
    if (!m_notifyPending.exchange(true)) {
        Q_EMIT changed();
    }
}

} // namespace kestrelon
