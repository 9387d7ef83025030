#include "camera/CaptureSchedule.h"

#include "camera/CameraPreview.h"
#include "camera/SnapshotPass.h"
#include "core/SettingsModel.h"

#include <algorithm>
#include <filesystem>

namespace kestrelon {

namespace {

namespace fs = std::filesystem;

// The folder part of a path without its trailing "/" ("" for a bare name or one in "/").
std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A folder as the web server sees it: absolute, symbolic links resolved as far as it exists.
fs::path resolved(const std::string& folder)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    fs::path path = ec ? fs::path(folder) : fs::weakly_canonical(absolute, ec);
    if (ec) {
        path = absolute.lexically_normal();
    }
    // "/srv/www/" and "/srv/www" are one folder.
    if (path.has_relative_path() && path.filename().empty()) {
        path = path.parent_path();
    }
    return path;
}

// The web server serves what lies in its root folder or below it, whole names compared: a root
// of /srv/www does not serve /srv/www2.
bool insideRoot(const std::string& folder, const std::string& root)
{
    if (root.empty()) {
        return false;
    }
    const fs::path f = resolved(folder);
    const fs::path r = resolved(root);
    auto fi = f.begin();
    for (auto ri = r.begin(); ri != r.end(); ++ri, ++fi) {
        if (ri->empty()) {
            continue; // the empty last part of a root given as "/"
        }
        if (fi == f.end() || *fi != *ri) {
            return false;
        }
    }
    return true;
}

} // namespace

CaptureSchedule::CaptureSchedule(SettingsModel& settings, CameraPreview& preview, SnapshotPass& pass,
                                 std::chrono::milliseconds tick, QObject* parent)
    : QObject(parent), m_settings(settings), m_preview(preview), m_pass(pass)
{
    m_countdown = interval();
    CaptureTimer.setInterval(tick);
    connect(&CaptureTimer, &QTimer::timeout, this, &CaptureSchedule::CaptureTimerTimer);
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, [this] {
        if (!m_capturing) {
            startCapture();
        }
    });
    // Stopping the preview, by its button, a device change or a device that went away, stops
    // capture.
    connect(&preview, &CameraPreview::previewChanged, this, [this](bool running) {
        if (!running) {
            stopCapture();
        }
    });
    connect(&preview, &CameraPreview::frameArrived, this, &CaptureSchedule::onFrameArrived);
}

int CaptureSchedule::interval() const
{
    return std::clamp<int>(m_settings.snapshot()->Camera.Interval, kMinInterval, kMaxInterval);
}

QString CaptureSchedule::captureCaption() const
{
    return QString::fromLatin1(m_capturing ? kStopCapture : kStartCapture);
}

void CaptureSchedule::ToggleCapture()
{
    if (m_capturing) {
        stopCapture();
    } else {
        startCapture();
    }
}

QString CaptureSchedule::folderQuestion() const
{
    const auto s = m_settings.snapshot();
    const std::string folder = folderOf(s->Camera.File);
    if (insideRoot(folder, s->WebServe.Root)) {
        return {};
    }
    return QStringLiteral(
               "The image folder (%1) is not accessible on the Web Server's Root Folder Path \n (%2)")
        .arg(QString::fromStdString(folder), QString::fromStdString(s->WebServe.Root));
}

void CaptureSchedule::startCapture()
{
    const auto s = m_settings.snapshot();
    if (s->Camera.CheckPath) {
        if (const QString question = folderQuestion(); !question.isEmpty()) {
            const bool ignore = m_ask && m_ask(question);
            if (!ignore) {
                if (!m_ask) {
                    Q_EMIT statusLine(question);
                    Q_EMIT statusLine(
                        QStringLiteral("Capture not started: without a window the question is "
                                       "answered Cancel ([Camera] CheckPath=0 turns the check off)"));
                }
                return;
            }
        }
    }
    // A preview that cannot start (no device, a broken one) says why; capture stays stopped.
    if (!m_preview.previewRunning() && !m_preview.StartPreview()) {
        return;
    }
    // The first snapshot of a run is written at once, also between the timed saves of
    // continuous update. A preview started just now has no frame yet: the pass runs again when
    // the first one arrives.
    m_pass.markForced();
    m_firstPassWaiting = m_pass.btnSnapNowClick(Originator::Window) == PassOutcome::NoFrame;
    m_countdown = interval();
    CaptureTimer.start();
    m_capturing = true;
    m_preview.setCapturing(true);
    Q_EMIT captureChanged(true);
    Q_EMIT statusLine(QStringLiteral("Capture started: a snapshot every %1 seconds to %2")
                          .arg(m_countdown)
                          .arg(QString::fromStdString(m_settings.snapshot()->Camera.File)));
}

void CaptureSchedule::onFrameArrived()
{
    if (!m_firstPassWaiting) {
        return;
    }
    // A pass of the frame timer may have written the forced snapshot already.
    if (!m_capturing || !m_pass.forced()) {
        m_firstPassWaiting = false;
        return;
    }
    m_firstPassWaiting = m_pass.btnSnapNowClick(Originator::Window) == PassOutcome::NoFrame;
}

void CaptureSchedule::stopCapture()
{
    if (!m_capturing) {
        return;
    }
    CaptureTimer.stop();
    m_capturing = false;
    m_firstPassWaiting = false;
    m_preview.setCapturing(false);
    m_panel32.clear();
    Q_EMIT countdownChanged(m_panel32);
    Q_EMIT captureChanged(false);
    const std::string file = m_settings.snapshot()->Camera.File;
    if (m_settings.snapshot()->Camera.DeleteOnCapEnd && !file.empty()) {
        // A file that cannot be deleted is not reported.
        std::error_code ec;
        fs::remove(file, ec);
    }
    Q_EMIT statusLine(QStringLiteral("Capture stopped"));
}

void CaptureSchedule::CaptureTimerTimer()
{
    if (!m_capturing) {
        return;
    }
    // Shown after the decrement and before the reload: with an interval of 1 it always reads 0.
    m_countdown = std::max(0, m_countdown - 1);
    m_panel32 = QString::number(m_countdown);
    Q_EMIT countdownChanged(m_panel32);
    if (m_countdown == 0) {
        m_pass.btnSnapNowClick(Originator::Window);
        m_countdown = interval();
    }
}

void CaptureSchedule::startAtStartup()
{
    const auto s = m_settings.snapshot();
    if (!s->Camera.AutoSelect || !s->Camera.AutoStart) {
        return;
    }
    m_delay.start(std::clamp<int>(s->Camera.Delay, 0, 2000));
}

int CaptureSchedule::spIntervalStep(int value)
{
    return value < 100 ? 1 : value < 1000 ? 10 : 100;
}

} // namespace kestrelon
