#pragma once

#include "media/Capture.h"
#include "media/VideoDevice.h"

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

namespace kestrelon {

// The video sources of this run and the one capture of each, for the camera and the live stream to
// share: a device opens once, however many of them use it. The list is fixed for the run; a
// source's capture is made when first asked for and kept.
//
// Threads: main thread. Destroyed after every Use and branch of its captures.
class VideoCaptures : public QObject {
    Q_OBJECT
public:
    explicit VideoCaptures(std::vector<VideoDevice> devices, QObject* parent = nullptr);
    ~VideoCaptures() override;

    const std::vector<VideoDevice>& devices() const { return m_devices; }
    int count() const { return int(m_devices.size()); }
    // The friendly names in list order, for the device boxes.
    QStringList deviceNames() const;
    // The capture of the source at that position; null outside the list.
    Capture* capture(int position);

private:
    std::vector<VideoDevice> m_devices;
    std::vector<std::unique_ptr<Capture>> m_captures;
};

} // namespace kestrelon
