#pragma once

#include "core/LocalAddresses.h"
#include "core/ServerBusy.h"
#include "core/ServerControl.h"
#include "http/HttpServer.h"
#include "web/FeedbackForm.h"
#include "web/HitCounter.h"
#include "web/MimeTable.h"
#include "web/RequestHandler.h"
#include "web/ReverseLookup.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

namespace kestrelon {

class MailQueue;
class MessageLog;
class PortOutputDevice;
class SettingsModel;

// Server control: starts and stops the web server on the selected local address and the port
// of the settings, keeps the own-address list, and holds the rules for the root folder, the
// default file and the blocked list. Every member belongs to the main thread, except
// serverBusy(), ownAddresses(), boundPort(), connectionCount() and bufferedBytes(), which any thread
// may use.
class WebServer : public QObject, public ServerControl {
    Q_OBJECT
public:
    static constexpr const char* kRootWarning = " Root Folder or Default Filename does not exist! ";
    static constexpr const char* kDebugNote = "Debug Active. External IP address is not available";

    // clock: the steady clock the request handling and the hit counters go by (tests move it on).
    WebServer(SettingsModel& settings, MessageLog& log, PortOutputDevice& port, MailQueue& mail,
              HttpServerLimits limits = {}, RequestHandler::Clock clock = &std::chrono::steady_clock::now,
              QObject* parent = nullptr);
    ~WebServer() override;

    // "Start Server" / "Stop Server": starts the server when it is stopped, else stops it. A start looks the
    // external address up first; with "This computer is an ICS gateway" set it binds only once the lookup is
    // over, since the address found becomes the one to bind.
    void toggle();
    // The external address lookup (IP-Refresh's): runs one lookup and calls done, if set, on the
    // main thread once it is over. Without one, starts and the address detection look nothing up.
    using ExternalLookup = std::function<void(std::function<void()> done)>;
    void setExternalLookup(ExternalLookup lookup) { m_externalLookup = std::move(lookup); }
    // A start waiting for its lookup.
    bool startPending() const { return m_startPending; }
    // Such a start, and the start of a restart still in its pause, do not go on (at shutdown).
    void cancelPendingStart()
    {
        m_startPending = false;
        ++m_restarts;
    }

    // Server control for other features, through the same steps as the button.
    bool running() const override { return m_running; }
    void start() override;
    void stop() override;
    void restart() override;
    static constexpr int kRestartPause = 200; // milliseconds
    std::string startButtonCaption() const { return m_running ? "Stop Server" : "Start Server"; }
    std::string statusText() const { return m_running ? "Running" : "Stopped"; }
    // edRoot, edDefaultFile and "Browse...".
    bool rootControlsEnabled() const { return m_rootControlsEnabled; }
    // The "Internet Address" group: address, port, ICS option, "Refresh IP".
    bool addressGroupEnabled() const { return !m_running; }
    // The port the running server listens on (useful when the port setting is 0).
    uint16_t boundPort() const { return m_http->port(); }

    // Refills the own-address list and selects the primary address; with "This computer is an
    // ICS gateway" set, also looks the external address up (which then becomes the selected
    // address), or in debug mode shows the two notes instead, unless noLookupSwitch (the command
    // line carries "nolookup") skips the debug test.
    void GetLocalIP(bool noLookupSwitch = false);
    OwnAddresses& ownAddresses() { return m_ownAddresses; }
    // Whether the last address detection showed the two "Debug Active" notes.
    bool debugNotesShown() const { return m_debugNotesShown; }

    // The rule behind the "Start Server" and "AutoStart" enabled state: root folder + "/" +
    // default file names an existing file. The warning shows exactly when it does not.
    static bool canStart(const std::string& root, const std::string& defaultFile);
    // Leaving the root folder box removes one trailing "/".
    static std::string withoutTrailingSlash(const std::string& root);

    // The blocked list. An empty entry is kept (a cancelled "Add Item" box gives one); it
    // never matches.
    void addBlocked(const std::string& entry);
    void removeBlocked(int index);

    ServerBusy& serverBusy() { return m_busy; }
    // The two hit counters and the feedback form the request handler uses.
    HitCounters& counters() { return m_counters; }
    FeedbackForm& feedbackForm() { return m_feedback; }
    // The request handler the server runs; any thread, as the server's own.
    RequestHandler& requestHandler() { return m_handler; }
    // The settings file is never served (it holds the passwords). Main thread.
    void setSettingsFile(std::string path) { m_handler.setProtectedFile(std::move(path)); }
    size_t connectionCount() const { return m_http->connectionCount(); }
    // Bytes the connections hold for requests, against the server's budget; any thread.
    size_t bufferedBytes() const { return m_http->bufferedBytes(); }

Q_SIGNALS:
    // Running state, captions or enabled states changed.
    void stateChanged();
    // A message box's text (the window shows it when visible; headless writes it to stderr).
    void messageBox(const QString& text);
    // The two "Debug Active" notes are to be shown or hidden.
    void debugNotesVisible(bool visible);

private:
    void setRunning(bool running);
    // The rest of a start: the one binding, then activation.
    void activate();

    SettingsModel& m_settings;
    MessageLog& m_log;
    OwnAddresses m_ownAddresses;
    ServerBusy m_busy;
    MimeTable m_mime;
    ReverseLookupCache m_lookupCache;
    HitCounters m_counters;
    FeedbackForm m_feedback;
    RequestHandler m_handler;
    std::unique_ptr<HttpServer> m_http;
    bool m_running = false;
    bool m_rootControlsEnabled = true;
    bool m_debugNotesShown = false;
    ExternalLookup m_externalLookup;
    bool m_startPending = false;
    uint64_t m_restarts = 0; // a restart's start goes on only while this has not moved
};

} // namespace kestrelon
