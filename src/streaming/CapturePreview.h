#pragma once

#include "media/Capture.h"
#include "media/VideoFrame.h"
#include "streaming/StreamPreview.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace kestrelon {

class VideoCaptures;

// The Video page's preview from the shared capture of the chosen source: while it runs it keeps
// that capture running (beside the camera's preview and the stream) and tells of each new frame.
// A capture that fails stops it. Main thread; it must go before captures does.
class CapturePreview : public QObject, public StreamPreview {
    Q_OBJECT
public:
    explicit CapturePreview(VideoCaptures& captures, QObject* parent = nullptr);
    ~CapturePreview() override;

    bool start(int position, QString& error) override;
    void stop() override;
    bool running() const { return m_capture != nullptr; }
    // The latest frame of the previewed source; null while stopped or before its first frame.
    std::shared_ptr<const VideoFrame> latestFrame() const;

Q_SIGNALS:
    // A new frame is there for latestFrame().
    void frameArrived();
    void runningChanged(bool running);

private:
    void release();

    VideoCaptures& m_captures;
    Capture* m_capture = nullptr;
    Capture::Use m_use;
    std::vector<QMetaObject::Connection> m_connections;
};

} // namespace kestrelon
