#include "core/LineLog.h"

#include "core/AsyncLineWriter.h"
#include "core/AtomicFile.h"
#include "core/DateTimePattern.h"
#include "core/Text.h"

#include <algorithm>
#include <cstring>
#include <ctime>

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

// A text from outside cannot forge lines: its control characters become "?".
void replaceControlCharacters(char* begin, char* end)
{
    copyWithoutControlChars(std::string_view(begin, static_cast<size_t>(end - begin)), begin);
}

// 16 bytes, copied as one word.
struct Word16 {
    uint64_t low;
    uint64_t high;
};

template <typename Word> void copyWord(const char* in, char* out)
{
    Word word;
    std::memcpy(&word, in, sizeof(Word));
    std::memcpy(out, &word, sizeof(Word));
}

// Copies n bytes, at least one Word and at most two, as a Word from the start and one that ends
// at the end (they overlap when n is less than two).
template <typename Word> void copyByTwoWords(const char* in, size_t n, char* out)
{
    copyWord<Word>(in, out);
    copyWord<Word>(in + n - sizeof(Word), out + n - sizeof(Word));
}

// Copies a piece of a line, most of which are a few bytes long: by words, without a call. Up to
// 64 bytes the copy stays inline. A call to memcpy for a piece of a few dozen bytes, on a thread
// that has just come back from the kernel (the I/O threads, after each send), finds its code and
// its jump not in the caches, and measured several times dearer than the copy itself (0.5 us and
// more per request with the web server's two lines). Returns the end of the copy.
char* copyPiece(std::string_view piece, char* out)
{
    const char* in = piece.data();
    const size_t n = piece.size();
    if (n > 64) {
        std::memcpy(out, in, n);
    } else if (n > 16) {
        // Whole words from the start, then one that ends at the end (it may overlap the last).
        for (size_t at = 0; at + 16 < n; at += 16) {
            copyWord<Word16>(in + at, out + at);
        }
        copyWord<Word16>(in + n - 16, out + n - 16);
    } else if (n >= 8) {
        copyByTwoWords<uint64_t>(in, n, out);
    } else if (n >= 4) {
        copyByTwoWords<uint32_t>(in, n, out);
    } else {
        for (size_t i = 0; i < n; ++i) {
            out[i] = in[i];
        }
    }
    return out + n;
}

// The stamps show whole seconds: the clock the kernel updates at each tick is fine for them, and
// it is read without the work of the precise one.
std::chrono::system_clock::time_point stampClock()
{
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::seconds(t.tv_sec) +
                                                                        std::chrono::nanoseconds(t.tv_nsec)));
}

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
    appendParts(&text, 1);
}

void LineLog::append(std::initializer_list<std::string_view> parts)
{
    appendParts(parts.begin(), parts.size());
}

void LineLog::appendParts(const std::string_view* parts, size_t count)
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
    static const std::string noStamp;
    const std::string* stampText = &noStamp;
    if (!m_options.stampPattern.empty()) {
        const auto now = m_options.clock ? m_options.clock() : stampClock();
        const int64_t second = std::chrono::floor<std::chrono::seconds>(now).time_since_epoch().count();
        thread_local StampCache cache;
        if (cache.logId != m_id || cache.second != second) {
            cache.logId = m_id;
            cache.second = second;
            cache.text = stamp(m_options.stampPattern, now) + m_options.stampSeparator;
        }
        stampText = &cache.text;
    }
    size_t textSize = 0;
    for (size_t i = 0; i < count; ++i) {
        textSize += parts[i].size();
    }
    const bool keep = m_keepsLines.load(std::memory_order_relaxed);
    const Mirror* mirror = m_mirror.load(std::memory_order_acquire);

    if (mirror && !keep && textSize <= kMaxLineBytes) {
        // A log that keeps no lines puts each one together where the writer keeps it: the pieces
        // are copied once.
        struct Line {
            const std::string& prefix;
            const std::string& stamp;
            const std::string_view* parts;
            size_t count;
        } pieces{mirror->prefix, *stampText, parts, count};
        mirror->writer->write(
            mirror->prefix.size() + stampText->size() + textSize,
            [](char* out, const void* context) {
                const auto& l = *static_cast<const Line*>(context);
                out = copyPiece(l.prefix, out);
                out = copyPiece(l.stamp, out);
                // The parts are copied as they are, then looked at in one pass: most of them
                // are a few bytes long, and one pass over the whole text checks it by words.
                char* const message = out;
                for (size_t i = 0; i < l.count; ++i) {
                    out = copyPiece(l.parts[i], out);
                }
                replaceControlCharacters(message, out);
            },
            &pieces);
        return;
    }

    // Put together in the thread's own buffer: a line costs no allocation.
    thread_local std::string line;
    line.clear();
    line.append(*stampText);
    const size_t messageAt = line.size();
    if (textSize <= kMaxLineBytes) {
        for (size_t i = 0; i < count; ++i) {
            line.append(parts[i]);
        }
    } else if (count == 1) {
        appendClipped(line, parts[0], kMaxLineBytes);
    } else {
        std::string text;
        text.reserve(textSize);
        for (size_t i = 0; i < count; ++i) {
            text.append(parts[i]);
        }
        appendClipped(line, text, kMaxLineBytes);
    }
    replaceControlCharacters(line.data() + messageAt, line.data() + line.size());
    // The mirror gets the line before the log keeps it, outside the lock: lines of one thread
    // keep their order in both, and the sink's own lock is never taken under this one.
    if (const Sink* sink = m_sink.load(std::memory_order_acquire)) {
        (*sink)(line);
    } else if (mirror) {
        mirror->writer->write(mirror->prefix, line);
    }
    // A log nobody reads takes no lock, copies nothing and sends no notice.
    if (keep) {
        std::lock_guard lock(m_mutex);
        if (overBounds()) {
            emptyLocked();
        }
        keepLocked(line);
    }
    if (line.capacity() > 4 * kMaxLineBytes) {
        std::string().swap(line);
    }
    if (keep) {
        notify();
    }
}

void LineLog::keepLocked(std::string_view line)
{
    // The text grows to what the bounds let it hold and keeps that room when it is emptied, so a
    // busy log does not allocate for its lines at all.
    const size_t need = m_text.size() + line.size();
    if (need > m_text.capacity()) {
        m_text.reserve(std::min(std::max(need, 2 * m_text.capacity()), kMaxBytes + 2 * kMaxLineBytes + 256));
        if (need > m_text.capacity()) {
            m_text.reserve(need);
        }
    }
    m_text.insert(m_text.end(), line.begin(), line.end());
    m_ends.push_back(m_text.size());
}

std::string LineLog::lineAt(size_t index) const
{
    const size_t begin = index == 0 ? 0 : m_ends[index - 1];
    return std::string(m_text.data() + begin, m_ends[index] - begin);
}

bool LineLog::overBounds() const
{
    return (m_options.lineLimit == LineLimit::BeforeEachLine && m_ends.size() > kMaxLines) ||
           m_text.size() > kMaxBytes;
}

bool LineLog::emptyIfFull()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_ends.size() <= kMaxLines) {
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
    m_text.clear();
    m_ends.clear();
    ++m_epoch;
}

std::vector<std::string> LineLog::lines() const
{
    m_notifyPending = false;
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    out.reserve(m_ends.size());
    for (size_t i = 0; i < m_ends.size(); ++i) {
        out.push_back(lineAt(i));
    }
    return out;
}

size_t LineLog::lineCount() const
{
    std::lock_guard lock(m_mutex);
    return m_ends.size();
}

LineLog::Tail LineLog::linesSince(uint64_t epoch, size_t shown) const
{
    m_notifyPending = false;
    std::lock_guard lock(m_mutex);
    Tail tail;
    tail.epoch = m_epoch;
    tail.first = (epoch == m_epoch && shown <= m_ends.size()) ? shown : 0;
    tail.lines.reserve(m_ends.size() - tail.first);
    for (size_t i = tail.first; i < m_ends.size(); ++i) {
        tail.lines.push_back(lineAt(i));
    }
    return tail;
}

LineLog::Position LineLog::position() const
{
    std::lock_guard lock(m_mutex);
    return {m_epoch, m_ends.size()};
}

Outcome LineLog::save(const std::string& path) const
{
    std::string text;
    {
        std::lock_guard lock(m_mutex);
        text.reserve(m_text.size() + m_ends.size());
        size_t begin = 0;
        for (size_t end : m_ends) {
            text.append(m_text.data() + begin, end - begin).push_back('\n');
            begin = end;
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
    std::lock_guard lock(m_mutex);
    m_mirror.store(nullptr, std::memory_order_release);
    if (!sink) {
        m_sink.store(nullptr, std::memory_order_release);
        return;
    }
    m_sinks.push_back(std::make_unique<const Sink>(std::move(sink)));
    m_sink.store(m_sinks.back().get(), std::memory_order_release);
}

void LineLog::setKeepsLines(bool keeps)
{
    {
        std::lock_guard lock(m_mutex);
        m_keepsLines.store(keeps);
        if (!keeps) {
            emptyLocked();
            std::vector<char>().swap(m_text);
            std::vector<size_t>().swap(m_ends);
        }
    }
    notify();
}

void LineLog::mirrorTo(std::shared_ptr<AsyncLineWriter> writer, std::string prefix)
{
    if (!writer) {
        return setSink({});
    }
    std::lock_guard lock(m_mutex);
    m_sink.store(nullptr, std::memory_order_release);
    m_mirrors.push_back(std::make_unique<const Mirror>(Mirror{std::move(writer), std::move(prefix)}));
    m_mirror.store(m_mirrors.back().get(), std::memory_order_release);
}

void LineLog::notify()
{
    // Read first: while a notice is pending (nobody has read yet), a line writes nothing shared.
    if (!m_notifyPending.load(std::memory_order_relaxed) && !m_notifyPending.exchange(true)) {
        Q_EMIT changed();
    }
}

} // namespace kestrelon
