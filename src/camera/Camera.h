#pragma once

#include "camera/SnapshotContext.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

namespace kestrelon {

class BrightnessControl;
class CameraPreview;
class CaptureSchedule;
class PortOutputDevice;
class ServerBusy;
class SettingsModel;
class SnapshotPass;
class VideoCaptures;

// The camera of the program: the preview of the chosen device, the snapshot pass, periodic
// capture and the light-level control, joined so that the pass sees the preview's frames and
// size and the schedule's countdown, the frame timer runs passes and a stopped preview stops
// capture. The window and the headless run use the same object; the window adds the pages.
//
// Threads: main thread only.
class Camera : public QObject, private SnapshotContext {
    Q_OBJECT
public:
    // captureTick: CaptureTimer's interval (tests give a long one and tick by hand).
    Camera(SettingsModel& settings, VideoCaptures& captures, const ServerBusy& busy, PortOutputDevice& port,
           std::chrono::milliseconds captureTick = std::chrono::milliseconds(1000),
           QObject* parent = nullptr);
    ~Camera() override;

    CameraPreview& preview() { return *m_preview; }
    SnapshotPass& pass() { return *m_pass; }
    CaptureSchedule& schedule() { return *m_schedule; }
    BrightnessControl& brightness() { return *m_brightness; }

    // The window's first activation: unless noauto, AutoSelect starts the preview and AutoStart
    // capture after its delay. True when the Camera page is to be shown (AutoSelect unless
    // noauto, or the 640 x 480 size).
    bool firstActivate(bool noauto);
    // The shutdown steps: capture stops (deleting the file when asked), then the preview, so the
    // device is closed before the settings are written.
    void shutdown();

Q_SIGNALS:
    // A status text for the user: why the preview stopped or could not start, capture started or
    // stopped, a snapshot that could not be written. Headless these are "camera: " lines.
    void statusLine(const QString& text);

private:
    // SnapshotContext: what the pass asks at the moment it runs.
    bool previewRunning() const override;
    FrameSource* frameSource() override;
    VideoSize videoSize() const override;
    bool captureRunning() const override;
    int captureCountdown() const override;
    bool brightnessActions(int figure) override;

    SettingsModel& m_settings;
    std::unique_ptr<CameraPreview> m_preview;
    std::unique_ptr<BrightnessControl> m_brightness;
    std::unique_ptr<SnapshotPass> m_pass;
    std::unique_ptr<CaptureSchedule> m_schedule;
};

} // namespace kestrelon
