#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kestrelon {

// What identifies one version of a file on disk: its identity, size and change times (with
// nanoseconds), from the fstat of the open file.
struct FileVersion {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modified = 0; // mtime, nanoseconds since the epoch
    int64_t changed = 0;  // ctime, nanoseconds since the epoch
    bool operator==(const FileVersion&) const = default;
};

// The contents of small files that are served often, kept in memory so a request costs no read
// of the file. Each use checks the version of the open file against the one the contents were
// read for, so a file that changed is read again at once. A file written in the last second is
// not kept: a second write within the time stamps' resolution could not be told apart. The
// least recently used files go first when the cache is full. Any thread.
class FileContentCache {
public:
    static constexpr uint64_t kMaxFileBytes = 64 * 1024;
    static constexpr size_t kMaxTotalBytes = 4 * 1024 * 1024;

    explicit FileContentCache(size_t maxTotalBytes = kMaxTotalBytes) : m_maxTotal(maxTotalBytes) {}

    // The contents of the open file fd at this version: from memory, or read now and kept when
    // the file qualifies. Nothing when the file is too large or cannot be read in full (it
    // changed while read): the caller sends it from disk.
    std::shared_ptr<const std::string> contents(int fd, const FileVersion& version);
    // The contents kept for exactly this version, without touching the file; nothing otherwise.
    std::shared_ptr<const std::string> kept(const FileVersion& version);

    // Whether a request for this document under this root found its contents here before: only
    // then is a stat of the path worth making before the file is opened. A hint, without a lock: a
    // document that no longer leads to kept contents costs that one stat, and one that is not
    // known costs nothing but the usual open.
    bool mayHold(std::string_view root, std::string_view document) const;
    // Remembers that the document's contents came from here (contents() gave them).
    void heldFor(std::string_view root, std::string_view document);

    size_t totalBytes() const;

private:
    struct Entry {
        FileVersion version;
        std::shared_ptr<const std::string> data;
        std::list<uint64_t>::iterator lru;
    };
    static uint64_t keyOf(const FileVersion& v) { return v.inode * 1000003u ^ v.device; }

    // The documents' hints: one hash a slot, a later document taking the slot of an earlier one.
    static constexpr size_t kHintSlots = 4096;
    static uint64_t hintOf(std::string_view root, std::string_view document);
    std::array<std::atomic<uint64_t>, kHintSlots> m_hints{};

    const size_t m_maxTotal;
    mutable std::mutex m_mutex;
    std::unordered_map<uint64_t, Entry> m_entries;
    std::list<uint64_t> m_lru; // most recently used first
    size_t m_total = 0;
};

} // namespace kestrelon
