#pragma once

#include "portio/PortBackend.h"

#include <memory>

namespace kestrelon {

// Writes the I/O port directly through /dev/port (needs CAP_SYS_RAWIO).
class DevPortBackend : public PortBackend {
public:
    // Null when /dev/port cannot be opened for writing.
    static std::unique_ptr<DevPortBackend> open();
    ~DevPortBackend() override;

    bool write(uint16_t address, uint8_t value, std::string& error) override;
    std::string description() const override;

private:
    explicit DevPortBackend(int fd) : m_fd(fd) {}
    int m_fd;
};

} // namespace kestrelon
