#include "app/Application.h"

#include "app/FirstStart.h"
#include "core/AtomicFile.h"
#include "core/IntText.h"
#include "iprefresh/RefreshLog.h"
#include "launcher/PosixProcessLauncher.h"
#include "streaming/CaptureFeed.h"

#include <QFile>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

namespace kestrelon {

namespace {

// What the shutdown waits for an upload to give up (the FTP client ends a wait within two seconds).
constexpr std::chrono::milliseconds kUploadShutdownBound{3000};

bool exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

Application::Application(CommandLine commandLine, QObject* parent)
    : QObject(parent), m_commandLine(std::move(commandLine)),
      m_paths(ProgramPaths::locate(m_commandLine.config))
{
}

Application::~Application()
{
    // Whatever way the program ends, no mail or request runs on after the objects it uses.
    if (m_web) {
        m_web->setExternalLookup({});
    }
    m_ipRefresh.reset();
    m_mailQueue.stop();
    // The stream, its preview and the camera hold on to the captures; the camera also to the
    // server's busy flag.
    m_videoStreaming.reset();
    m_viewerPort.reset();
    m_streamPreview.reset();
    // The upload holds on to the server's busy flag too.
    m_upload.reset();
    m_camera.reset();
    m_captures.reset();
    if (m_web) {
        m_web.reset();
    }
}

bool Application::loadSettings(std::string& error)
{
    if (m_settings) {
        return true;
    }
    // A save that a crash interrupted left its temporary copy beside the file, scrambled
    // passwords and all, perhaps in the web root: it goes first.
    removeStaleTemporaries(m_paths.settingsFile);
    // An installed program's first start on this account writes a settings file to start from.
    m_firstStartNote = prepareFirstStart(m_paths, !m_commandLine.config.empty()).note;
    m_file = std::make_unique<SettingsFile>(m_paths.settingsFile);
    auto loaded = m_file->load(Settings::defaults(m_paths.dataDir));
    if (!loaded.error.empty()) {
        error = loaded.error;
        return false;
    }
    // The root folder carries no trailing "/".
    loaded.settings.WebServe.Root = WebServer::withoutTrailingSlash(loaded.settings.WebServe.Root);
    m_settings = std::make_unique<SettingsModel>(std::move(loaded.settings));
    return true;
}

bool Application::create(std::string& error)
{
    if (m_created) {
        return true;
    }
    // 1. The settings.
    if (!loadSettings(error)) {
        return false;
    }
    m_created = true;
    // The Message log asks on every line whether it is on: a flag that follows every change at
    // once, in the changing thread, costs less than a settings copy per line.
    m_logOn.store(m_settings->snapshot()->WebServe.Log);
    connect(
        m_settings.get(), &SettingsModel::replaced, this,
        [this](const std::shared_ptr<const Settings>&, const std::shared_ptr<const Settings>& after) {
            m_logOn.store(after->WebServe.Log);
        },
        Qt::DirectConnection);
    m_log = std::make_unique<MessageLog>([this] { return m_logOn.load(std::memory_order_relaxed); });

    // 2. The port schedule's timer runs from here to the end; the port address and its status
    // line from the settings.
    m_schedule = std::make_unique<PortSchedule>(*m_settings, m_port);
    m_schedule->start();
    m_ioControl = std::make_unique<IoControl>(
        *m_settings, m_port, [this](const std::string& line) { m_log->DisplayMessage(line); });

    // 3. The web server (its content-type table is built here), never serving the settings file.
    m_web = std::make_unique<WebServer>(*m_settings, *m_log, m_port, m_mailQueue);
    m_web->setSettingsFile(m_paths.settingsFile);
    connect(m_web.get(), &WebServer::messageBox, this, &Application::messageBox);

    // The camera: the device list with the remembered device, the size, the frame timer, the
    // captions; nothing starts before the first activation.
    m_captures = std::make_unique<VideoCaptures>(enumerateVideoDevices());
    m_camera = std::make_unique<Camera>(*m_settings, *m_captures, m_web->serverBusy(), m_port);
    // The snapshot's upload, started at the first activation at the earliest.
    m_upload = std::make_unique<SnapshotUpload>(*m_settings, m_web->serverBusy());

    // The live stream: the same sources, each fed from its shared capture; the profile and the
    // source from the settings, and the automatic start (not under -noauto: it has its own box).
    m_streamPreview = std::make_unique<CapturePreview>(*m_captures);
    m_videoStreaming = std::make_unique<VideoStreaming>(*m_settings, m_paths.streamFile());
    m_videoStreaming->setSources(m_captures->deviceNames(), captureFeedFactory(*m_captures));
    m_videoStreaming->setPreview(m_streamPreview.get());
    // Viewers connect on every address, or on the one --listen names.
    m_viewerPort = std::make_unique<HttpViewerPort>(m_commandLine.listen);
    m_videoStreaming->setViewerPort(m_viewerPort.get());
    m_videoStreaming->setQuestion([this](const QString& text) { return m_question && m_question(text); });
    connect(m_videoStreaming.get(), &VideoStreaming::messageBox, this, &Application::messageBox);
    connect(m_videoStreaming.get(), &VideoStreaming::statusLine, this, &Application::streamStatusLine);
    m_videoStreaming->setUp();

    // IP-Refresh, after the web server whose addresses, log and restart it uses. The server's
    // starts and its address detection look the external address up through it.
    m_pageClient = std::make_unique<HttpClient>();
    m_siteFtp = std::make_unique<FtpClient>();
    m_changeMailer = std::make_unique<QueuedChangeMailer>(m_mailQueue);
    m_refreshLog = std::make_unique<LineLog>(refreshLogOptions());
    IpRefreshServices services{*m_pageClient,
                               *m_siteFtp,
                               *m_changeMailer,
                               *m_web,
                               *m_refreshLog,
                               m_web->ownAddresses(),
                               [this](const std::string& line) { m_log->DisplayMessage(line); },
                               {},
                               {},
                               m_commandLine.noLookup,
                               m_paths.uploadFile()};
    m_ipRefresh = std::make_unique<IpRefresh>(*m_settings, services);
    connect(m_ipRefresh.get(), &IpRefresh::messageBox, this, &Application::messageBox);
    m_web->setExternalLookup([this](std::function<void()> done) {
        m_ipRefresh->lookup().SetOutsideIP(LookupSender::Ordinary, std::move(done));
    });

    // 4. The user guide beside the settings file, unless an earlier run left it there.
    writeHelpDocument();

    // 5. Both hit counters: a missing count file starts at "000000", both images are drawn.
    m_web->counters().MakeCounterText();
    m_web->counters().redrawImages();

    // The time check; the daily check's timer and state follow [TimeServer] Daily.
    m_timeCheck = std::make_unique<TimeCheck>(*m_settings, m_clockSetter);
    m_timeCheck->applyDailySetting();
    // The external programs' list, at most four entries from the settings.
    m_launcher = std::make_unique<PosixProcessLauncher>();
    m_external = std::make_unique<ExternalPrograms>(*m_settings, *m_launcher, m_commandLine.noExternal);

    // IP-Refresh's precondition check, and the stored lookup definition in the router fields
    // before the address detection may look the address up with them.
    m_ipRefresh->prepareAtStartup();
    // 6. The own-address list and the address to bind; --listen chooses another.
    m_web->GetLocalIP(m_commandLine.noLookup);
    if (!m_commandLine.listen.empty()) {
        m_web->ownAddresses().setSelected(m_commandLine.listen);
    }
    return true;
}

void Application::firstShow()
{
    if (m_shown) {
        return;
    }
    m_shown = true;
    auto s = m_settings->snapshot();
    // The AutoStart box is enabled only while the default file exists.
    bool autoStartEnabled = WebServer::canStart(s->WebServe.Root, s->WebServe.RootFile);
    if ((m_commandLine.autoStart || s->WebServe.AutoStart) && !m_commandLine.noAuto && autoStartEnabled) {
        m_web->toggle();
    }
    // No external program of this run yet: its slots start empty.
    m_external->clearSlots();
    if (m_commandLine.noAuto) {
        return;
    }
    // "Check time automatically when Kestrelon starts".
    if (s->TimeServer.Auto) {
        m_timeCheck->checkNow();
    }
    // The external programs start 2 s later, unless -noexternal.
    if (!m_commandLine.noExternal) {
        m_external->startDelayed();
    }
    // IP-Refresh, when "Start automatically" ("Check once at startup") is set.
    m_ipRefresh->startAtStartup(false);
}

void Application::firstActivate()
{
    if (m_activated) {
        return;
    }
    m_activated = true;
    // The camera's preview and, after its delay, capture (both not under -noauto).
    if (m_camera->firstActivate(m_commandLine.noAuto)) {
        Q_EMIT cameraPageRequested();
    }
    if (m_commandLine.noAuto) {
        return;
    }
    m_upload->startAtStartup(m_commandLine.noAuto);
    m_ioControl->startupSend();
}

SettingsFile::SaveResult Application::save(bool replaceChangedFile)
{
    auto result = m_file->save(*m_settings->snapshot(), replaceChangedFile);
    // A save replaces the file; the server must know the new one to keep it from clients.
    m_web->setSettingsFile(m_paths.settingsFile);
    return result;
}

std::string Application::reload()
{
    auto loaded = m_file->reload(Settings::defaults(m_paths.dataDir));
    if (!loaded.error.empty()) {
        return loaded.error;
    }
    loaded.settings.WebServe.Root = WebServer::withoutTrailingSlash(loaded.settings.WebServe.Root);
    // The I/O control follows the switch through the model; the address is read again as at
    // start-up, since the file, unlike a box being typed in, holds a finished text.
    m_settings->update([&](Settings& s) { s = std::move(loaded.settings); });
    m_ioControl->setupPortAddress();
    return {};
}

Application::ShutdownResult Application::shutdown(CloseReason reason, bool replaceChangedFile)
{
    ShutdownResult result;
    if (m_shutDown) {
        return result;
    }
    // IP-Refresh first: a lookup or pass in progress gives up its waits, so nothing of it goes on
    // below, nor restarts the server.
    m_ipRefresh->cycle().Timer1.stop();
    m_web->cancelPendingStart();
    if (!m_ipRefresh->shutdown(std::chrono::seconds(3))) {
        m_log->DisplayMessage("IP-Refresh: a lookup or upload did not end in time and was abandoned");
    }
    // 1. The web server.
    if (m_web->running()) {
        m_web->toggle();
    }
    // Capture stops, then the preview closes its device; the stream and its preview stop, the
    // stream file goes.
    m_camera->shutdown();
    m_videoStreaming->shutdown();
    // 2. The settings. A user who closes the window can make the file writable and close again;
    // a signal asks for an end that nobody is there to answer.
    const auto saved = save(replaceChangedFile);
    result.message = saved.message;
    if (saved.status == SettingsFile::SaveStatus::Failed) {
        if (reason == CloseReason::User) {
            result.finished = false;
            return result;
        }
        result.exitStatus = 1;
    }
    m_shutDown = true;
    // Mails still waiting for a stuck server are given up (each logged as not sent).
    m_mailQueue.stop();
    // No upload starts any more; one that runs gives up its waits at once.
    m_upload->shutdown(kUploadShutdownBound);
    // The external programs this run started, when "Close all programs on exit" is set.
    m_external->closeStartedPrograms();
    // 3. The snapshot, when asked. Only a file: a folder given as the snapshot's name stays,
    // and nothing that fails here may keep the rest of the shutdown from running.
    auto s = m_settings->snapshot();
    std::error_code ec;
    if (s->Camera.Delete && !s->Camera.File.empty() &&
        !std::filesystem::is_directory(std::filesystem::symlink_status(s->Camera.File, ec))) {
        std::filesystem::remove(s->Camera.File, ec);
    }
    // 4. The program's own passing files.
    for (const std::string& file : {m_paths.uploadFile(), m_paths.helpDocument(), m_paths.streamFile()}) {
        std::filesystem::remove(file, ec);
    }
    return result;
}

bool Application::helpDocumentExists() const
{
    return exists(helpDocumentPath());
}

void Application::writeHelpDocument()
{
    if (helpDocumentExists()) {
        return;
    }
    QFile resource(":/kestrelon/help.html");
    QFile out(QString::fromStdString(helpDocumentPath()));
    if (!resource.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        m_log->DisplayMessage("Unable to write the user guide to " + helpDocumentPath());
        return;
    }
    out.write(resource.readAll());
}

} // namespace kestrelon
