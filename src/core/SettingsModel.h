#pragma once

#include "core/Settings.h"

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>

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

    // Calls onChange(now) on the receiver's thread whenever the part of the settings that project
    // picks out differs between the copy before a change and the copy after it. project is a
    // callable on const Settings& (a lambda, or a member pointer such as &Settings::Camera) whose
    // result compares with ==. The connection ends with the receiver.
    template <class Projection, class OnChange>
    QMetaObject::Connection watch(QObject* receiver, Projection project, OnChange onChange)
    {
        return connect(this, &SettingsModel::replaced, receiver,
                       [project = std::move(project),
                        onChange = std::move(onChange)](const std::shared_ptr<const Settings>& before,
                                                        const std::shared_ptr<const Settings>& after) {
                           if (!(std::invoke(project, *before) == std::invoke(project, *after))) {
                               onChange(*after);
                           }
                       });
    }

Q_SIGNALS:
    void changed();
    // Every change, with the copies before and after it; changes made one after the other arrive
    // in order, each before-copy being the previous after-copy.
    void replaced(const std::shared_ptr<const Settings>& before,
                  const std::shared_ptr<const Settings>& after);

private:
    mutable std::mutex m_mutex;
    std::recursive_mutex m_writeMutex; // a receiver of replaced() may change the settings again
    std::shared_ptr<const Settings> m_current;
};

} // namespace kestrelon
