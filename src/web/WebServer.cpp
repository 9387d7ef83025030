#include "web/WebServer.h"

#include "core/FileStatus.h"
#include "core/IntText.h"
#include "core/SettingsModel.h"
#include "web/MessageLog.h"

#include <QTimer>

#include <utility>

namespace kestrelon {

WebServer::WebServer(SettingsModel& settings, MessageLog& log, PortOutputDevice& port, MailQueue& mail,
                     HttpServerLimits limits, RequestHandler::Clock clock, QObject* parent)
    : QObject(parent), m_settings(settings), m_log(log), m_counters(settings, clock), m_feedback(log, mail),
      m_handler({settings, log, port, m_ownAddresses, m_busy, m_mime, m_lookupCache, m_counters, m_feedback,
                 clock}),
      m_http(std::make_unique<HttpServer>(m_handler, limits))
{
}

WebServer::~WebServer()
{
    m_http->stop();
}

void WebServer::toggle()
{
    auto settings = m_settings.snapshot();
    const WebServeSettings& web = settings->WebServe;

    // The root folder check comes first, so it also holds when the button reads "Stop Server".
    if (!isFolder(web.Root)) {
        m_log.DisplayMessage("Web root folder (" + web.Root + ") not found.");
        m_rootControlsEnabled = true;
        Q_EMIT stateChanged();
        return;
    }

    if (m_running) {
        m_http->stop();
        m_rootControlsEnabled = true;
        setRunning(false);
        m_log.DisplayMessage("Server stopped");
        return;
    }

    m_rootControlsEnabled = false;
    if (m_http->active() || m_startPending) {
        Q_EMIT stateChanged();
        return;
    }
    if (m_externalLookup) {
        if (web.LAN) {
            m_startPending = true;
            Q_EMIT stateChanged();
            m_externalLookup([this] {
                if (std::exchange(m_startPending, false)) {
                    activate();
                }
            });
            return;
        }
        m_externalLookup({});
    }
    activate();
}

void WebServer::activate()
{
    const auto settings = m_settings.snapshot();
    const std::string address = m_ownAddresses.selected();
    const auto parsed = parseSettingNumber(settings->WebServe.Port);
    const int port = parsed ? *parsed : 80;
    const Outcome started = port < 0 || port > 65535
                                ? Outcome::failure("Port " + std::to_string(port) + " is out of range")
                                : m_http->start(address, static_cast<uint16_t>(port));
    if (started) {
        m_log.DisplayMessage("Listening for HTTP connections on " + address + ":" +
                             std::to_string(m_http->port()) + ".");
        setRunning(true);
        return;
    }
    m_log.DisplayMessage("Error: \"" + started.error() + "\".");
    Q_EMIT messageBox(QString::fromStdString("Unable to assign address " + address));
    m_http->stop();
    setRunning(false);
}

void WebServer::start()
{
    if (!m_running) {
        toggle();
    }
}

void WebServer::stop()
{
    if (m_running) {
        toggle();
    }
}

void WebServer::restart()
{
    if (!m_running) {
        return;
    }
    stop();
    // The pause runs on a timer of this object: nothing waits, and nothing is left to run once
    // the server is gone.
    QTimer::singleShot(kRestartPause, this, [this, restart = m_restarts] {
        if (restart == m_restarts) {
            start();
        }
    });
}

void WebServer::setRunning(bool running)
{
    m_running = running;
    Q_EMIT stateChanged();
}

void WebServer::GetLocalIP(bool noLookupSwitch)
{
    m_ownAddresses.set(ownAddressList(interfaceAddresses()), selectedAddress(primaryAddress()));
    m_debugNotesShown = false;
    Q_EMIT debugNotesVisible(false);

    auto settings = m_settings.snapshot();
    if (settings->WebServe.LAN) {
        if (!noLookupSwitch && settings->System.Debug) {
            m_debugNotesShown = true;
            Q_EMIT debugNotesVisible(true);
            Q_EMIT messageBox("Debug Active. External IP address is not available.");
        } else if (m_externalLookup) {
            m_externalLookup({});
        }
    }
    Q_EMIT stateChanged();
}

bool WebServer::canStart(const std::string& root, const std::string& defaultFile)
{
    return isRegularFile(root + "/" + defaultFile);
}

std::string WebServer::withoutTrailingSlash(const std::string& root)
{
    if (!root.empty() && root.back() == '/') {
        return root.substr(0, root.size() - 1);
    }
    return root;
}

void WebServer::addBlocked(const std::string& entry)
{
    m_settings.update([&](Settings& s) { s.blocked.push_back(entry); });
}

void WebServer::removeBlocked(int index)
{
    m_settings.update([&](Settings& s) {
        if (index >= 0 && static_cast<size_t>(index) < s.blocked.size()) {
            s.blocked.erase(s.blocked.begin() + index);
        }
    });
}

} // namespace kestrelon
