#include "streaming/CapturePreview.h"

#include "media/VideoCaptures.h"
#include "streaming/CaptureFeed.h"

namespace kestrelon {

CapturePreview::CapturePreview(VideoCaptures& captures, QObject* parent)
    : QObject(parent), m_captures(captures)
{
}

CapturePreview::~CapturePreview()
{
    release();
}

bool CapturePreview::start(int position, QString& error)
{
    const bool wasRunning = running();
    release();
    Capture* capture = m_captures.capture(position);
    if (!capture) {
        error = noVideoSourceText(position);
    } else {
        m_use = capture->attach();
        if (capture->state() == Capture::State::Failed) {
            error = capture->statusText();
            m_use.reset();
        } else {
            m_capture = capture;
            m_connections = {
                connect(capture, &Capture::frameArrived, this, &CapturePreview::frameArrived),
                connect(capture, &Capture::stateChanged, this,
                        [this](Capture::State state) {
                            if (state == Capture::State::Failed) {
                                stop();
                            }
                        }),
            };
        }
    }
    if (wasRunning != running()) {
        Q_EMIT runningChanged(running());
    }
    return running();
}

void CapturePreview::stop()
{
    const bool wasRunning = running();
    release();
    if (wasRunning) {
        Q_EMIT runningChanged(false);
    }
}

void CapturePreview::release()
{
    for (const auto& connection : m_connections) {
        disconnect(connection);
    }
    m_connections.clear();
    m_capture = nullptr;
    m_use.reset();
}

std::shared_ptr<const VideoFrame> CapturePreview::latestFrame() const
{
    return m_capture ? m_capture->latestFrame() : nullptr;
}

} // namespace kestrelon
