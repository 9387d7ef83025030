#pragma once

#include "app/CommandLine.h"
#include "camera/Camera.h"
#include "camera/SnapshotUpload.h"
#include "core/LineLog.h"
#include "core/ProgramPaths.h"
#include "core/SettingsFile.h"
#include "core/SettingsModel.h"
#include "iprefresh/IpRefresh.h"
#include "iprefresh/QueuedChangeMailer.h"
#include "launcher/ExternalPrograms.h"
#include "launcher/ProcessLauncher.h"
#include "media/VideoCaptures.h"
#include "net/FtpClient.h"
#include "net/HttpClient.h"
#include "net/MailQueue.h"
#include "portio/IoControl.h"
#include "portio/PortAddress.h"
#include "portio/PortOutputDevice.h"
#include "portio/PortSchedule.h"
#include "streaming/CapturePreview.h"
#include "streaming/HttpViewerPort.h"
#include "streaming/VideoStreaming.h"
#include "timecheck/ClockSetter.h"
#include "timecheck/TimeCheck.h"
#include "web/MessageLog.h"
#include "web/WebServer.h"

#include <QObject>

#include <atomic>

#include <functional>
#include <memory>
#include <string>

namespace kestrelon {

// The program's start-up and shutdown order, and the owner of every feature object. The order is
// the same with and without a window; the window (or the headless runner) calls these steps and
// shows what they report. Main thread only.
class Application : public QObject {
    Q_OBJECT
public:
    explicit Application(CommandLine commandLine, QObject* parent = nullptr);
    ~Application() override;

    // Start-up step "create": loads the settings (unless loadSettings() has already) and prepares
    // every feature. Returns false with error set when the settings file exists but cannot be
    // used (it cannot be read, or it is not a settings file).
    bool create(std::string& error);
    // The first part of "create" alone: reads the settings file, so that the window knows
    // [SplashScreen] Hold before it shows anything. Runs once; create() calls it when needed.
    bool loadSettings(std::string& error);
    // The first showing of the window (or the headless start): starts the server when asked.
    // Runs once; later calls do nothing.
    void firstShow();
    // The first activation: the camera's automatic preview and capture, the snapshot upload, the
    // start-up port value. Runs once.
    void firstActivate();

    // "Save": writes the settings file now. A file that another program changed since it was
    // read or written here is kept unless replaceChangedFile is set.
    SettingsFile::SaveResult save(bool replaceChangedFile = false);
    // Whether the settings file on disk differs from what the program last read or wrote.
    bool settingsFileChanged() const { return m_file && m_file->changedOnDisk(); }

    // Who asked for the end: the user (the window's close, the tray's "Exit") or a signal
    // (SIGTERM, SIGINT: a logout, a service manager).
    enum class CloseReason { User, Signal };
    struct ShutdownResult {
        bool finished = true; // false: the program stays (a user's close whose save failed)
        int exitStatus = 0;   // 1 when the settings could not be saved
        std::string message;  // why they were not saved, for the user or the log; empty if they were
    };
    // The shutdown order after the close question. When the settings cannot be written, a close
    // by the user stops after the save and the program stays, so the user can make the file
    // writable; a close by a signal logs it and ends all the same, with exit status 1. A file
    // another program changed since it was read is kept (not an error) unless replaceChangedFile.
    ShutdownResult shutdown(CloseReason reason = CloseReason::User, bool replaceChangedFile = false);
    // Reads the settings file again (SIGHUP). A file that cannot be read whole, or is not a
    // settings file, is not used: the settings stay as they are. Returns the empty text, or why
    // the file was not used.
    std::string reload();

    const CommandLine& commandLine() const { return m_commandLine; }
    const ProgramPaths& paths() const { return m_paths; }
    // After loadSettings(): on an installed program's first start on this account, where its new
    // settings file and web root are (or what could not be written); else empty.
    const std::string& firstStartNote() const { return m_firstStartNote; }
    SettingsModel& settings() { return *m_settings; }
    MessageLog& messageLog() { return *m_log; }
    WebServer& webServer() { return *m_web; }
    PortOutputDevice& port() { return m_port; }
    // Where the feedback form and the address-change mail send their mails.
    MailQueue& mailQueue() { return m_mailQueue; }
    // The I/O switch, the manual and start-up values, and the schedule (after create()).
    IoControl& ioControl() { return *m_ioControl; }
    PortSchedule& schedule() { return *m_schedule; }
    // The time check (after create()).
    TimeCheck& timeCheck() { return *m_timeCheck; }
    // The external programs (after create()).
    ExternalPrograms& externalPrograms() { return *m_external; }
    // The video sources and their captures, and the camera (after create()).
    VideoCaptures& videoCaptures() { return *m_captures; }
    Camera& camera() { return *m_camera; }
    // The snapshot's FTP upload (after create()).
    SnapshotUpload& snapshotUpload() { return *m_upload; }
    // IP-Refresh and its log (after create()).
    IpRefresh& ipRefresh() { return *m_ipRefresh; }
    LineLog& ipRefreshLog() { return *m_refreshLog; }

    // The live stream and the Video page's preview (after create()).
    VideoStreaming& videoStreaming() { return *m_videoStreaming; }
    CapturePreview& streamPreview() { return *m_streamPreview; }
    // How the features ask a Yes/No question (the stream's error question): the window asks the
    // user; without an answerer (headless) every question takes its safe answer, No. May be set
    // before create(), whose start-up steps may already ask.
    using Question = std::function<bool(const QString& text)>;
    void setQuestion(Question ask) { m_question = std::move(ask); }

    // The user guide beside the settings file.
    std::string helpDocumentPath() const { return m_paths.helpDocument(); }
    bool helpDocumentExists() const;

Q_SIGNALS:
    // A message box's text (headless: a line on standard error).
    void messageBox(const QString& text);
    // The first activation asks for the Camera page (AutoSelect, or the 640 x 480 size).
    void cameraPageRequested();
    // The live stream started or stopped (VideoStreaming::statusLine), from the start-up on.
    void streamStatusLine(const QString& text);

private:
    void writeHelpDocument();

    CommandLine m_commandLine;
    ProgramPaths m_paths;
    std::string m_firstStartNote;
    std::unique_ptr<SettingsFile> m_file;
    std::unique_ptr<SettingsModel> m_settings;
    bool m_created = false;
    std::unique_ptr<MessageLog> m_log;
    std::atomic<bool> m_logOn{false}; // WebServe.Log of the latest settings
    PortOutputDevice m_port;
    // The mails of the feedback form and the address-change mail, on threads of their own; after
    // the log, which they write to, and stopped before the features go.
    MailQueue m_mailQueue;
    std::unique_ptr<IoControl> m_ioControl;
    std::unique_ptr<PortSchedule> m_schedule;
    std::unique_ptr<WebServer> m_web;
    // The real system clock; the time check sets it only with "Adjust PC clock".
    SystemClockSetter m_clockSetter;
    std::unique_ptr<TimeCheck> m_timeCheck;
    // The launcher outlives the programs' list, which holds on to it.
    std::unique_ptr<ProcessLauncher> m_launcher;
    std::unique_ptr<ExternalPrograms> m_external;
    // The captures outlive the camera that uses them.
    std::unique_ptr<VideoCaptures> m_captures;
    std::unique_ptr<Camera> m_camera;
    // The stream and its preview use the captures too, and go before them.
    std::unique_ptr<CapturePreview> m_streamPreview;
    // The viewer port outlives the stream that opens and closes it.
    std::unique_ptr<HttpViewerPort> m_viewerPort;
    std::unique_ptr<VideoStreaming> m_videoStreaming;
    Question m_question;
    // Holds on to the server's busy flag.
    std::unique_ptr<SnapshotUpload> m_upload;
    // IP-Refresh's clients and log outlive IP-Refresh, which holds on to them.
    std::unique_ptr<HttpClient> m_pageClient;
    std::unique_ptr<FtpClient> m_siteFtp;
    std::unique_ptr<QueuedChangeMailer> m_changeMailer;
    std::unique_ptr<LineLog> m_refreshLog;
    std::unique_ptr<IpRefresh> m_ipRefresh;
    bool m_shown = false;
    bool m_activated = false;
    bool m_shutDown = false;
};

} // namespace kestrelon
