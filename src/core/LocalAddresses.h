#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kestrelon {

// This computer's IPv4 addresses as the network interfaces report them (loopback interfaces
// left out), in interface order.
std::vector<std::string> interfaceAddresses();

// The local address the routing table uses for outside traffic; empty when there is no route.
// Found with a connected UDP socket, which sends nothing.
std::string primaryAddress();

// The own-address list: the reported addresses followed by "127.0.0.1", always, even when it
// is among them already.
std::vector<std::string> ownAddressList(std::vector<std::string> reported);

// The address to select: the primary one, "127.0.0.1" when there is none (or it reads 3.0.0.0).
std::string selectedAddress(const std::string& primary);

// The own-address list and the selected (binding) address. Written on the main thread,
// read by request threads.
class OwnAddresses {
public:
    void set(std::vector<std::string> list, std::string selected);
    std::shared_ptr<const std::vector<std::string>> list() const;
    std::string selected() const;
    void setSelected(std::string selected);
    // Appends the address unless an entry equals it exactly (the external address lookup adds
    // what it found).
    void add(const std::string& address);

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const std::vector<std::string>> m_list = std::make_shared<std::vector<std::string>>();
    std::string m_selected;
};

} // namespace kestrelon
