#include "support/ServerFixture.h"

#include "core/SettingsFile.h"
#include "support/GuiApplication.h"

#include <stdexcept>
#include <thread>

namespace kestrelon::test {

namespace {

// The server runs on settings loaded from a file in the web root, as the program does.
Settings fixtureSettings(const TempDir& root)
{
    ensureGuiApplication();
    std::string file = root.write("kestrelon.ini", "[WebServe]\nPort=0\nRevDNS=0\n");
    auto loaded = SettingsFile(file).load(Settings::defaults(root.path()));
    if (!loaded.error.empty() || loaded.settings.WebServe.Port != "0") {
        throw std::runtime_error("cannot load " + file);
    }
    return loaded.settings;
}

} // namespace

HttpServerLimits ServerFixture::testLimits()
{
    HttpServerLimits limits;
    limits.idleTimeout = std::chrono::seconds(5);
    limits.headerTimeout = std::chrono::seconds(2);
    limits.bodyTimeout = std::chrono::seconds(5);
    limits.writeTimeout = std::chrono::seconds(2);
    limits.ioThreads = 2;
    return limits;
}

ServerFixture::ServerFixture(HttpServerLimits limits)
    : settings(fixtureSettings(root)), log([this] { return settings.snapshot()->WebServe.Log; }),
      portDevice([this](uint16_t) {
          auto backend = std::make_unique<RecordingPortBackend>(recordFile);
          recorder = backend.get();
          return backend;
      })
{
    server = std::make_unique<WebServer>(settings, log, portDevice, mail, limits, [this] {
        return std::chrono::steady_clock::now() + std::chrono::milliseconds(clockOffset.load());
    });
    server->ownAddresses().set({"127.0.0.1"}, "127.0.0.1");
    server->setSettingsFile(root.path() + "/kestrelon.ini");
}

ServerFixture::~ServerFixture()
{
    server.reset();
}

bool ServerFixture::start()
{
    if (!server->running()) {
        server->toggle();
    }
    return server->running();
}

std::optional<HttpResponse> ServerFixture::get(const std::string& target, const std::string& headers,
                                               const std::string& method)
{
    auto r = httpGet(port(), target, headers, method);
    waitUntilIdle();
    return r;
}

void ServerFixture::waitUntilIdle()
{
    waitFor([this] { return !server->serverBusy().serverBusy(); });
}

std::vector<std::string> ServerFixture::messages() const
{
    std::vector<std::string> out;
    for (const auto& line : log.lines()) {
        // "dd/mm/yyyy hh:nn:ss" is 19 characters, then three blanks.
        out.push_back(line.size() >= 22 ? line.substr(22) : line);
    }
    return out;
}

size_t ServerFixture::countMessages(const std::string& prefix) const
{
    size_t n = 0;
    for (const auto& m : messages()) {
        if (m.compare(0, prefix.size(), prefix) == 0) {
            ++n;
        }
    }
    return n;
}

std::vector<std::pair<uint16_t, uint8_t>> ServerFixture::portWrites() const
{
    RecordingPortBackend* r = recorder.load();
    if (!r) {
        return {};
    }
    auto recent = r->recentWrites();
    return {recent.begin(), recent.end()};
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

bool finishesInTime(const std::function<void()>& fn, std::chrono::milliseconds timeout)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t([fn, done] {
        fn();
        *done = true;
    });
    if (!waitFor([&] { return done->load(); }, timeout)) {
        t.detach();
        return false;
    }
    t.join();
    return true;
}

} // namespace kestrelon::test
