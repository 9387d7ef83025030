#include "iprefresh/UserDefinitions.h"

#include "core/SettingsModel.h"
#include "iprefresh/IpRefreshState.h"
#include "iprefresh/PageWorkbench.h"

namespace kestrelon {

UserDefinitions::UserDefinitions(SettingsModel& settings, IpRefreshState& state, PageWorkbench& workbench)
    : m_settings(settings), m_state(state), m_workbench(workbench)
{
}

int32_t UserDefinitions::selected() const
{
    return m_settings.snapshot()->Router.SelectedRouter;
}

bool UserDefinitions::userRowSelected() const
{
    auto s = m_settings.snapshot();
    const int32_t row = s->Router.SelectedRouter;
    return row >= 0 && row < kPresetBase && static_cast<size_t>(row) < s->routers.size();
}

void UserDefinitions::setSelected(int32_t selected, const std::string& name)
{
    if (m_settings.snapshot()->Router.SelectedRouter != selected) {
        m_settings.update([&](Settings& s) { s.Router.SelectedRouter = selected; });
    }
    m_state.change([&](auto& f) { f.definitionName = name; });
}

std::optional<DefinitionSelection> UserDefinitions::select(int row, bool preset)
{
    auto selection = preset ? selectPreset(row) : selectUserDefinition(m_settings.snapshot()->routers, row);
    if (!selection) {
        return std::nullopt;
    }
    m_state.change([&](auto& f) { f.router = selection->fields; });
    setSelected(selection->selected, selection->name);
    return selection;
}

void UserDefinitions::newDefinition()
{
    m_state.change([](auto& f) {
        f.router = newDefinitionFields();
        f.knownAddress.clear();
    });
    m_workbench.setPage({});
    setSelected(-1, m_state.fields().definitionName);
}

void UserDefinitions::add(const std::string& name)
{
    const RouterFields& fields = m_state.fields().router;
    int32_t row = 0;
    m_settings.update([&](Settings& s) {
        s.routers.push_back({name, encodeUserDefinition(fields), fields.webAuth});
        row = static_cast<int32_t>(s.routers.size() - 1);
    });
    setSelected(row, name);
}

bool UserDefinitions::apply()
{
    if (!userRowSelected()) {
        return false;
    }
    const RouterFields& fields = m_state.fields().router;
    const int32_t row = selected();
    m_settings.update([&](Settings& s) {
        LookupDefinition& d = s.routers[static_cast<size_t>(row)];
        d.definition = encodeUserDefinition(fields);
        d.checked = fields.webAuth;
    });
    return true;
}

bool UserDefinitions::remove()
{
    if (!userRowSelected()) {
        return false;
    }
    const int32_t row = selected();
    m_settings.update([&](Settings& s) { s.routers.erase(s.routers.begin() + row); });
    setSelected(-1, {});
    newDefinition();
    return true;
}

} // namespace kestrelon
