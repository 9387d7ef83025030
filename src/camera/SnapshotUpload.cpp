#include "camera/SnapshotUpload.h"

#include "core/SettingsModel.h"

#include <algorithm>

namespace kestrelon {

namespace {

// The FTP client's connect and disconnect events, as status-bar texts; called on the worker.
class StatusEvents : public FtpSessionEvents {
public:
    StatusEvents(std::string host, std::function<void(const QString&)> status)
        : m_host(std::move(host)), m_status(std::move(status))
    {
    }
    void connected() override { m_status(QString::fromStdString("Connected to " + m_host)); }
    void disconnected() override { m_status(QString()); }

private:
    std::string m_host;
    std::function<void(const QString&)> m_status;
};

} // namespace

SnapshotUpload::SnapshotUpload(SettingsModel& settings, ServerBusy& busy, Clock clock, FtpClient::Options ftp,
                               std::chrono::milliseconds tick, QObject* parent)
    : QObject(parent), m_settings(settings), m_busy(busy),
      m_clock(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); })),
      // Every line starts with the local date and time in the default rendering; the texts bring
      // their own two blanks. The line limit is checked before each upload, not before each line.
      m_log(LineLog::Options{"c", "", LineLog::LineLimit::WhenAsked,
                             [&settings] { return settings.snapshot()->Camera.CameraLog; }, m_clock}),
      m_ftp(ftp)
{
    ImageFTPTimer.setObjectName("ImageFTPTimer");
    ImageFTPTimer.setInterval(tick);
    connect(&ImageFTPTimer, &QTimer::timeout, this, &SnapshotUpload::ImageFTPTimerTimer);
}

SnapshotUpload::~SnapshotUpload() = default;

int SnapshotUpload::interval() const
{
    return std::clamp<int>(m_settings.snapshot()->FTPCamera.Interval, kMinInterval, kMaxInterval);
}

std::string SnapshotUpload::remoteFolder(const std::string& directory)
{
    const size_t end = directory.find_last_not_of("\\/");
    return end == std::string::npos ? std::string() : directory.substr(0, end + 1);
}

void SnapshotUpload::upload()
{
    if (m_uploading || m_closed) {
        return;
    }
    m_log.emptyIfFull();
    // The snapshot pass leaves the file alone, and the timer rests, until the upload is over.
    m_busyToken = m_busy.raise();
    m_uploading = true;
    followTimer();
    Q_EMIT uploadingChanged(true);

    const auto s = m_settings.snapshot();
    Job job;
    job.account = {s->FTPCamera.Host, s->FTPCamera.Username, s->FTPCamera.Password, false};
    job.directory = s->FTPCamera.Directory;
    job.localFile = s->Camera.File;
    job.remoteFile = s->FTPCamera.File;
    // Queued, not started: the runner may still be winding up the last upload, whose end is over.
    m_jobs.enqueue([this, job](SerialJobRunner::Context& context) { runUpload(job, context); });
}

void SnapshotUpload::runUpload(const Job& job, SerialJobRunner::Context& context)
{
    // The log takes lines from any thread; it stamps them as they come.
    const auto log = [this](const std::string& text) { m_log.append(text); };
    const auto status = [&](const QString& text) {
        context.post([this, text] { Q_EMIT statusTextChanged(text); });
    };
    const std::string& host = job.account.host;
    status(QString::fromStdString("Connecting to " + host + "..."));
    log("  Connecting to " + host);
    StatusEvents events(host, status);
    Result result;
    std::string error = m_ftp.connect(job.account, events, context.stopToken());
    if (error.empty()) {
        log("  Connected to " + host);
        const std::string folder = remoteFolder(job.directory);
        if (!job.directory.empty()) {
            // A folder of separators alone is the server's root.
            error = m_ftp.changeDirectory(folder.empty() ? "/" : folder);
        }
        if (error.empty()) {
            error = m_ftp.store(job.localFile, job.remoteFile);
        }
        if (error.empty()) {
            log("  " + job.localFile + " uploaded as " + folder + "/" + job.remoteFile);
        }
    }
    if (!error.empty()) {
        log(kError);
    }
    m_ftp.quit();
    log("  Disconnected");
    result.succeeded = error.empty();
    result.error = std::move(error);
    context.post([this, result] { finishUpload(result); });
}

void SnapshotUpload::finishUpload(const Result& result)
{
    m_lastError = result.error;
    m_countdown = interval();
    m_uploading = false;
    if (m_periodic) {
        setPanel40(QString::number(m_countdown));
    }
    followTimer();
    m_busyToken.reset();
    setLabel80();
    Q_EMIT uploadingChanged(false);
    Q_EMIT uploadFinished(result.succeeded);
}

void SnapshotUpload::start()
{
    if (m_periodic || m_closed) {
        return;
    }
    m_periodic = true;
    m_countdown = interval();
    setPanel40(QString::number(m_countdown));
    followTimer();
    Q_EMIT periodicChanged(true);
}

void SnapshotUpload::stop()
{
    if (!m_periodic) {
        return;
    }
    m_periodic = false;
    setPanel40(QString());
    followTimer();
    Q_EMIT periodicChanged(false);
}

void SnapshotUpload::ImageFTPTimerTimer()
{
    if (!m_periodic || m_uploading) {
        return;
    }
    m_countdown = std::max(0, m_countdown - 1);
    setPanel40(QString::number(m_countdown));
    if (m_countdown == 0) {
        upload();
    }
}

void SnapshotUpload::followTimer()
{
    // Off while an upload runs, whoever started it; a Stop during the upload keeps it off.
    const bool on = m_periodic && !m_uploading && !m_closed;
    if (!on) {
        ImageFTPTimer.stop();
    } else if (!ImageFTPTimer.isActive()) {
        ImageFTPTimer.start();
    }
}

void SnapshotUpload::setPanel40(const QString& text)
{
    m_panel40 = text;
    Q_EMIT countdownChanged(text);
}

void SnapshotUpload::setLabel80()
{
    m_label80 = QString::number(m_log.lineCount());
    Q_EMIT label80Changed(m_label80);
}

void SnapshotUpload::copyFromIpRefresh()
{
    m_settings.update([](Settings& s) {
        if (!s.Remote.Host.empty()) {
            s.FTPCamera.Host = s.Remote.Host;
        }
        if (!s.Remote.Username.empty()) {
            s.FTPCamera.Username = s.Remote.Username;
        }
        if (!s.Remote.Password.empty()) {
            s.FTPCamera.Password = s.Remote.Password;
        }
    });
}

void SnapshotUpload::clearLog()
{
    m_log.clear();
    setLabel80();
}

void SnapshotUpload::startAtStartup(bool noAuto)
{
    if (!noAuto && m_settings.snapshot()->FTPCamera.AutoStart) {
        start();
    }
}

bool SnapshotUpload::shutdown(std::chrono::milliseconds bound)
{
    stop();
    m_closed = true;
    followTimer();
    return m_jobs.shutdown(bound);
}

int SnapshotUpload::intervalStep(int value)
{
    return value < 60 ? 1 : value < 300 ? 10 : value < 700 ? 30 : 60;
}

} // namespace kestrelon
