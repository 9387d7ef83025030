#pragma once

#include "core/Settings.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kestrelon {

class ProcessLauncher;
class SettingsModel;

// The external programs: up to four entries, kept in the settings model's [items] list, that
// start a little after Kestrelon, can be started on demand, and are asked to end when it exits.
//
// Four slots belong to the four list positions; a slot holds the process the entry at its
// position started last. Removing an entry does not move the slots. On Linux a started program
// has no window Kestrelon could bring to the front; a program that still runs is simply left
// alone.
//
// A settings file may list more than four programs: only the first four are taken, the others
// are dropped from the list and so are gone from the file at the next save. Keeping entries the
// user can neither see nor remove, which would move up into the list when one is removed, would
// be worse.
//
// Create and call on the main thread.
class ExternalPrograms : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxPrograms = 4;
    static constexpr int kStartDelay = 2000; // milliseconds from the first showing
    // How long the exit waits in all for the programs it asked to end.
    static constexpr std::chrono::milliseconds kCloseWait{2000};
    static constexpr const char* kOwnInstanceMessage = "The server cannot start another instance of itself!";

    enum class AddResult { Added, Nothing, OwnExecutable, Full };

    // noExternal: the command-line switch; the start-up launch then does nothing.
    ExternalPrograms(SettingsModel& settings, ProcessLauncher& launcher, bool noExternal,
                     QObject* parent = nullptr);

    // The list, at most four entries.
    std::vector<CheckedEntry> entries() const;
    // "Add" is enabled only while fewer than four entries are listed.
    bool canAdd() const;

    // "Add" with the file the dialog gave (empty: cancelled, Nothing). The program itself is
    // refused (OwnExecutable: the caller beeps and shows kOwnInstanceMessage); otherwise the path
    // is appended without a check mark.
    AddResult btnAddProgClick(const std::string& path);
    // "Remove": the entry at row goes; rows out of range are ignored.
    void btnRemoveProgClick(int row);
    // "Cmd Line": the initial text of its input box, the entry's current arguments.
    std::string arguments(int row) const;
    // Whether the entry at row names an executable path to put arguments after.
    bool hasExecutable(int row) const;
    // "Cmd Line" answered: the entry becomes its executable path, one blank and the answer. An
    // entry that names no executable is left as it is.
    void btnCmdLineClick(int row, const std::string& answer);
    // The check mark: start at start-up.
    void setChecked(int row, bool checked);
    // "Start Now": starts the entry at row, check mark or not, when its executable exists; the
    // slot then holds the new process, or is emptied when the start failed. True when started.
    bool btnStartProgClick(int row);

    // The first showing: all slots emptied.
    void clearSlots();
    // Starts TimerDelayExternal (once, kStartDelay); its tick calls StartExternal.
    void startDelayed();
    void TimerDelayExternalTimer();
    // The start-up launch: nothing under noexternal; otherwise every marked entry whose
    // executable exists, when its slot is empty or its process has ended.
    void StartExternal();
    // The close at exit, when "Close all programs on exit" is set: SIGTERM to every process this
    // object started that still runs (nothing else is touched), then a wait of at most
    // kCloseWait in all for them to end. Programs are asked, never forced. With the box cleared
    // they keep running.
    void closeStartedPrograms();

    // The process in the slot of a position, if any (also when it has ended since).
    std::optional<pid_t> slot(int position) const;

    QTimer TimerDelayExternal;

private:
    // Starts the entry's program; the process id or none.
    std::optional<pid_t> ExecutedFileHandle(const CheckedEntry& entry);
    // Takes only the first four entries of the settings.
    void limitList();

    SettingsModel& m_settings;
    ProcessLauncher& m_launcher;
    bool m_noExternal;
    std::array<std::optional<pid_t>, kMaxPrograms> m_slots;
    // Every process started here, also those whose slot a later "Start Now" took over: all of
    // them are this program's to close.
    std::vector<pid_t> m_started;
};

} // namespace kestrelon
