#include "portio/DevPortBackend.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kestrelon {

std::unique_ptr<DevPortBackend> DevPortBackend::open()
{
    int fd = ::open("/dev/port", O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<DevPortBackend>(new DevPortBackend(fd));
}

DevPortBackend::~DevPortBackend()
{
    ::close(m_fd);
}

bool DevPortBackend::write(uint16_t address, uint8_t value, std::string& error)
{
    unsigned char byte = value;
    if (::pwrite(m_fd, &byte, 1, address) != 1) {
        error = std::string("/dev/port: ") + std::strerror(errno);
        return false;
    }
    return true;
}

std::string DevPortBackend::description() const
{
    return "/dev/port";
}

} // namespace kestrelon
