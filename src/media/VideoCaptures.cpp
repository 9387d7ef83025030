#include "media/VideoCaptures.h"

namespace kestrelon {

VideoCaptures::VideoCaptures(std::vector<VideoDevice> devices, QObject* parent)
    : QObject(parent), m_devices(std::move(devices)), m_captures(m_devices.size())
{
}

VideoCaptures::~VideoCaptures() = default;

QStringList VideoCaptures::deviceNames() const
{
    QStringList names;
    for (const auto& device : m_devices) {
        names << device.name();
    }
    return names;
}

Capture* VideoCaptures::capture(int position)
{
    if (position < 0 || position >= count()) {
        return nullptr;
    }
    auto& capture = m_captures[size_t(position)];
    if (!capture) {
        capture = std::make_unique<Capture>(m_devices[size_t(position)]);
    }
    return capture.get();
}

} // namespace kestrelon
