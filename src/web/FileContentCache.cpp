#include "web/FileContentCache.h"

#include <cerrno>
#include <chrono>
#include <functional>
#include <unistd.h>

namespace kestrelon {

namespace {

// Whether the file's contents were last written a second or more ago: a write within the time
// stamps' resolution after it was read could not be told apart otherwise. (Any later write moves
// the mtime on; a change of the times themselves moves the ctime.)
bool settled(const FileVersion& version)
{
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    return now - version.modified >= 1'000'000'000;
}

} // namespace

std::shared_ptr<const std::string> FileContentCache::contents(int fd, const FileVersion& version)
{
    if (version.size > kMaxFileBytes) {
        return nullptr;
    }
    const uint64_t key = keyOf(version);
    {
        std::lock_guard lock(m_mutex);
        auto it = m_entries.find(key);
        if (it != m_entries.end()) {
            if (it->second.version == version) {
                m_lru.splice(m_lru.begin(), m_lru, it->second.lru);
                return it->second.data;
            }
            m_total -= it->second.data->size();
            m_lru.erase(it->second.lru);
            m_entries.erase(it);
        }
    }
    if (!settled(version)) {
        return nullptr;
    }
    auto data = std::make_shared<std::string>(version.size, '\0');
    size_t done = 0;
    while (done < data->size()) {
        const ssize_t n = ::pread(fd, data->data() + done, data->size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return nullptr; // shorter than its size said: it is changing
        }
        done += static_cast<size_t>(n);
    }
    char extra;
    if (::pread(fd, &extra, 1, static_cast<off_t>(done)) != 0) {
        return nullptr; // longer: it is changing
    }
    std::lock_guard lock(m_mutex);
    if (m_entries.count(key) || data->size() > m_maxTotal) {
        return data;
    }
    while (m_total + data->size() > m_maxTotal && !m_lru.empty()) {
        auto last = m_entries.find(m_lru.back());
        m_total -= last->second.data->size();
        m_entries.erase(last);
        m_lru.pop_back();
    }
    m_lru.push_front(key);
    m_entries.emplace(key, Entry{version, data, m_lru.begin()});
    m_total += data->size();
    return data;
}

std::shared_ptr<const std::string> FileContentCache::kept(const FileVersion& version)
{
    if (version.size > kMaxFileBytes) {
        return nullptr;
    }
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(keyOf(version));
    if (it == m_entries.end() || !(it->second.version == version)) {
        return nullptr;
    }
    m_lru.splice(m_lru.begin(), m_lru, it->second.lru);
    return it->second.data;
}

uint64_t FileContentCache::hintOf(std::string_view root, std::string_view document)
{
    const uint64_t h = std::hash<std::string_view>{}(document) * 0x9E3779B97F4A7C15ull ^
                       std::hash<std::string_view>{}(root);
    return h | 1; // 0 is an empty slot
}

bool FileContentCache::mayHold(std::string_view root, std::string_view document) const
{
    const uint64_t hint = hintOf(root, document);
    return m_hints[hint % kHintSlots].load(std::memory_order_relaxed) == hint;
}

void FileContentCache::heldFor(std::string_view root, std::string_view document)
{
    const uint64_t hint = hintOf(root, document);
    auto& slot = m_hints[hint % kHintSlots];
    if (slot.load(std::memory_order_relaxed) != hint) {
        slot.store(hint, std::memory_order_relaxed);
    }
}

size_t FileContentCache::totalBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_total;
}

} // namespace kestrelon
