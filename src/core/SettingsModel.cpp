#include "core/SettingsModel.h"

namespace kestrelon {

SettingsModel::SettingsModel(Settings initial, QObject* parent)
    : QObject(parent), m_current(std::make_shared<const Settings>(std::move(initial)))
{
    // replaced() may reach receivers on other threads as a queued call.
    qRegisterMetaType<std::shared_ptr<const Settings>>();
}

std::shared_ptr<const Settings> SettingsModel::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_current;
}

void SettingsModel::update(const std::function<void(Settings&)>& change)
{
    // m_writeMutex orders writers, and with them the replaced() signals (queued ones are posted in
    // that order too), so every before-copy is the after-copy of the change before it; m_mutex is held only
    // for the pointer swap so readers never wait for a change function to run.
    std::lock_guard writeLock(m_writeMutex);
    std::shared_ptr<const Settings> before = snapshot();
    auto next = std::make_shared<Settings>(*before);
    change(*next);
    std::shared_ptr<const Settings> after = next;
    {
        std::lock_guard lock(m_mutex);
        m_current = after;
    }
    Q_EMIT replaced(before, after);
    Q_EMIT changed();
}

} // namespace kestrelon
