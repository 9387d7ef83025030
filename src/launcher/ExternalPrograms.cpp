#include "launcher/ExternalPrograms.h"

#include "core/SettingsModel.h"
#include "launcher/ProcessLauncher.h"
#include "launcher/ProgramEntry.h"

#include <algorithm>

namespace kestrelon {

ExternalPrograms::ExternalPrograms(SettingsModel& settings, ProcessLauncher& launcher, bool noExternal,
                                   QObject* parent)
    : QObject(parent), m_settings(settings), m_launcher(launcher), m_noExternal(noExternal)
{
    TimerDelayExternal.setSingleShot(true);
    TimerDelayExternal.setInterval(kStartDelay);
    connect(&TimerDelayExternal, &QTimer::timeout, this, &ExternalPrograms::TimerDelayExternalTimer);
    limitList();
    // A reload of the settings file may bring a longer list again.
    connect(&m_settings, &SettingsModel::changed, this, &ExternalPrograms::limitList);
}

std::vector<CheckedEntry> ExternalPrograms::entries() const
{
    std::vector<CheckedEntry> items = m_settings.snapshot()->items;
    if (items.size() > static_cast<size_t>(kMaxPrograms)) {
        items.resize(kMaxPrograms);
    }
    return items;
}

bool ExternalPrograms::canAdd() const
{
    return entries().size() < static_cast<size_t>(kMaxPrograms);
}

ExternalPrograms::AddResult ExternalPrograms::btnAddProgClick(const std::string& path)
{
    if (path.empty()) {
        return AddResult::Nothing;
    }
    if (isOwnExecutable(path)) {
        return AddResult::OwnExecutable;
    }
    if (!canAdd()) {
        return AddResult::Full;
    }
    m_settings.update([&](Settings& s) { s.items.push_back({path, false}); });
    return AddResult::Added;
}

void ExternalPrograms::btnRemoveProgClick(int row)
{
    if (row < 0 || row >= static_cast<int>(entries().size())) {
        return;
    }
    m_settings.update([&](Settings& s) {
        if (row < static_cast<int>(s.items.size())) {
            s.items.erase(s.items.begin() + row);
        }
    });
}

std::string ExternalPrograms::arguments(int row) const
{
    const auto list = entries();
    if (row < 0 || row >= static_cast<int>(list.size())) {
        return {};
    }
    return ProgramEntry::parse(list[static_cast<size_t>(row)].text).arguments;
}

bool ExternalPrograms::hasExecutable(int row) const
{
    const auto list = entries();
    return row >= 0 && row < static_cast<int>(list.size()) &&
           !ProgramEntry::parse(list[static_cast<size_t>(row)].text).executable.empty();
}

void ExternalPrograms::btnCmdLineClick(int row, const std::string& answer)
{
    if (!hasExecutable(row)) {
        // Without a known executable there is no telling where the path ends.
        return;
    }
    const std::string executable = ProgramEntry::parse(entries()[static_cast<size_t>(row)].text).executable;
    m_settings.update([&](Settings& s) {
        if (row < static_cast<int>(s.items.size())) {
            s.items[static_cast<size_t>(row)].text = ProgramEntry::withArguments(executable, answer);
        }
    });
}

void ExternalPrograms::setChecked(int row, bool checked)
{
    if (row < 0 || row >= static_cast<int>(entries().size()) ||
        entries()[static_cast<size_t>(row)].checked == checked) {
        return;
    }
    m_settings.update([&](Settings& s) {
        if (row < static_cast<int>(s.items.size())) {
            s.items[static_cast<size_t>(row)].checked = checked;
        }
    });
}

bool ExternalPrograms::btnStartProgClick(int row)
{
    const auto list = entries();
    if (row < 0 || row >= static_cast<int>(list.size())) {
        return false;
    }
    const CheckedEntry& entry = list[static_cast<size_t>(row)];
    if (!isExecutableFile(ProgramEntry::parse(entry.text).executable)) {
        // A program that is gone is skipped silently.
        return false;
    }
    m_slots[static_cast<size_t>(row)] = ExecutedFileHandle(entry);
    return m_slots[static_cast<size_t>(row)].has_value();
}

void ExternalPrograms::clearSlots()
{
    m_slots.fill(std::nullopt);
}

void ExternalPrograms::startDelayed()
{
    TimerDelayExternal.start();
}

void ExternalPrograms::TimerDelayExternalTimer()
{
    TimerDelayExternal.stop();
    StartExternal();
}

void ExternalPrograms::StartExternal()
{
    if (m_noExternal) {
        return;
    }
    const auto list = entries();
    for (size_t i = 0; i < list.size(); ++i) {
        const CheckedEntry& entry = list[i];
        if (!entry.checked || !isExecutableFile(ProgramEntry::parse(entry.text).executable)) {
            continue;
        }
        // A program that still runs is left alone: there is no window to bring to the front.
        if (m_slots[i] && m_launcher.isRunning(*m_slots[i])) {
            continue;
        }
        m_slots[i] = ExecutedFileHandle(entry);
    }
}

void ExternalPrograms::closeStartedPrograms()
{
    if (!m_settings.snapshot()->WebServe.Close) {
        return;
    }
    std::vector<pid_t> asked;
    for (pid_t pid : m_started) {
        if (m_launcher.terminate(pid)) {
            asked.push_back(pid);
        }
    }
    m_started.clear();
    m_launcher.waitForEnd(asked, kCloseWait);
}

std::optional<pid_t> ExternalPrograms::slot(int position) const
{
    if (position < 0 || position >= kMaxPrograms) {
        return std::nullopt;
    }
    return m_slots[static_cast<size_t>(position)];
}

std::optional<pid_t> ExternalPrograms::ExecutedFileHandle(const CheckedEntry& entry)
{
    const ProgramEntry parts = ProgramEntry::parse(entry.text);
    const std::optional<pid_t> pid = m_launcher.start(parts.executable, splitArguments(parts.arguments));
    // Ended processes need no closing; the list stays short.
    std::erase_if(m_started, [this](pid_t started) { return !m_launcher.isRunning(started); });
    if (pid) {
        m_started.push_back(*pid);
    }
    return pid;
}

void ExternalPrograms::limitList()
{
    if (m_settings.snapshot()->items.size() > static_cast<size_t>(kMaxPrograms)) {
        m_settings.update([](Settings& s) {
            if (s.items.size() > static_cast<size_t>(kMaxPrograms)) {
                s.items.resize(kMaxPrograms);
            }
        });
    }
}

} // namespace kestrelon
