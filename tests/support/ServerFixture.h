#pragma once

#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "net/MailQueue.h"
#include "portio/PortOutputDevice.h"
#include "portio/RecordingPortBackend.h"
#include "support/RawHttpClient.h"
#include "support/TempDir.h"
#include "web/MessageLog.h"
#include "web/WebServer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrelon::test {

// The real web server on 127.0.0.1 and an ephemeral port, with a temporary web root, the
// recording port backend and reverse lookup off (tests that want it turn it on).
class ServerFixture {
public:
    explicit ServerFixture(HttpServerLimits limits = testLimits());
    ~ServerFixture();

    static HttpServerLimits testLimits();

    // Starts the server; returns false and leaves the log to tell why when it fails.
    bool start();
    uint16_t port() const { return server->boundPort(); }
    void change(const std::function<void(Settings&)>& f) { settings.update(f); }

    // One request on a fresh connection; returns once the server has finished with it (its log
    // lines are written after the reply went out).
    std::optional<HttpResponse> get(const std::string& target, const std::string& headers = {},
                                    const std::string& method = "GET");
    void waitUntilIdle();

    std::vector<std::string> logLines() const { return log.lines(); }
    // The log lines' message texts (the time stamp and its three blanks removed).
    std::vector<std::string> messages() const;
    size_t countMessages(const std::string& prefix) const;
    std::vector<std::pair<uint16_t, uint8_t>> portWrites() const;
    // Moves the server's steady clock on (what the request handling and the counters go by).
    void advanceClock(std::chrono::milliseconds by) { clockOffset += by.count(); }

    TempDir root;
    SettingsModel settings;
    MessageLog log;
    std::atomic<RecordingPortBackend*> recorder{nullptr};
    std::string recordFile; // when set before the first port write, writes are appended to it
    PortOutputDevice portDevice;
    MailQueue mail;
    std::atomic<int64_t> clockOffset{0}; // milliseconds
    std::unique_ptr<WebServer> server;
};

// Waits until the condition holds or the time is up; returns the condition's last value.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Runs fn on a thread of its own; false when it has not returned in time (a call that blocks
// is then a failure, not a hang: the thread is left behind with what it uses).
bool finishesInTime(const std::function<void()>& fn,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5));

} // namespace kestrelon::test
