#include "web/ReverseLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

namespace kestrelon {

std::string reverseLookup(const std::string& address)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &in.sin_addr) != 1) {
        return {};
    }
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0) {
        return {};
    }
    return host;
}

ReverseLookupCache::ReverseLookupCache(size_t capacity, Clock::duration positiveTtl,
                                       Clock::duration negativeTtl)
    : m_capacity(capacity ? capacity : 1), m_positiveTtl(positiveTtl), m_negativeTtl(negativeTtl)
{
}

std::optional<std::string> ReverseLookupCache::find(const std::string& address, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(address);
    if (it == m_entries.end()) {
        return std::nullopt;
    }
    if (now >= it->second.expires) {
        m_lru.erase(it->second.lru);
        m_entries.erase(it);
        return std::nullopt;
    }
    m_lru.splice(m_lru.begin(), m_lru, it->second.lru);
    return it->second.host;
}

void ReverseLookupCache::store(const std::string& address, std::string host, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    auto expires = now + (host.empty() ? m_negativeTtl : m_positiveTtl);
    if (auto it = m_entries.find(address); it != m_entries.end()) {
        it->second.host = std::move(host);
        it->second.expires = expires;
        m_lru.splice(m_lru.begin(), m_lru, it->second.lru);
        return;
    }
    if (m_entries.size() >= m_capacity) {
        m_entries.erase(m_lru.back());
        m_lru.pop_back();
    }
    m_lru.push_front(address);
    m_entries.emplace(address, Entry{std::move(host), expires, m_lru.begin()});
}

size_t ReverseLookupCache::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

} // namespace kestrelon
