#include "portio/PortSchedule.h"

#include "core/IntText.h"
#include "core/SettingsModel.h"
#include "portio/PortOutputDevice.h"

#include <algorithm>

namespace kestrelon {

PortSchedule::PortSchedule(SettingsModel& settings, PortOutputDevice& port, Clock clock, QObject* parent)
    : QObject(parent), m_settings(settings), m_port(port),
      m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); }))
{
    ScheduleTimer.setObjectName("ScheduleTimer");
    ScheduleTimer.setInterval(kInterval);
    connect(&ScheduleTimer, &QTimer::timeout, this, &PortSchedule::ScheduleTimerTimer);
}

void PortSchedule::start()
{
    // QTimer::start() would restart a running timer and shift its ticks.
    if (!ScheduleTimer.isActive()) {
        ScheduleTimer.start();
    }
}

void PortSchedule::ScheduleTimerTimer()
{
    auto s = m_settings.snapshot();
    if (s->schedule.empty() || !s->IO.Schedule || !s->WebServe.IO) {
        return;
    }
    const QDateTime now = m_clock();
    // The program's separators are "/" and ":" whatever the system's locale; QDateTime's
    // patterns use the C locale, so the texts are the same on every machine.
    const std::string oneOffNow = now.toString("dd/MM/yyyy HH:mm:ss").toStdString();
    const std::string dailyNow = now.toString("HH:mm:ss").toStdString();

    std::vector<ScheduleEntry> entries = s->schedule;
    std::vector<ScheduleEntry> fired;
    std::string error;
    for (size_t i = 0; i < entries.size();) {
        const ScheduleEntry& entry = entries[i];
        const bool oneOff = isOneOff(entry.time);
        if (!entry.active || entry.time != (oneOff ? oneOffNow : dailyNow)) {
            ++i;
            continue;
        }
        // A negative value switches lines on: its magnitude is OR-ed into lastPortValue under
        // the device's lock, so a request writing at the same moment is never lost.
        const int32_t value = parseSettingNumber(entry.value, false).value_or(0);
        if (value < 0) {
            m_port.WriteSetBits(value, error);
        } else {
            m_port.Write(value, error);
        }
        if (oneOff) {
            // The entry that moves into its place is examined in this tick too.
            fired.push_back(entry);
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    if (fired.empty()) {
        return;
    }
    m_settings.update([&](Settings& settings) {
        // Removed by value, not by position: the list may have changed since the snapshot.
        for (const ScheduleEntry& entry : fired) {
            auto it = std::find(settings.schedule.begin(), settings.schedule.end(), entry);
            if (it != settings.schedule.end()) {
                settings.schedule.erase(it);
            }
        }
    });
}

void PortSchedule::addEntry(const ScheduleEntry& entry)
{
    m_settings.update([&](Settings& s) { s.schedule.push_back(entry); });
}

void PortSchedule::removeEntry(int row)
{
    m_settings.update([&](Settings& s) {
        if (row >= 0 && row < static_cast<int>(s.schedule.size())) {
            s.schedule.erase(s.schedule.begin() + row);
        }
    });
}

void PortSchedule::setEntryActive(int row, bool active)
{
    m_settings.update([&](Settings& s) {
        if (row >= 0 && row < static_cast<int>(s.schedule.size())) {
            s.schedule[static_cast<size_t>(row)].active = active;
        }
    });
}

} // namespace kestrelon
