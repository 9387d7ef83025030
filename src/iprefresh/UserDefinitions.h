#pragma once

#include "iprefresh/LookupDefinitions.h"

#include <optional>
#include <string>

namespace kestrelon {

class IpRefreshState;
class PageWorkbench;
class SettingsModel;

// The lookup definitions as the User-Defined Service page edits them: a row of either list
// selected into the router fields, "New", the fields added as a user row or applied to the
// selected one, the selected user row removed. The user rows and the selection are settings
// ([Routers], [RoutersData], [Router] SelectedRouter); the page asks the questions and shows the
// refusals (definitionRefusal) before it calls add or apply. Main thread.
class UserDefinitions {
public:
    UserDefinitions(SettingsModel& settings, IpRefreshState& state, PageWorkbench& workbench);

    // A click on a row of "User-defined:" (preset false) or "Pre-defined:". Nothing changes when
    // the list has no such row.
    std::optional<DefinitionSelection> select(int row, bool preset);
    // "New": the keyword "<html>", every other field, the known address and the page emptied,
    // nothing selected.
    void newDefinition();
    // "Add to user-defined", once the fields passed and the user named the row: a new user row
    // of the fields, selected.
    void add(const std::string& name);
    // "Apply": the fields replace the selected user row's definition and check mark. False when
    // no user row is selected.
    bool apply();
    // "Remove ": the selected user row goes, then "New". False when no user row is selected.
    bool remove();

    // [Router] SelectedRouter: -1, a user row, or kPresetBase + a preset row.
    int32_t selected() const;
    // A user row is selected.
    bool userRowSelected() const;

private:
    void setSelected(int32_t selected, const std::string& name);

    SettingsModel& m_settings;
    IpRefreshState& m_state;
    PageWorkbench& m_workbench;
};

} // namespace kestrelon
