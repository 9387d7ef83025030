#include "portio/PortOutputDevice.h"

#include "portio/DevPortBackend.h"
#include "portio/PpdevPortBackend.h"
#include "portio/RecordingPortBackend.h"

#include <cstdlib>

namespace kestrelon {

std::unique_ptr<PortBackend> PortOutputDevice::openDefaultBackend(uint16_t address)
{
    if (const char* record = std::getenv("KESTRELON_PORT_RECORD"); record && *record) {
        return std::make_unique<RecordingPortBackend>(record);
    }
    if (auto ppdev = PpdevPortBackend::openFor(address)) {
        return ppdev;
    }
    if (auto devPort = DevPortBackend::open()) {
        return devPort;
    }
    return std::make_unique<RecordingPortBackend>();
}

PortOutputDevice::PortOutputDevice(BackendFactory factory) : m_factory(std::move(factory)) {}

uint16_t PortOutputDevice::portAddress() const
{
    std::lock_guard lock(m_mutex);
    return m_portAddress;
}

void PortOutputDevice::setPortAddress(uint16_t address)
{
    std::lock_guard lock(m_mutex);
    m_portAddress = address;
}

uint8_t PortOutputDevice::lastPortValue() const
{
    std::lock_guard lock(m_mutex);
    return m_lastPortValue;
}

void PortOutputDevice::setLastPortValue(uint8_t value)
{
    std::lock_guard lock(m_mutex);
    m_lastPortValue = value;
}

bool PortOutputDevice::Write(int64_t value, std::string& error)
{
    std::lock_guard lock(m_mutex);
    return writeLocked(static_cast<uint8_t>(value & 0xFF), error);
}

bool PortOutputDevice::WriteSetBits(int64_t magnitude, std::string& error)
{
    std::lock_guard lock(m_mutex);
    uint64_t m = magnitude < 0 ? uint64_t(0) - uint64_t(magnitude) : uint64_t(magnitude);
    return writeLocked(static_cast<uint8_t>((m & 0xFF) | m_lastPortValue), error);
}

std::string PortOutputDevice::backendDescription()
{
    std::lock_guard lock(m_mutex);
    return backendLocked().description();
}

bool PortOutputDevice::portPresent()
{
    std::lock_guard lock(m_mutex);
    return backendLocked().portPresent();
}

PortBackend& PortOutputDevice::backendLocked()
{
    // A backend belongs to one address (ppdev finds the device by its base address), so a
    // changed address opens the backend anew.
    if (!m_backend || m_backendAddress != m_portAddress) {
        m_backend.reset();
        m_backend = m_factory(m_portAddress);
        if (!m_backend) {
            m_backend = std::make_unique<RecordingPortBackend>();
        }
        m_backendAddress = m_portAddress;
    }
    return *m_backend;
}

bool PortOutputDevice::writeLocked(uint8_t byte, std::string& error)
{
    if (!backendLocked().write(m_portAddress, byte, error)) {
        return false;
    }
    m_lastPortValue = byte;
    return true;
}

} // namespace kestrelon
