#include "core/SettingsModel.h"

namespace kestrelon {

SettingsModel::SettingsModel(Settings initial, QObject* parent)
    : QObject(parent), m_current(std::make_shared<const Settings>(std::move(initial)))
{
}

std::shared_ptr<const Settings> SettingsModel::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_current;
}

void SettingsModel::update(const std::function<void(Settings&)>& change)
{
    {
        // m_writeMutex orders writers; m_mutex is held only for the pointer swap so readers
        // never wait for a change function to run.
        std::lock_guard writeLock(m_writeMutex);
        auto next = std::make_shared<Settings>(*snapshot());
        change(*next);
        std::lock_guard lock(m_mutex);
        m_current = std::move(next);
    }
    Q_EMIT changed();
}

} // namespace kestrelon
