#pragma once

#include <chrono>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace kestrelon {

// The host name of an IPv4 address by reverse lookup (getnameinfo with NI_NAMEREQD); empty when
// none is found. Blocks while the resolver works.
std::string reverseLookup(const std::string& address);

// Remembers reverse lookups so a busy client does not cost a resolver call per request.
// Names found are kept longer than misses; the least recently used entry goes when full.
// Thread-safe.
class ReverseLookupCache {
public:
    using Clock = std::chrono::steady_clock;

    explicit ReverseLookupCache(size_t capacity = 4096,
                                Clock::duration positiveTtl = std::chrono::minutes(10),
                                Clock::duration negativeTtl = std::chrono::minutes(1));

    // The cached name ("" for a cached miss), or nothing when the address is unknown or expired.
    std::optional<std::string> find(const std::string& address, Clock::time_point now = Clock::now());
    void store(const std::string& address, std::string host, Clock::time_point now = Clock::now());
    size_t size() const;

private:
    struct Entry {
        std::string host;
        Clock::time_point expires;
        std::list<std::string>::iterator lru;
    };
    size_t m_capacity;
    Clock::duration m_positiveTtl;
    Clock::duration m_negativeTtl;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
    std::list<std::string> m_lru; // most recently used first
};

} // namespace kestrelon
