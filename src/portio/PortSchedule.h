#pragma once

#include "core/Settings.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

namespace kestrelon {

class PortOutputDevice;
class SettingsModel;

// The port schedule: once a second every entry whose time text matches the current second
// writes its value to the port. Every-day entries ("HH:mm:ss") stay; one-off entries
// ("dd/MM/yyyy HH:mm:ss") are removed once they have fired. The entries live in the settings
// model, so editing and removal persist. Create and call on the main thread.
class PortSchedule : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    static constexpr int kInterval = 1000; // milliseconds

    // clock gives the local date and time a tick compares with; by default the system's.
    PortSchedule(SettingsModel& settings, PortOutputDevice& port, Clock clock = {},
                 QObject* parent = nullptr);

    // Switches ScheduleTimer on; once on it stays on, and a further call leaves it running as it
    // is. Called when the program's main object is created and when "Enable schedule" is
    // clicked either way.
    void start();
    bool running() const { return ScheduleTimer.isActive(); }

    // One tick: nothing unless there are entries and both "Enable schedule" and the I/O switch
    // are on; then each entry in list order, once.
    void ScheduleTimerTimer();

    // Editing the list. The row is the entry's position; rows out of range are ignored.
    void addEntry(const ScheduleEntry& entry);
    void removeEntry(int row);
    void setEntryActive(int row, bool active);

    // A one-off entry's time text is longer than an every-day one's.
    static bool isOneOff(const std::string& timeText) { return timeText.size() > 16; }

    QTimer ScheduleTimer;

private:
    SettingsModel& m_settings;
    PortOutputDevice& m_port;
    Clock m_clock;
};

} // namespace kestrelon
