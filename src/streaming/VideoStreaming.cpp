#include "streaming/VideoStreaming.h"

#include "core/SettingsModel.h"
#include "core/Text.h"
#include "streaming/CaptureFeed.h"
#include "streaming/StreamFeed.h"
#include "streaming/StreamPipeline.h"
#include "streaming/StreamPreview.h"
#include "streaming/StreamViewers.h"
#include "streaming/TestPatternFeed.h"
#include "streaming/ViewerPort.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kestrelon {

int videoPortNumber(const std::string& text)
{
    // A hand-written "Port = 8080" has blanks around the number.
    const std::string digits(trimBlanks(text));
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return 0;
    }
    const int port = std::stoi(digits);
    return port <= 65535 ? port : 0;
}

QString streamErrorQuestion(const QString& error)
{
    return QStringLiteral("GStreamer has reported the following error: ") + error +
           QStringLiteral(".\r\nIt may be possible to continue anyway. Do you wish to continue?");
}

QString streamingStartedText(const QString& source, const StreamProfile& profile, int port, int maxViewers)
{
    const QString rate = profile.row >= 0 ? QString::fromLatin1(kStreamProfiles[size_t(profile.row)].item)
                                          : QStringLiteral("%1 bits/s").arg(profile.bitrate);
    QString text = QStringLiteral("Streaming %1 at %2, %3 x %4, ")
                       .arg(source.isEmpty() ? QStringLiteral("?") : source, rate)
                       .arg(profile.width)
                       .arg(profile.height);
    if (maxViewers <= 0) {
        return text + QStringLiteral("no viewer can connect (Port or Max. Users is 0)");
    }
    return text + QStringLiteral("on port %1 for at most %2 viewer%3")
                      .arg(port)
                      .arg(maxViewers)
                      .arg(maxViewers == 1 ? "" : "s");
}

namespace {

QString streamErrorMessage(const QString& error)
{
    return QStringLiteral("GStreamer has reported the following error: ") + error + QStringLiteral(".");
}

} // namespace

VideoStreaming::VideoStreaming(SettingsModel& settings, std::string streamFile, QObject* parent)
    : QObject(parent), m_settings(settings),
      m_streamFile(std::move(streamFile)), m_sourceNames{QString::fromLatin1(kTestPattern)},
      m_ask([](const QString&) { return false; })
{
    m_openFeed = [](int position, QString& error) -> std::unique_ptr<StreamFeed> {
        if (position != 0) {
            error = noVideoSourceText(position);
            return nullptr;
        }
        return std::make_unique<TestPatternFeed>();
    };
    Timer2.setInterval(kTimer2Interval);
    connect(&Timer2, &QTimer::timeout, this, &VideoStreaming::Timer2Timer);
}

VideoStreaming::~VideoStreaming()
{
    // The viewer port and the preview outlive this object; they stop with it.
    stopGraph();
}

void VideoStreaming::setSources(QStringList names, FeedFactory open)
{
    m_sourceNames = std::move(names);
    m_openFeed = std::move(open);
    Q_EMIT stateChanged();
}

int VideoStreaming::sourcePosition() const
{
    const int position = m_settings.snapshot()->VidStream.LastDevice;
    return position >= 0 && position < m_sourceNames.size() ? position : -1;
}

std::shared_ptr<StreamViewers> VideoStreaming::viewers() const
{
    return m_stream && m_stream->running() ? m_stream->viewers() : nullptr;
}

void VideoStreaming::setUp()
{
    ApplyProfile();
    const bool autoStream = m_settings.snapshot()->VidStream.Stream;
    if (autoStream) {
        m_settings.update([](Settings& s) { s.VidStream.NoPreview = true; });
    }
    const bool noPreview = m_settings.snapshot()->VidStream.NoPreview;
    m_noPreviewShown = noPreview;
    m_previewEnabled = !noPreview;
    Q_EMIT stateChanged();
    // A source that is no longer listed counts as none: nothing starts by itself.
    if (autoStream && sourcePosition() >= 0) {
        btnStartVideoClick();
    }
}

void VideoStreaming::ApplyProfile()
{
    auto s = m_settings.snapshot();
    const int row = streamProfileRow(s->VidStream.Profile);
    if (row != s->VidStream.Profile) {
        m_settings.update([row](Settings& settings) { settings.VidStream.Profile = row; });
    }
    m_customProfile = makeStreamProfile(row, s->VidStream.Quality);
    m_startEnabled = true;
    Q_EMIT stateChanged();
}

VideoStreaming::Run VideoStreaming::runStream(int position, QString& error)
{
    auto s = m_settings.snapshot();
    const int port = videoPortNumber(s->VidStream.Port);
    const int maxViewers = port > 0 ? std::max(0, s->VidStream.Users) : 0;
    const std::string title = QString::fromStdString(s->VidStream.Clip).toUtf8().toStdString();

    m_stream.reset();
    std::unique_ptr<StreamFeed> feed = m_openFeed ? m_openFeed(position, error) : nullptr;
    if (!feed) {
        if (error.isEmpty()) {
            error = noVideoSourceText(position);
        }
        return Run::Failed;
    }
    auto stream =
        std::make_unique<StreamPipeline>(m_customProfile.value_or(builtInStreamProfile()), title, maxViewers);
    StreamPipeline* running = stream.get();
    auto started = stream->start(
        std::move(feed),
        [this, running](const QString& reason) {
            if (m_stream.get() == running) {
                streamFailed(reason);
            }
        },
        error);
    if (started == StreamPipeline::Start::DeinterlaceFailed) {
        return Run::DeinterlaceFailed;
    }
    if (started != StreamPipeline::Start::Started) {
        return Run::Failed;
    }
    m_stream = std::move(stream);
    return Run::Started;
}

void VideoStreaming::btnStartVideoClick()
{
    if (m_streaming) {
        btnStopVideoClick();
    }
    auto s = m_settings.snapshot();
    const int position = s->VidStream.LastDevice;
    deactivateGraph();
    m_graphActive = true;
    // The start ends here: the graph is deactivated, the labels stay as they were.
    auto abandon = [this](const QString& message) {
        if (!message.isEmpty()) {
            Q_EMIT messageBox(message);
        }
        deactivateGraph();
        Q_EMIT stateChanged();
    };

    QString error;
    const Run run = runStream(position, error);
    if (run == Run::DeinterlaceFailed) {
        return abandon(QStringLiteral("Unable to set de-interlace mode - ") + error);
    }
    if (run == Run::Failed) {
        if (!ask(streamErrorQuestion(error))) {
            return abandon({});
        }
        // Yes: run it once more; a second failure ends the start.
        if (runStream(position, error) != Run::Started) {
            return abandon(streamErrorMessage(error));
        }
    }
    if (!s->VidStream.NoPreview && m_preview) {
        QString previewError;
        if (m_preview->start(position, previewError)) {
            m_previewRunning = true;
        } else if (!ask(streamErrorQuestion(previewError))) {
            return abandon({});
        }
    }
    const auto viewers = m_stream->viewers();
    if (m_viewerPort && viewers->maxViewers() > 0) {
        const int port = videoPortNumber(s->VidStream.Port);
        QString portError;
        if (!m_viewerPort->open(uint16_t(port), viewers, m_stream->title(), portError)) {
            return abandon(
                QStringLiteral("Unable to open port %1 for the video stream: %2").arg(port).arg(portError));
        }
        m_viewerPortOpen = true;
    }
    enterStreaming();
    Q_EMIT statusLine(streamingStartedText(m_sourceNames.value(position), m_stream->profile(),
                                           videoPortNumber(s->VidStream.Port), viewers->maxViewers()));
}

bool VideoStreaming::ask(const QString& question)
{
    return m_ask && m_ask(question);
}

void VideoStreaming::enterStreaming()
{
    Timer2.start();
    m_streaming = true;
    m_sourceEnabled = false;
    m_noPreviewEnabled = false;
    m_previewEnabled = false;
    m_startEnabled = false;
    m_stopEnabled = true;
    Q_EMIT stateChanged();
}

void VideoStreaming::btnStopVideoClick()
{
    const bool wasStreaming = m_streaming;
    stopGraph();
    m_streaming = false;
    m_noPreviewShown = false;
    deleteStreamFile();
    m_startEnabled = m_graphActive && m_settings.snapshot()->VidStream.Users > 0;
    m_stopEnabled = false;
    Timer2.stop();
    setClientList({});
    m_sourceEnabled = true;
    m_noPreviewEnabled = true;
    m_previewEnabled = true;
    Q_EMIT stateChanged();
    if (wasStreaming) {
        Q_EMIT statusLine(QStringLiteral("Streaming stopped"));
    }
}

void VideoStreaming::btnVideoPreviewClick()
{
    deactivateGraph();
    if (m_preview) {
        m_graphActive = true;
        QString error;
        if (m_preview->start(sourcePosition(), error)) {
            m_previewRunning = true;
        } else {
            Q_EMIT messageBox(error);
            deactivateGraph();
        }
    }
    Q_EMIT stateChanged();
}

void VideoStreaming::streamFailed(const QString& reason)
{
    if (m_streaming) {
        btnStopVideoClick();
    } else {
        deactivateGraph();
        Q_EMIT stateChanged();
    }
    Q_EMIT messageBox(streamErrorMessage(reason));
}

void VideoStreaming::deactivateGraph()
{
    stopGraph();
    m_graphActive = false;
}

void VideoStreaming::stopGraph()
{
    if (m_viewerPortOpen) {
        m_viewerPort->close();
        m_viewerPortOpen = false;
    }
    m_stream.reset();
    if (m_previewRunning && m_preview) {
        m_preview->stop();
    }
    m_previewRunning = false;
}

void VideoStreaming::Timer2Timer()
{
    if (!m_graphActive || !m_stream || m_stream->viewers()->maxViewers() == 0) {
        return;
    }
    QStringList clients;
    for (const std::string& address : m_stream->viewers()->addresses()) {
        clients << QString::fromStdString(address);
    }
    setClientList(clients);
}

void VideoStreaming::setClientList(const QStringList& clients)
{
    if (clients != m_clientList) {
        m_clientList = clients;
        Q_EMIT clientListChanged(m_clientList);
    }
}

void VideoStreaming::cbSourceChange(int position)
{
    m_settings.update([position](Settings& s) { s.VidStream.LastDevice = position; });
}

void VideoStreaming::cbNoPreviewClick()
{
    m_noPreviewShown = m_settings.snapshot()->VidStream.NoPreview;
    Q_EMIT stateChanged();
}

void VideoStreaming::cbAutoStreamClick()
{
    if (m_settings.snapshot()->VidStream.Stream) {
        m_settings.update([](Settings& s) { s.VidStream.NoPreview = true; });
    }
    cbNoPreviewClick();
}

bool VideoStreaming::edVideoPortExit()
{
    return portClash([](Settings& s) { s.VidStream.Port = "0"; });
}

bool VideoStreaming::edPortExit()
{
    return portClash([](Settings& s) { s.WebServe.Port = "80"; });
}

bool VideoStreaming::portClash(const std::function<void(Settings&)>& reset)
{
    auto s = m_settings.snapshot();
    if (s->VidStream.Port != s->WebServe.Port) {
        return false;
    }
    Q_EMIT messageBox(QString::fromLatin1(kPortClash));
    m_settings.update(reset);
    return true;
}

void VideoStreaming::shutdown()
{
    if (m_streaming) {
        btnStopVideoClick();
    }
    deactivateGraph();
    deleteStreamFile();
    Q_EMIT stateChanged();
}

void VideoStreaming::deleteStreamFile()
{
    if (!m_streamFile.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_streamFile, ec);
    }
}

} // namespace kestrelon
