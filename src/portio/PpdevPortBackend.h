#pragma once

#include "portio/PortBackend.h"

#include <memory>

namespace kestrelon {

// Writes through the kernel's parallel-port driver (/dev/parportN, PPWDATA).
class PpdevPortBackend : public PortBackend {
public:
    // Opens and claims the /dev/parportN whose base address is the given one; null when none
    // matches or it cannot be claimed.
    static std::unique_ptr<PpdevPortBackend> openFor(uint16_t address);
    ~PpdevPortBackend() override;

    bool write(uint16_t address, uint8_t value, std::string& error) override;
    std::string description() const override;

private:
    PpdevPortBackend(int fd, std::string device);
    int m_fd;
    std::string m_device;
};

} // namespace kestrelon
