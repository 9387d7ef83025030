#include "portio/PpdevPortBackend.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kestrelon {

std::unique_ptr<PpdevPortBackend> PpdevPortBackend::openFor(uint16_t address)
{
    for (int n = 0; n < 8; ++n) {
        // The kernel lists each port's base address (decimal) under /proc/sys/dev/parport.
        std::ifstream base("/proc/sys/dev/parport/parport" + std::to_string(n) + "/base-addr");
        unsigned long value = 0;
        if (!(base >> value) || value != address) {
            continue;
        }
        std::string device = "/dev/parport" + std::to_string(n);
        int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (::ioctl(fd, PPCLAIM) != 0) {
            ::close(fd);
            continue;
        }
        return std::unique_ptr<PpdevPortBackend>(new PpdevPortBackend(fd, device));
    }
    return nullptr;
}

PpdevPortBackend::PpdevPortBackend(int fd, std::string device) : m_fd(fd), m_device(std::move(device)) {}

PpdevPortBackend::~PpdevPortBackend()
{
    ::ioctl(m_fd, PPRELEASE);
    ::close(m_fd);
}

bool PpdevPortBackend::write(uint16_t, uint8_t value, std::string& error)
{
    unsigned char byte = value;
    if (::ioctl(m_fd, PPWDATA, &byte) != 0) {
        error = m_device + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string PpdevPortBackend::description() const
{
    return "ppdev " + m_device;
}

} // namespace kestrelon
