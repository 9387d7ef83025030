#include "streaming/StreamViewers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace kestrelon {

StreamViewers::Slot::Slot(Slot&& other) noexcept : m_owner(std::move(other.m_owner)), m_id(other.m_id)
{
    other.m_owner.reset();
}

StreamViewers::Slot& StreamViewers::Slot::operator=(Slot&& other) noexcept
{
    if (this != &other) {
        if (m_owner) {
            m_owner->release(m_id);
        }
        m_owner = std::move(other.m_owner);
        m_id = other.m_id;
        other.m_owner.reset();
    }
    return *this;
}

StreamViewers::Slot::~Slot()
{
    if (m_owner) {
        m_owner->release(m_id);
    }
}

bool StreamViewers::Slot::handOver(int fd, const std::string& peer)
{
    if (!m_owner) {
        ::close(fd);
        return false;
    }
    auto owner = std::move(m_owner);
    m_owner.reset();
    return owner->handOver(m_id, fd, peer);
}

StreamViewers::StreamViewers(int maxViewers) : m_maxViewers(maxViewers) {}

StreamViewers::Slot StreamViewers::reserve()
{
    std::lock_guard lock(m_mutex);
    if (!m_open || m_maxViewers <= 0 || int(m_entries.size()) >= m_maxViewers) {
        return {};
    }
    const uint64_t id = m_nextId++;
    m_entries.emplace(id, Entry{});
    return Slot(shared_from_this(), id);
}

bool StreamViewers::addViewer(int fd, const std::string& peer)
{
    Slot slot = reserve();
    return slot && slot.handOver(fd, peer);
}

bool StreamViewers::handOver(uint64_t id, int fd, const std::string& peer)
{
    std::shared_lock deliverLock(m_deliverMutex);
    {
        std::lock_guard lock(m_mutex);
        auto it = m_entries.find(id);
        if (!m_open || it == m_entries.end()) {
            if (it != m_entries.end()) {
                m_entries.erase(it);
            }
            ::close(fd);
            return false;
        }
        it->second.address = peer.empty() ? peerAddressText(fd) : peer;
        it->second.handed = true;
    }
    const bool delivered = m_deliver(fd, id);
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(id);
    // The sink announces a viewer it takes before the hand-over returns; one it did not announce
    // never reached it. One that has left already is gone from the book.
    if (it != m_entries.end() && (!delivered || !it->second.inSink)) {
        m_entries.erase(it);
        return false;
    }
    return delivered;
}

void StreamViewers::release(uint64_t id)
{
    std::lock_guard lock(m_mutex);
    auto it = m_entries.find(id);
    if (it != m_entries.end() && !it->second.handed) {
        m_entries.erase(it);
    }
}

void StreamViewers::added(uint64_t id)
{
    std::lock_guard lock(m_mutex);
    if (auto it = m_entries.find(id); it != m_entries.end()) {
        it->second.inSink = true;
    }
}

void StreamViewers::removed(uint64_t id)
{
    std::lock_guard lock(m_mutex);
    m_entries.erase(id);
}

std::vector<std::string> StreamViewers::addresses() const
{
    std::vector<std::string> list;
    std::lock_guard lock(m_mutex);
    for (const auto& [id, entry] : m_entries) {
        if (entry.inSink) {
            list.push_back(entry.address);
        }
    }
    return list;
}

int StreamViewers::count() const
{
    std::lock_guard lock(m_mutex);
    return int(m_entries.size());
}

void StreamViewers::open(Deliver deliver)
{
    std::unique_lock deliverLock(m_deliverMutex);
    std::lock_guard lock(m_mutex);
    m_deliver = std::move(deliver);
    m_open = true;
}

void StreamViewers::close()
{
    Deliver old;
    {
        std::unique_lock deliverLock(m_deliverMutex);
        std::lock_guard lock(m_mutex);
        m_open = false;
        old = std::move(m_deliver);
        m_deliver = nullptr;
        m_entries.clear();
    }
}

std::string peerAddressText(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    } else if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
            in_addr v4{};
            std::memcpy(&v4, in6->sin6_addr.s6_addr + 12, sizeof v4);
            ::inet_ntop(AF_INET, &v4, text, sizeof text);
        } else {
            ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        }
    }
    return text;
}

} // namespace kestrelon
