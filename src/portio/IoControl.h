#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kestrelon {

class PortOutputDevice;
class SettingsModel;

// The I/O switch ("Enable I/O control") and the manual port output: derives the port's address
// from the "Port Address" text, keeps the status line, sends the manual value ("Send Now") and
// the start-up value. It follows the switch in the settings model, so a switch turned off
// anywhere (the window, a reload, a remote disable from a request thread) gets the same
// reaction. The address text alone is not followed: a half-typed address would send the
// writes elsewhere; the address is derived at start-up, in the switch's reaction and after a
// reload of the settings file (setupPortAddress).
// Create and call on the main thread.
class IoControl : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kNoPortNote = " (no port present)";

    // A line for the Message log: said once per address when the switch is on and no port is
    // present there.
    using LogLine = std::function<void(const std::string& line)>;

    // Derives the address and the status line from the settings at once (the start-up step).
    IoControl(SettingsModel& settings, PortOutputDevice& port, LogLine log = {}, QObject* parent = nullptr);

    // The address and the status line from the settings as they are now: the start-up step,
    // also run after the settings file has been read again.
    void setupPortAddress();

    // The reaction to the I/O switch: the address and status line again, and with the switch
    // off "Enable schedule" is unchecked. Runs by itself whenever the switch changes.
    void cbIOControlClick();
    // "Send Now": the manual value (a number or 0) goes out as its low 8 bits, no OR rule,
    // whether the switch is on or off.
    void Button10Click();
    // The start-up send: lastPortValue becomes 0, then "Send Now" when "Send at startup" is set.
    // The caller skips it under -noauto.
    void startupSend();

    // "I/O Active on port: 0378H" while the switch is on, else empty.
    const std::string& statusText() const { return m_statusText; }
    // True while the switch is on and no port can be reached at the address: the writes are only
    // recorded in memory. The I/O label adds kNoPortNote then.
    bool noPortPresent() const { return m_noPort; }

Q_SIGNALS:
    // The status line or the switch changed.
    void stateChanged();

private:
    void applyAddress();
    void checkPortPresent(bool ioOn);

    SettingsModel& m_settings;
    PortOutputDevice& m_port;
    LogLine m_log;
    std::string m_statusText;
    bool m_noPort = false;
    // The address the missing port was last reported for; none yet.
    std::optional<uint16_t> m_reportedAddress;
};

} // namespace kestrelon
