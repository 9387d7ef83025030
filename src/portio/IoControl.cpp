#include "portio/IoControl.h"

#include "core/IntText.h"
#include "core/SettingsModel.h"
#include "portio/PortAddress.h"
#include "portio/PortOutputDevice.h"

#include <cstdio>

namespace kestrelon {

IoControl::IoControl(SettingsModel& settings, PortOutputDevice& port, LogLine log, QObject* parent)
    : QObject(parent), m_settings(settings), m_port(port), m_log(std::move(log))
{
    // A change published from a request thread arrives here as a queued call.
    m_settings.watch(
        this, [](const Settings& s) { return s.WebServe.IO; },
        [this](const Settings&) { cbIOControlClick(); });
    applyAddress();
}

void IoControl::setupPortAddress()
{
    applyAddress();
    Q_EMIT stateChanged();
}

void IoControl::applyAddress()
{
    auto s = m_settings.snapshot();
    const std::string& address = s->WebServe.IOAddress;
    m_port.setPortAddress(portAddressFromText(address).value_or(PortOutputDevice::kDefaultAddress));
    m_statusText = portStatusText(address, s->WebServe.IO);
    checkPortPresent(s->WebServe.IO);
}

void IoControl::checkPortPresent(bool ioOn)
{
    m_noPort = false;
    if (!ioOn) {
        return;
    }
    // Opens the backend for the address, so the answer is the one the next write gets.
    m_noPort = !m_port.portPresent();
    const uint16_t address = m_port.portAddress();
    if (m_noPort && m_reportedAddress != address && m_log) {
        m_reportedAddress = address;
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", address);
        m_log(std::string("No parallel port present at ") + hex +
              "H: port writes are only recorded, nothing reaches a port.");
    }
}

void IoControl::cbIOControlClick()
{
    applyAddress();
    if (auto s = m_settings.snapshot(); !s->WebServe.IO && s->IO.Schedule) {
        m_settings.update([](Settings& s) { s.IO.Schedule = false; });
    }
    Q_EMIT stateChanged();
}

void IoControl::Button10Click()
{
    std::string error;
    // The write cannot fail from the user's point of view; a backend error is not shown.
    m_port.Write(parseSettingNumber(m_settings.snapshot()->WebServe.PortValue, false).value_or(0), error);
}

void IoControl::startupSend()
{
    m_port.setLastPortValue(0);
    if (m_settings.snapshot()->WebServe.SendValue) {
        Button10Click();
    }
}

} // namespace kestrelon
