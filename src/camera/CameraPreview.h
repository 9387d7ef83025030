#pragma once

#include "camera/VideoSize.h"

#include "core/Settings.h"
#include "media/Capture.h"
#include "media/FrameSource.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

namespace kestrelon {

class SettingsModel;
class VideoCaptures;

// The camera's preview: which device, whether its capture runs, the video size that every snapshot
// gets and where it sits in the display area, the frame timer of the continuously updated snapshot
// window, the full-screen switch, the camera status label and the device's own controls. Widgets
// draw what it holds and call its handlers; a headless run uses it the same way without them.
//
// Settings read ([Camera]): AutoSelectDevice (the device position, written by cboxDeviceChange),
// AutoSelect, AutoStart (cleared by cbAutoSelectClick), Update, fps, Flicker and the size buttons
// 288, 264, 240, 480, 320. Changes of the model are followed at once.
//
// It is the snapshot pass's frame source: grabFrame gives the latest frame of the previewed device,
// nothing while the preview is stopped.
//
// Threads: main thread only.
class CameraPreview : public QObject, public FrameSource {
    Q_OBJECT
public:
    // The display area that holds the preview and the snapshot window.
    static constexpr int kDisplayWidth = 352;
    static constexpr int kDisplayHeight = 288;
    static constexpr const char* kStartPreview = "Start Preview";
    static constexpr const char* kStopPreview = "Stop Preview";
    static constexpr const char* kFullScreen = "Full Screen";
    static constexpr const char* kNormalScreen = "Normal Screen";
    static constexpr const char* kNoDevice = "Camera: no video device is selected";

    enum class CameraStatus { Stopped, Available, Running };
    Q_ENUM(CameraStatus)

    // Sets up from the settings: the size, the frame timer, the stored device (none when its position
    // lies outside the list). Starts nothing.
    CameraPreview(SettingsModel& settings, VideoCaptures& captures, QObject* parent = nullptr);
    ~CameraPreview() override;

    // The device box.
    QStringList deviceNames() const;
    // The chosen position in the list, -1 for none.
    int selectedDevice() const { return m_selected; }
    // A choice in the device box: stores the position, then acts as a click of Start/Stop Preview, so
    // it starts a stopped preview with that device and stops a running one.
    void cboxDeviceChange(int position);

    // Starts the capture of the selected device and sets the label to "Available". False, with the
    // reason in statusText(), when no device is selected or its capture cannot be built; the
    // preview then stays stopped.
    bool StartPreview();
    // Start Preview / Stop Preview.
    void btnStartPreviewClick();
    bool previewRunning() const { return m_capture != nullptr; }
    QString startPreviewCaption() const;
    // The first activation of the window: with AutoSelect set and unless noauto, the preview starts.
    // True when the camera page is to be shown.
    bool autoSelectStart(bool noauto);

    // The size table, applied again from the settings.
    void rbAspectClick();
    const VideoSize& videoSize() const { return m_size; }

    // The frame timer: its interval from the two radio pairs, running while Update is set and the
    // program is the active one.
    void FrameTimeClick();
    void cbUpdateClick();
    void FrameTimerTimer();
    // The window says whether the program is the active one (QGuiApplication::applicationState).
    void setApplicationActive(bool active);
    int frameInterval() const { return m_interval; }
    QString rb12Caption() const;
    QString rb25Caption() const;
    // rb12 and rb25 are enabled only while Update is set.
    bool frameRateButtonsEnabled() const { return m_update; }
    QTimer FrameTimer;

    // Clearing AutoSelect clears AutoStart; AutoStart is enabled only while AutoSelect is set.
    void cbAutoSelectClick();
    bool autoStartEnabled() const;

    // The preview's popup menu: full screen only at 640 x 480.
    bool popScreenEnabled() const;
    QString popScreenCaption() const;
    void popScreenClick();
    bool fullScreen() const { return m_fullScreen; }

    // The camera status label: "Stopped" black, "Available" olive while the preview runs, "Running"
    // green while periodic capture runs (which capture scheduling reports with setCapturing).
    CameraStatus cameraStatus() const { return m_status; }
    QString cameraStatusText() const;
    Colour cameraStatusColour() const;
    void setCapturing(bool capturing);
    // The snapshot file name and its Browse button may change only while capture does not run.
    bool fileNameEnabled() const { return m_status != CameraStatus::Running; }

    // The device's own controls, in place of the driver's setting pages: their buttons are enabled
    // only while the previewed device offers some.
    bool deviceControlsAvailable() const;
    std::vector<DeviceControl> deviceControls() const;
    std::optional<int> deviceControlValue(const QString& name) const;
    bool setDeviceControlValue(const QString& name, int value);

    // FrameSource: the latest frame of the previewed device.
    std::optional<VideoFrame> grabFrame() override;
    // The same without a copy, for drawing the preview; null while stopped or before the first frame.
    std::shared_ptr<const VideoFrame> latestFrame() const;

    // Why the preview could not start or stopped by itself; empty after a good start.
    const QString& statusText() const { return m_statusText; }

Q_SIGNALS:
    // The preview started or stopped: the button caption, and the two "Start Capture" buttons that
    // are enabled only while it runs. A stop also ends periodic capture.
    void previewChanged(bool running);
    void cameraStatusChanged(CameraPreview::CameraStatus status);
    void videoSizeChanged(const VideoSize& size);
    // Interval, captions or the enabled state of the frame-rate buttons changed.
    void frameTimerChanged();
    void fullScreenChanged(bool fullScreen);
    void deviceControlsChanged(bool available);
    void statusTextChanged(const QString& text);
    // A new frame of the previewed device is there (latestFrame).
    void frameArrived();
    // The frame timer fired: one snapshot pass, with the window as its originator.
    void framePassDue();

private:
    void stopPreview();
    void releaseCapture();
    void followSettings();
    void followFrameTimer();
    void updateStatus();
    void updateControls();
    void setStatusText(const QString& text);
    void onCaptureState(Capture::State state);

    SettingsModel& m_settings;
    VideoCaptures& m_captures;
    int m_selected = -1;
    Capture* m_capture = nullptr;
    Capture::Use m_use;
    std::vector<QMetaObject::Connection> m_captureConnections;
    VideoSize m_size;
    int m_interval = 80;
    bool m_flicker = true;
    bool m_update = false;
    bool m_applicationActive = false;
    bool m_fullScreen = false;
    bool m_capturing = false;
    bool m_controlsAvailable = false;
    CameraStatus m_status = CameraStatus::Stopped;
    QString m_statusText;
};

} // namespace kestrelon
