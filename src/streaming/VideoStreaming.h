#pragma once

#include "streaming/StreamProfile.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrelon {

class SettingsModel;
struct Settings;
class StreamFeed;
class StreamPipeline;
class StreamPreview;
class StreamViewers;
class ViewerPort;

// The Video page ("Video Encoder"): the live stream of the chosen source at the chosen bit-rate
// profile, its viewers and the page's own preview, with the settings of [VidStream].
//
// The states: idle (Start enabled once a profile has been applied), streaming ("STREAMING" on
// the page and "Running" on the main window, Stop enabled, source and preview controls
// disabled, the client list refreshed every second by Timer2), idle again by Stop. The stream
// file named after the program is never filled; it is deleted at Stop and at exit.
//
// Threads: the object lives on the main thread and every function is called there. The stream
// serves its viewers on GStreamer's threads; the viewer port reaches them through viewers().
class VideoStreaming : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kPortClash = "Web server and Video encoder cannot have the same Port number";
    static constexpr int kTimer2Interval = 1000; // milliseconds
    // The built-in source, always listed last.
    static constexpr const char* kTestPattern = "Test pattern";

    // A Yes/No question; true is Yes. Headless, questions take their safe answer, No.
    using Question = std::function<bool(const QString& text)>;
    // Opens the source at a position of the source list, or null with the reason.
    using FeedFactory = std::function<std::unique_ptr<StreamFeed>(int position, QString& error)>;

    // streamFile: the stream file named after the program, beside the settings file.
    VideoStreaming(SettingsModel& settings, std::string streamFile, QObject* parent = nullptr);
    ~VideoStreaming() override;

    // Where the pictures come from: the source list (cbSource) and how to open one. Until this is
    // called the list holds the test pattern alone.
    void setSources(QStringList names, FeedFactory open);
    // The page's preview; without one, Preview shows nothing.
    void setPreview(StreamPreview* preview) { m_preview = preview; }
    // The viewer port; without one, viewers come only through viewers(). The preview and the port
    // must outlive this object.
    void setViewerPort(ViewerPort* port) { m_viewerPort = port; }
    void setQuestion(Question ask) { m_ask = std::move(ask); }

    // Start-up: applies the profile, restores the source, sets "No preview" and starts streaming
    // when a source is stored and "Start streaming automatically" is set.
    void setUp();
    // Builds the profile from "Bitrate" and "Quality" as they are now (cbProfilesChange).
    void ApplyProfile();
    // "Start", "Stop", "Preview".
    void btnStartVideoClick();
    void btnStopVideoClick();
    void btnVideoPreviewClick();
    // Every second while streaming: the client list from the live connections.
    void Timer2Timer();
    // The source list's selection changed to position ([VidStream] LastDevice).
    void cbSourceChange(int position);
    // "No preview" and "Start streaming automatically" were clicked (after the settings changed).
    void cbNoPreviewClick();
    void cbAutoStreamClick();
    // Leaving "Port" on this page or the web server's "Port": on a clash the message is shown and
    // the field just left is reset ("0" here, "80" there). True on a clash (the video port then
    // takes the focus back).
    bool edVideoPortExit();
    bool edPortExit();
    // Exit: the stream and the preview stop, the stream file goes.
    void shutdown();

    const QStringList& sourceNames() const { return m_sourceNames; }
    // The stored source's position in the list, or -1 when none is stored or it is not listed.
    int sourcePosition() const;
    // "STREAMING" on the page and "Running" on the main window.
    bool streaming() const { return m_streaming; }
    QString statusText() const { return m_streaming ? QStringLiteral("Running") : QString(); }
    bool noPreviewShown() const { return m_noPreviewShown; }
    bool graphActive() const { return m_graphActive; }
    bool previewRunning() const { return m_previewRunning; }
    bool startEnabled() const { return m_startEnabled; }
    bool stopEnabled() const { return m_stopEnabled; }
    // cbSource, cbNoPreview and btnVideoPreview.
    bool sourceEnabled() const { return m_sourceEnabled; }
    bool noPreviewEnabled() const { return m_noPreviewEnabled; }
    bool previewEnabled() const { return m_previewEnabled; }
    // ListBox8, "Client connections".
    const QStringList& clientList() const { return m_clientList; }
    // The profile the next start uses; none until a profile has been applied.
    const std::optional<StreamProfile>& customProfile() const { return m_customProfile; }
    // The running stream's viewers, for the viewer port; null while no stream runs.
    std::shared_ptr<StreamViewers> viewers() const;
    const std::string& streamFile() const { return m_streamFile; }

    QTimer Timer2;

Q_SIGNALS:
    // Labels, enabled states or the preview changed.
    void stateChanged();
    void clientListChanged(const QStringList& clients);
    // A message box's text (headless: a line on standard error).
    void messageBox(const QString& text);
    // What the stream does now, for the status bar (headless: a line on standard error): it
    // started (what, how and where viewers connect) or stopped.
    void statusLine(const QString& text);

private:
    enum class Run { Started, DeinterlaceFailed, Failed };
    // Opens the source and runs the stream; error gets the library's text.
    Run runStream(int position, QString& error);
    // The stream stopped by itself (the source or the encoder failed).
    void streamFailed(const QString& reason);
    bool ask(const QString& question);
    void enterStreaming();
    // The viewer port, the stream and the preview stop; deactivating also ends the graph.
    void stopGraph();
    void deactivateGraph();
    void deleteStreamFile();
    // The two ports' texts are equal: the message, and reset puts the field left right.
    bool portClash(const std::function<void(Settings&)>& reset);
    void setClientList(const QStringList& clients);

    SettingsModel& m_settings;
    std::string m_streamFile;
    QStringList m_sourceNames;
    FeedFactory m_openFeed;
    StreamPreview* m_preview = nullptr;
    ViewerPort* m_viewerPort = nullptr;
    Question m_ask;
    std::optional<StreamProfile> m_customProfile;
    std::unique_ptr<StreamPipeline> m_stream;
    bool m_viewerPortOpen = false;
    QStringList m_clientList;
    bool m_streaming = false;
    bool m_graphActive = false;
    bool m_previewRunning = false;
    bool m_noPreviewShown = false;
    bool m_startEnabled = false;
    bool m_stopEnabled = false;
    bool m_sourceEnabled = true;
    bool m_noPreviewEnabled = true;
    bool m_previewEnabled = true;
};

// "Port" read as a decimal number, blanks around it allowed; 0 when it is not one or not a port.
int videoPortNumber(const std::string& text);
// The question asked when the stream reports an error on its way up.
QString streamErrorQuestion(const QString& error);
// The status line of a stream that has started: the source, the profile, and the port its
// viewers connect to (or that none can).
QString streamingStartedText(const QString& source, const StreamProfile& profile, int port, int maxViewers);

} // namespace kestrelon
