#include "camera/Camera.h"

#include "camera/BrightnessControl.h"
#include "camera/CameraPreview.h"
#include "camera/CaptureSchedule.h"
#include "camera/SnapshotPass.h"
#include "core/SettingsModel.h"

namespace kestrelon {

Camera::Camera(SettingsModel& settings, VideoCaptures& captures, const ServerBusy& busy,
               PortOutputDevice& port, std::chrono::milliseconds captureTick, QObject* parent)
    : QObject(parent), m_settings(settings), m_preview(std::make_unique<CameraPreview>(settings, captures)),
      m_brightness(std::make_unique<BrightnessControl>(settings, port)),
      m_pass(std::make_unique<SnapshotPass>(settings, busy, static_cast<SnapshotContext&>(*this))),
      m_schedule(std::make_unique<CaptureSchedule>(settings, *m_preview, *m_pass, captureTick))
{
    // The frame timer of the continuously updated snapshot window.
    connect(m_preview.get(), &CameraPreview::framePassDue, this,
            [this] { m_pass->btnSnapNowClick(Originator::Window); });
    connect(m_preview.get(), &CameraPreview::statusTextChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) {
            Q_EMIT statusLine(text);
        }
    });
    connect(m_schedule.get(), &CaptureSchedule::statusLine, this, &Camera::statusLine);
    connect(m_pass.get(), &SnapshotPass::snapshotWriteFailed, this, &Camera::statusLine);
}

// The members go in reverse order: the schedule and the pass before the preview they use.
Camera::~Camera() = default;

bool Camera::firstActivate(bool noauto)
{
    bool showPage = false;
    if (!noauto && m_preview->autoSelectStart(false)) {
        showPage = true;
        m_schedule->startAtStartup();
    }
    return showPage || m_settings.snapshot()->Camera.rb480;
}

void Camera::shutdown()
{
    m_schedule->cancelStartup();
    m_schedule->stopCapture();
    if (m_preview->previewRunning()) {
        m_preview->btnStartPreviewClick();
    }
}

bool Camera::previewRunning() const
{
    return m_preview->previewRunning();
}

FrameSource* Camera::frameSource()
{
    return m_preview.get();
}

VideoSize Camera::videoSize() const
{
    return m_preview->videoSize();
}

bool Camera::captureRunning() const
{
    return m_schedule && m_schedule->capturing();
}

int Camera::captureCountdown() const
{
    return m_schedule ? m_schedule->captureCountdown() : 0;
}

bool Camera::brightnessActions(int figure)
{
    return m_brightness->brightnessActions(figure);
}

} // namespace kestrelon
