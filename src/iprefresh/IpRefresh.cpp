#include "iprefresh/IpRefresh.h"

#include "core/SettingsModel.h"
#include "iprefresh/LookupDefinitions.h"

namespace kestrelon {

IpRefresh::IpRefresh(SettingsModel& settings, const IpRefreshServices& services, QObject* parent)
    : QObject(parent), m_settings(settings), m_lookup(settings, m_state, m_jobs, services),
      m_cycle(settings, m_state, m_lookup, m_jobs, services),
      m_workbench(settings, m_state, m_lookup, m_jobs, services),
      m_definitions(settings, m_state, m_workbench)
{
    connect(&m_lookup, &IpLookup::messageBox, this, &IpRefresh::messageBox);
    connect(&m_cycle, &RefreshCycle::messageBox, this, &IpRefresh::messageBox);
    connect(&m_workbench, &PageWorkbench::messageBox, this, &IpRefresh::messageBox);
}

void IpRefresh::prepareAtStartup()
{
    m_cycle.CheckFiles();
    if (auto selection = definitionAtStartup(*m_settings.snapshot())) {
        m_state.change([&](auto& f) {
            f.router = selection->fields;
            f.definitionName = selection->name;
        });
    }
}

} // namespace kestrelon
