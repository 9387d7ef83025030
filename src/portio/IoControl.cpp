#include "portio/IoControl.h"

#include "core/IntText.h"
#include "core/SettingsModel.h"
#include "portio/PortAddress.h"
#include "portio/PortOutputDevice.h"

namespace kestrelon {

IoControl::IoControl(SettingsModel& settings, PortOutputDevice& port, QObject* parent)
    : QObject(parent), m_settings(settings), m_port(port)
{
    // A change published from a request thread arrives here as a queued call.
    connect(&m_settings, &SettingsModel::changed, this, &IoControl::settingsChanged);
    applyAddress();
}

void IoControl::applyAddress()
{
    auto s = m_settings.snapshot();
    m_io = s->WebServe.IO;
    m_address = s->WebServe.IOAddress;
    m_port.setPortAddress(portAddressFromText(m_address).value_or(PortOutputDevice::kDefaultAddress));
    m_statusText = portStatusText(m_address, m_io);
}

void IoControl::cbIOControlClick()
{
    applyAddress();
    if (!m_io && m_settings.snapshot()->IO.Schedule) {
        // Re-enters settingsChanged, which finds nothing new.
        m_settings.update([](Settings& s) { s.IO.Schedule = false; });
    }
    Q_EMIT stateChanged();
}

void IoControl::settingsChanged()
{
    auto s = m_settings.snapshot();
    if (s->WebServe.IO != m_io) {
        cbIOControlClick();
    } else if (s->WebServe.IOAddress != m_address) {
        // A new address text with the switch unchanged: only the address and the status line;
        // the schedule is left as it is.
        applyAddress();
        Q_EMIT stateChanged();
    }
}

void IoControl::Button10Click()
{
    std::string error;
    // The write cannot fail from the user's point of view; a backend error is not shown.
    m_port.Write(parseInt32(m_settings.snapshot()->WebServe.PortValue, false).value_or(0), error);
}

void IoControl::startupSend()
{
    m_port.setLastPortValue(0);
    if (m_settings.snapshot()->WebServe.SendValue) {
        Button10Click();
    }
}

} // namespace kestrelon
