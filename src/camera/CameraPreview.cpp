#include "camera/CameraPreview.h"

#include "core/SettingsModel.h"
#include "media/VideoCaptures.h"

#include <tuple>

namespace kestrelon {

namespace {

// The label's colours as 0x00BBGGRR: olive is red 128, green 128; green is green 128.
constexpr Colour kBlack = 0x000000;
constexpr Colour kOlive = 0x008080;
constexpr Colour kGreen = 0x008000;

// The size buttons in the order they are tested; the last checked one wins.
VideoSize sizeFromSettings(const CameraSettings& camera, VideoSize size)
{
    if (camera.rb288) {
        size = {352, 288, 0, 0};
    }
    if (camera.rb264) {
        size = {352, 264, 0, 12};
    }
    if (camera.rb240) {
        size = {352, 240, 0, 24};
    }
    if (camera.rb480) {
        size = {640, 480, 0, 0};
    }
    if (camera.rb320) {
        size = {320, 240, 16, 24};
    }
    return size;
}

} // namespace

CameraPreview::CameraPreview(SettingsModel& settings, VideoCaptures& captures, QObject* parent)
    : QObject(parent), m_settings(settings), m_captures(captures)
{
    const int stored = settings.snapshot()->Camera.AutoSelectDevice;
    // A device removed since the position was stored: nothing is selected, the preview stays stopped.
    m_selected = stored >= 0 && stored < captures.count() ? stored : -1;
    FrameTimer.setTimerType(Qt::PreciseTimer);
    connect(&FrameTimer, &QTimer::timeout, this, &CameraPreview::FrameTimerTimer);
    m_size = sizeFromSettings(settings.snapshot()->Camera, m_size);
    followFrameTimer();
    settings.watch(
        this,
        [](const Settings& s) {
            const CameraSettings& c = s.Camera;
            return std::tuple(c.rb288, c.rb264, c.rb240, c.rb480, c.rb320, c.fps, c.Flicker, c.Update);
        },
        [this](const Settings&) { followSettings(); });
}

CameraPreview::~CameraPreview()
{
    releaseCapture();
}

QStringList CameraPreview::deviceNames() const
{
    return m_captures.deviceNames();
}

void CameraPreview::cboxDeviceChange(int position)
{
    m_settings.update([&](Settings& s) { s.Camera.AutoSelectDevice = position; });
    m_selected = position >= 0 && position < m_captures.count() ? position : -1;
    btnStartPreviewClick();
}

bool CameraPreview::StartPreview()
{
    const bool wasRunning = previewRunning();
    releaseCapture();
    Capture* capture = m_captures.capture(m_selected);
    if (!capture) {
        setStatusText(QString::fromLatin1(kNoDevice));
    } else {
        m_use = capture->attach();
        if (capture->state() == Capture::State::Failed) {
            setStatusText(capture->statusText());
            m_use.reset();
        } else {
            m_capture = capture;
            m_captureConnections = {
                connect(capture, &Capture::stateChanged, this, &CameraPreview::onCaptureState),
                connect(capture, &Capture::frameArrived, this, &CameraPreview::frameArrived),
                connect(capture, &Capture::controlsChanged, this, &CameraPreview::updateControls),
            };
            setStatusText({});
        }
    }
    updateControls();
    updateStatus();
    if (wasRunning != previewRunning()) {
        Q_EMIT previewChanged(previewRunning());
    }
    return previewRunning();
}

void CameraPreview::btnStartPreviewClick()
{
    if (previewRunning()) {
        stopPreview();
    } else {
        StartPreview();
    }
}

QString CameraPreview::startPreviewCaption() const
{
    return QString::fromLatin1(previewRunning() ? kStopPreview : kStartPreview);
}

bool CameraPreview::autoSelectStart(bool noauto)
{
    if (noauto || !m_settings.snapshot()->Camera.AutoSelect) {
        return false;
    }
    if (!previewRunning()) {
        btnStartPreviewClick();
    }
    return true;
}

void CameraPreview::stopPreview()
{
    const bool wasRunning = previewRunning();
    releaseCapture();
    m_capturing = false;
    updateControls();
    updateStatus();
    if (wasRunning) {
        Q_EMIT previewChanged(false);
    }
}

void CameraPreview::releaseCapture()
{
    for (const auto& connection : m_captureConnections) {
        disconnect(connection);
    }
    m_captureConnections.clear();
    m_capture = nullptr;
    m_use.reset();
}

void CameraPreview::onCaptureState(Capture::State state)
{
    if (state == Capture::State::Failed && m_capture) {
        // The device failed or went away: the preview stops and says why; Start Preview tries again.
        setStatusText(m_capture->statusText());
        stopPreview();
    }
}

void CameraPreview::rbAspectClick()
{
    const VideoSize size = sizeFromSettings(m_settings.snapshot()->Camera, m_size);
    if (size != m_size) {
        m_size = size;
        Q_EMIT videoSizeChanged(m_size);
    }
}

void CameraPreview::FrameTimeClick()
{
    followFrameTimer();
}

void CameraPreview::cbUpdateClick()
{
    followFrameTimer();
}

void CameraPreview::FrameTimerTimer()
{
    Q_EMIT framePassDue();
}

void CameraPreview::setApplicationActive(bool active)
{
    m_applicationActive = active;
    followFrameTimer();
}

void CameraPreview::followFrameTimer()
{
    const CameraSettings& camera = m_settings.snapshot()->Camera;
    // Mains at 50 Hz: 12.5 or 25 frames a second; at 60 Hz: 15 or 30.
    const int slow = camera.Flicker ? 80 : 63;
    const int fast = camera.Flicker ? 40 : 33;
    const int interval = camera.fps ? slow : fast;
    const bool changed = interval != m_interval || camera.Flicker != m_flicker || camera.Update != m_update;
    m_interval = interval;
    m_flicker = camera.Flicker;
    m_update = camera.Update;
    FrameTimer.setInterval(m_interval);
    const bool run = m_update && m_applicationActive;
    if (run && !FrameTimer.isActive()) {
        FrameTimer.start();
    } else if (!run && FrameTimer.isActive()) {
        FrameTimer.stop();
    }
    if (changed) {
        Q_EMIT frameTimerChanged();
    }
}

QString CameraPreview::rb12Caption() const
{
    return m_flicker ? QStringLiteral("12.5 fps") : QStringLiteral("15 fps");
}

QString CameraPreview::rb25Caption() const
{
    return m_flicker ? QStringLiteral("25 fps") : QStringLiteral("30 fps");
}

void CameraPreview::cbAutoSelectClick()
{
    if (!m_settings.snapshot()->Camera.AutoSelect && m_settings.snapshot()->Camera.AutoStart) {
        m_settings.update([](Settings& s) { s.Camera.AutoStart = false; });
    }
}

bool CameraPreview::autoStartEnabled() const
{
    return m_settings.snapshot()->Camera.AutoSelect;
}

bool CameraPreview::popScreenEnabled() const
{
    return m_settings.snapshot()->Camera.rb480;
}

QString CameraPreview::popScreenCaption() const
{
    return QString::fromLatin1(m_fullScreen ? kNormalScreen : kFullScreen);
}

void CameraPreview::popScreenClick()
{
    if (!popScreenEnabled()) {
        return;
    }
    m_fullScreen = !m_fullScreen;
    Q_EMIT fullScreenChanged(m_fullScreen);
}

void CameraPreview::followSettings()
{
    rbAspectClick();
    followFrameTimer();
    // Full screen is for 640 x 480 only; another size brings the preview back into the window.
    if (m_fullScreen && !popScreenEnabled()) {
        m_fullScreen = false;
        Q_EMIT fullScreenChanged(false);
    }
}

QString CameraPreview::cameraStatusText() const
{
    switch (m_status) {
    case CameraStatus::Available:
        return QStringLiteral("Available");
    case CameraStatus::Running:
        return QStringLiteral("Running");
    case CameraStatus::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

Colour CameraPreview::cameraStatusColour() const
{
    switch (m_status) {
    case CameraStatus::Available:
        return kOlive;
    case CameraStatus::Running:
        return kGreen;
    case CameraStatus::Stopped:
        break;
    }
    return kBlack;
}

void CameraPreview::setCapturing(bool capturing)
{
    m_capturing = capturing && previewRunning();
    updateStatus();
}

void CameraPreview::updateStatus()
{
    const CameraStatus status = !previewRunning() ? CameraStatus::Stopped
                                : m_capturing     ? CameraStatus::Running
                                                  : CameraStatus::Available;
    if (status != m_status) {
        m_status = status;
        Q_EMIT cameraStatusChanged(status);
    }
}

void CameraPreview::updateControls()
{
    const bool available = m_capture && !m_capture->controls().empty();
    if (available != m_controlsAvailable) {
        m_controlsAvailable = available;
        Q_EMIT deviceControlsChanged(available);
    }
}

bool CameraPreview::deviceControlsAvailable() const
{
    return m_controlsAvailable;
}

std::vector<DeviceControl> CameraPreview::deviceControls() const
{
    return m_capture ? m_capture->controls() : std::vector<DeviceControl>{};
}

std::optional<int> CameraPreview::deviceControlValue(const QString& name) const
{
    return m_capture ? m_capture->controlValue(name) : std::nullopt;
}

bool CameraPreview::setDeviceControlValue(const QString& name, int value)
{
    return m_capture && m_capture->setControlValue(name, value);
}

std::optional<VideoFrame> CameraPreview::grabFrame()
{
    return m_capture ? m_capture->grabFrame() : std::nullopt;
}

std::shared_ptr<const VideoFrame> CameraPreview::latestFrame() const
{
    return m_capture ? m_capture->latestFrame() : nullptr;
}

void CameraPreview::setStatusText(const QString& text)
{
    if (text != m_statusText) {
        m_statusText = text;
        Q_EMIT statusTextChanged(text);
    }
}

} // namespace kestrelon
