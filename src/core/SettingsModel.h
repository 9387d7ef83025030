#pragma once

#include "core/Settings.h"

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

namespace kestrelon {

// The one source of truth for the settings while the program runs.
// Readers on any thread take a consistent, immutable copy with snapshot(); writers change a copy
// and publish it with update(). Every change is announced with changed(), which receivers on
// other threads get as a queued call.
class SettingsModel : public QObject {
    Q_OBJECT
public:
    explicit SettingsModel(Settings initial, QObject* parent = nullptr);

    // Any thread. Cheap: copies a shared pointer under a short lock.
    std::shared_ptr<const Settings> snapshot() const;

    // Any thread. The change is applied to a copy and published at once, so the next snapshot
    // sees it. Concurrent updates are serialised and none is lost.
    void update(const std::function<void(Settings&)>& change);

Q_SIGNALS:
    void changed();

private:
    mutable std::mutex m_mutex;
    std::mutex m_writeMutex;
    std::shared_ptr<const Settings> m_current;
};

} // namespace kestrelon
