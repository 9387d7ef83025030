#pragma once

#include "core/LineLog.h"
#include "core/SerialJobRunner.h"
#include "core/ServerBusy.h"
#include "net/FtpClient.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>

namespace kestrelon {

class SettingsModel;

// The snapshot upload: sends the snapshot file ([Camera] File) by FTP to a remote web host as
// [FTPCamera] Directory / File, on demand or every [FTPCamera] Interval seconds between Start and
// Stop, so that a page hosted elsewhere shows the current picture. Each upload is one FTP session
// (binary, the folder entered without a trailing "\" or "/", the file replaced) and writes its
// steps to the upload log while [Camera] CameraLog is set; every failure ends in the one line
// kError. While an upload runs serverBusy is raised (the snapshot pass leaves the file alone) and
// ImageFTPTimer is off, so uploads never overlap.
//
// Threads: the object lives on the main thread and every function is called there. The FTP
// session runs as a job of its own job runner; its log lines and status texts come back by the
// runner's posts. Every wait on the server is bounded by the FTP client's time-outs and ends at
// once when the job is cancelled.
class SnapshotUpload : public QObject {
    Q_OBJECT
public:
    // The local time of the log lines' stamps. Called on the job's worker thread.
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    static constexpr int kMinInterval = 5;
    static constexpr int kMaxInterval = 6000;
    // ImageFTPTimer's interval.
    static constexpr std::chrono::milliseconds kTick{1000};
    // Label63's caption while periodic upload runs.
    static constexpr const char* kActive = "(FTP Active)";
    static constexpr const char* kError = "  Camera image upload +++Error";

    // clock: the system clock when empty. tick: ImageFTPTimer's interval; tests give a long one and
    // call ImageFTPTimerTimer themselves.
    SnapshotUpload(SettingsModel& settings, ServerBusy& busy, Clock clock = {}, FtpClient::Options ftp = {},
                   std::chrono::milliseconds tick = kTick, QObject* parent = nullptr);
    // Cancels a running upload and waits for it to give up.
    ~SnapshotUpload() override;

    // "Upload": one upload, at once. Does nothing while one runs.
    void upload();
    bool uploading() const { return m_uploading; }

    // Start and Stop of periodic upload ("Start" disabled, "Stop" enabled and "(FTP Active)" shown
    // while it runs). Start during an upload counts from the upload's end.
    void start();
    void stop();
    bool periodicRunning() const { return m_periodic; }

    // ImageFTPTimer's tick: counts uploadCountdown down and uploads at 0.
    void ImageFTPTimerTimer();
    QTimer ImageFTPTimer;
    int uploadCountdown() const { return m_countdown; }
    // Panel40, "Seconds left to next upload": the countdown, empty while stopped.
    const QString& Panel40() const { return m_panel40; }
    // Label80: the log's line count, as of the last upload's end (or the last "Clear Log").
    const QString& Label80() const { return m_label80; }

    // "Copy From IP-Refresh": the site upload's host, user name and password, each only when set.
    void copyFromIpRefresh();
    // "Clear Log".
    void clearLog();
    // The upload log: each line stamped with the local date and time ("c"); lines are added only
    // while [Camera] CameraLog is set. Emptied at the start of an upload once it is over the limit.
    LineLog& log() { return m_log; }
    // Why the last upload failed; empty after a success.
    const std::string& lastError() const { return m_lastError; }

    // The window's first activation: Start when [FTPCamera] AutoStart is set, unless noAuto.
    void startAtStartup(bool noAuto);
    // Shutdown: periodic upload stops, a running upload is told to give up, and this waits up to
    // bound for it. True when no upload runs any more; nothing starts afterwards.
    bool shutdown(std::chrono::milliseconds bound);

    // The interval box's step for its value (SpinEdit2Change).
    static int intervalStep(int value);
    // The remote folder as entered and as logged: without its trailing "\" and "/" ("/" itself
    // stays the root when entered, and logs as the empty text).
    static std::string remoteFolder(const std::string& directory);

Q_SIGNALS:
    void periodicChanged(bool running);
    void countdownChanged(const QString& panel40);
    // The status bar: "Connecting to HOST...", "Connected to HOST", empty at the disconnect.
    void statusTextChanged(const QString& text);
    void uploadingChanged(bool uploading);
    // An upload has ended, Label80 shows the count and serverBusy is lowered.
    void uploadFinished(bool succeeded);
    void label80Changed(const QString& text);

private:
    struct Job {
        FtpAccount account;
        std::string directory; // as typed
        std::string localFile;
        std::string remoteFile;
    };
    struct Result {
        bool succeeded = false;
        std::string error;
    };

    void runUpload(const Job& job, SerialJobRunner::Context& context);
    // Main thread.
    void finishUpload(const Result& result);
    void followTimer();
    void setPanel40(const QString& text);
    void setLabel80();
    int interval() const;

    SettingsModel& m_settings;
    ServerBusy& m_busy;
    Clock m_clock;
    LineLog m_log;
    bool m_periodic = false;
    bool m_uploading = false;
    bool m_closed = false;
    int m_countdown = 0;
    QString m_panel40;
    QString m_label80 = QStringLiteral("0");
    std::string m_lastError;
    ServerBusy::Token m_busyToken;
    // Used by the jobs only, on the worker thread.
    FtpClient m_ftp;
    // Last: stopped and joined before what its jobs use goes.
    SerialJobRunner m_jobs;
};

} // namespace kestrelon
