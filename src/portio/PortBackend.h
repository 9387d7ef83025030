#pragma once

#include <cstdint>
#include <string>

namespace kestrelon {

// One way of putting a byte on a port's data register.
class PortBackend {
public:
    virtual ~PortBackend() = default;
    // Writes the byte; on failure returns false and sets error to a readable message.
    virtual bool write(uint16_t address, uint8_t value, std::string& error) = 0;
    // A short text that says where writes go, for the log ("ppdev /dev/parport0", ...).
    virtual std::string description() const = 0;
    // False for the stand-in used when no port could be opened: its writes reach nothing.
    virtual bool portPresent() const { return true; }
};

} // namespace kestrelon
