#pragma once

#include "portio/PortBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace kestrelon {

// The parallel port's data register as the rest of the program sees it: the address in use
// (portAddress), the byte written last (lastPortValue) and the one write operation.
// Every member may be called from any thread; writes are serialised by one lock, so the
// read-modify-write of a set-bits write never interleaves with another writer.
class PortOutputDevice {
public:
    // Opens the backend for an address. The default picks ppdev, then /dev/port, then the
    // recording backend; KESTRELON_PORT_RECORD=FILE selects the recording backend with FILE.
    using BackendFactory = std::function<std::unique_ptr<PortBackend>(uint16_t address)>;
    static std::unique_ptr<PortBackend> openDefaultBackend(uint16_t address);

    explicit PortOutputDevice(BackendFactory factory = &PortOutputDevice::openDefaultBackend);

    static constexpr uint16_t kDefaultAddress = 0x0278;

    uint16_t portAddress() const;
    void setPortAddress(uint16_t address);
    uint8_t lastPortValue() const;
    void setLastPortValue(uint8_t value);

    // Plain write: the low 8 bits of value go out and become lastPortValue.
    // Returns false with error set when the backend refuses.
    bool Write(int64_t value, std::string& error);
    // Set-bits write: the low 8 bits of the magnitude are OR-ed into lastPortValue and the
    // result goes out (the form negative request and schedule values use).
    bool WriteSetBits(int64_t magnitude, std::string& error);

    // Where writes go now ("ppdev /dev/parport0", "/dev/port", ...); opens the backend if needed.
    std::string backendDescription();
    // Whether writes at portAddress reach a port; opens the backend if needed.
    bool portPresent();

private:
    bool writeLocked(uint8_t byte, std::string& error);
    PortBackend& backendLocked();

    BackendFactory m_factory;
    mutable std::mutex m_mutex;
    uint16_t m_portAddress = kDefaultAddress;
    uint8_t m_lastPortValue = 0;
    std::unique_ptr<PortBackend> m_backend;
    uint16_t m_backendAddress = 0;
};

} // namespace kestrelon
