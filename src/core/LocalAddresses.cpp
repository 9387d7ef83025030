#include "core/LocalAddresses.h"

#include <algorithm>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrelon {

std::vector<std::string> interfaceAddresses()
{
    std::vector<std::string> list;
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) {
        return list;
    }
    for (ifaddrs* i = all; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || (i->ifa_flags & IFF_LOOPBACK)) {
            continue;
        }
        char text[INET_ADDRSTRLEN];
        auto* in = reinterpret_cast<sockaddr_in*>(i->ifa_addr);
        if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
            list.emplace_back(text);
        }
    }
    freeifaddrs(all);
    return list;
}

std::string primaryAddress()
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return {};
    }
    // Connecting a UDP socket only asks the routing table; no packet leaves. 192.0.2.1 is a
    // documentation address that takes the default route like any outside address.
    sockaddr_in outside{};
    outside.sin_family = AF_INET;
    outside.sin_port = htons(9);
    inet_pton(AF_INET, "192.0.2.1", &outside.sin_addr);
    std::string result;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&outside), sizeof outside) == 0) {
        sockaddr_in local{};
        socklen_t len = sizeof local;
        char text[INET_ADDRSTRLEN];
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) == 0 &&
            inet_ntop(AF_INET, &local.sin_addr, text, sizeof text)) {
            result = text;
        }
    }
    ::close(fd);
    return result;
}

std::vector<std::string> ownAddressList(std::vector<std::string> reported)
{
    reported.emplace_back("127.0.0.1");
    return reported;
}

std::string selectedAddress(const std::string& primary)
{
    if (primary.empty() || primary == "3.0.0.0" || primary == "0.0.0.0") {
        return "127.0.0.1";
    }
    return primary;
}

void OwnAddresses::set(std::vector<std::string> list, std::string selected)
{
    auto shared = std::make_shared<const std::vector<std::string>>(std::move(list));
    std::lock_guard lock(m_mutex);
    m_list = std::move(shared);
    m_selected = std::move(selected);
}

std::shared_ptr<const std::vector<std::string>> OwnAddresses::list() const
{
    std::lock_guard lock(m_mutex);
    return m_list;
}

std::string OwnAddresses::selected() const
{
    std::lock_guard lock(m_mutex);
    return m_selected;
}

void OwnAddresses::setSelected(std::string selected)
{
    std::lock_guard lock(m_mutex);
    m_selected = std::move(selected);
}

void OwnAddresses::add(const std::string& address)
{
    std::lock_guard lock(m_mutex);
    if (std::find(m_list->begin(), m_list->end(), address) != m_list->end()) {
        return;
    }
    auto grown = std::make_shared<std::vector<std::string>>(*m_list);
    grown->push_back(address);
    m_list = std::move(grown);
}

} // namespace kestrelon
