#pragma once

#include <QObject>

#include <string>

namespace kestrelon {

class PortOutputDevice;
class SettingsModel;

// The I/O switch ("Enable I/O control") and the manual port output: derives the port's address
// from the "Port Address" text, keeps the status line, sends the manual value ("Send Now") and
// the start-up value. It follows the settings model, so a switch turned off anywhere (the
// window, a reload, a remote disable from a request thread) gets the same reaction.
// Create and call on the main thread.
class IoControl : public QObject {
    Q_OBJECT
public:
    // Derives the address and the status line from the settings at once (the start-up step).
    IoControl(SettingsModel& settings, PortOutputDevice& port, QObject* parent = nullptr);

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

Q_SIGNALS:
    // The status line or the switch changed.
    void stateChanged();

private:
    void applyAddress();
    void settingsChanged();

    SettingsModel& m_settings;
    PortOutputDevice& m_port;
    std::string m_statusText;
    // What the last reaction saw, to tell which change a notification carries.
    bool m_io = false;
    std::string m_address;
};

} // namespace kestrelon
