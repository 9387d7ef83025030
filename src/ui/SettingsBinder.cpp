#include "ui/SettingsBinder.h"

namespace kestrelon {

SettingsBinder::SettingsBinder(SettingsModel& model, QObject* parent) : QObject(parent), m_model(model) {}

void SettingsBinder::add(std::function<void(const Settings&)> loader)
{
    loader(*m_model.snapshot());
    m_loaders.push_back(std::move(loader));
}

void SettingsBinder::load()
{
    auto s = m_model.snapshot();
    for (const auto& loader : m_loaders) {
        loader(*s);
    }
}

} // namespace kestrelon
