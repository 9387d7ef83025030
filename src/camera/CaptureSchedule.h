#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

namespace kestrelon {

class CameraPreview;
class SettingsModel;
class SnapshotPass;

// Periodic capture: "Start Capture" / "Stop Capture" (both buttons, one state), the check that
// the snapshot file lies in the web server's folder, the forced first pass, captureCountdown with
// its one-second CaptureTimer, the deletion of the file when capture stops, and the automatic
// start after [Camera] Delay milliseconds at start-up. While it runs the camera status reads
// "Running" (CameraPreview::setCapturing).
//
// Settings read ([Camera]): Interval, CheckPath, File, DeleteOnCapEnd, AutoSelect, AutoStart,
// Delay; [WebServe] Root. Each is read when it is needed, so a new interval counts from the next
// reload of the countdown.
//
// Threads: main thread only.
class CaptureSchedule : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kStartCapture = "Start Capture";
    static constexpr const char* kStopCapture = "Stop Capture";
    // CaptureTimer's interval.
    static constexpr std::chrono::milliseconds kTick{1000};
    static constexpr int kMinInterval = 1;
    static constexpr int kMaxInterval = 600000;

    // The folder question with Cancel and Ignore; true is Ignore. Without one (headless) the
    // question takes its safe answer, Cancel, and is reported as a status line.
    using Question = std::function<bool(const QString& text)>;

    // tick: CaptureTimer's interval; tests give a long one and drive CaptureTimerTimer themselves.
    CaptureSchedule(SettingsModel& settings, CameraPreview& preview, SnapshotPass& pass,
                    std::chrono::milliseconds tick = kTick, QObject* parent = nullptr);

    void setQuestion(Question ask) { m_ask = std::move(ask); }

    // Either capture button: starts capture while they read "Start Capture", else stops it.
    void ToggleCapture();
    // The stop branch alone, for the preview's stop and the shutdown; nothing when not capturing.
    void stopCapture();
    bool capturing() const { return m_capturing; }
    QString captureCaption() const;

    // captureCountdown: the seconds to the next timed snapshot, 0 during the timed pass itself.
    int captureCountdown() const { return m_countdown; }
    // Panel32: the countdown after each tick, empty while capture is stopped.
    const QString& Panel32() const { return m_panel32; }
    // The one-second tick.
    void CaptureTimerTimer();
    QTimer CaptureTimer;

    // The first activation, after the preview's automatic start: with AutoSelect and AutoStart
    // set, capture starts Delay milliseconds later (a timer: nothing waits meanwhile).
    void startAtStartup();
    bool startPending() const { return m_delay.isActive(); }
    void cancelStartup() { m_delay.stop(); }

    // The question asked before capture starts when the snapshot's folder is not the web root or
    // below it; empty when it is.
    QString folderQuestion() const;
    // spIntervalChange: the interval box's step for its value.
    static int spIntervalStep(int value);

Q_SIGNALS:
    // Capture started or stopped: both buttons' caption and the file name's box follow.
    void captureChanged(bool capturing);
    void countdownChanged(const QString& panel32);
    // What a user without a window should hear about: start, stop, the unanswered question.
    void statusLine(const QString& text);

private:
    void startCapture();
    void onFrameArrived();
    int interval() const;

    SettingsModel& m_settings;
    CameraPreview& m_preview;
    SnapshotPass& m_pass;
    Question m_ask;
    QTimer m_delay;
    bool m_capturing = false;
    // The forced first pass found no frame yet (the preview was just started): it runs when the
    // first one arrives.
    bool m_firstPassWaiting = false;
    int m_countdown = 0;
    QString m_panel32;
};

} // namespace kestrelon
