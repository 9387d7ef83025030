#pragma once

#include "iprefresh/EchoHoldOff.h"
#include "iprefresh/IpRefreshServices.h"
#include "net/PageFetcher.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace kestrelon {

class IpRefreshState;
class SerialJobRunner;
class SettingsModel;
struct RouterSettings;
struct RouterFields;

// Who asks for a lookup: the tests of the Test URL and External Service pages show their result
// on their pages only; every other caller makes an ordinary lookup that also sets the Current IP
// panel and the window title.
enum class LookupSender { Ordinary, TestUrlTest, ExternalServiceTest };

// Router-page mode ("User defined lookup") rather than an echo service. The two radios hold
// opposite values; should a hand-edited file set both, the echo service wins.
bool routerLookupMode(const RouterSettings& router);

// One lookup's request, taken on the main thread, and its outcome from the worker.
struct LookupRequest {
    enum class Kind { None, Echo, Router } kind = Kind::None;
    std::string url;
    std::optional<PageCredentials> credentials;
    int service = -1; // the echo service
    std::string keyword;
    std::string skip;
};
struct LookupOutcome {
    bool ok = false;
    std::string address;
    std::string error;
};

// The external address lookup (SetOutsideIP): asks the echo service chosen in [DNS] ExtDNS, or
// reads the router's status page of the definition in the router fields, and publishes the
// address to the panels, the window title and the own-address list; a failure leaves "Error"
// as the current address and feeds the backoff rule. Also the External Service page's "Test"
// with its hold-off.
//
// Threads: main thread. The page is fetched as a job of the job runner, so the window keeps
// responding; the outcome is applied on the main thread when the job is done. A lookup asked
// for while another job runs waits its turn.
class IpLookup : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kRetrieving = "Retrieving external IP address...";
    static constexpr const char* kDebugStatus = " Debug Active. External IP not available.";
    static constexpr const char* kTestWithEcho = "Test cannot be used with external DNS service.";
    static constexpr const char* kFailed = "Error retrieving external IP address";

    IpLookup(SettingsModel& settings, IpRefreshState& state, SerialJobRunner& jobs,
             const IpRefreshServices& services, QObject* parent = nullptr);

    // One lookup. done runs on the main thread once the lookup is over, also when it was refused
    // or made no request.
    void SetOutsideIP(LookupSender sender, std::function<void()> done = {});

    // The External Service page's "Test": refused while the chosen service's hold-off runs,
    // else starts it and looks up with the test's sender.
    void testExternalService();
    // The echo-service list's text was edited or another entry chosen: the first service's
    // hold-off ends (the second's always runs its full time).
    void echoServiceEdited();
    EchoHoldOff& holdOff() { return m_holdOff; }

    // The request a lookup makes with these settings and router fields; Kind::None for none.
    static LookupRequest request(const RouterSettings& router, const std::string& echoUrl,
                                 const RouterFields& fields);
    // The worker's part: fetch and scan. Any thread; never throws.
    static LookupOutcome perform(const LookupRequest& request, PageFetcher& fetcher,
                                 std::stop_token stop = {});

    // Why the last lookup failed; empty after a success. For diagnostics.
    const std::string& lastError() const { return m_lastError; }

Q_SIGNALS:
    void messageBox(const QString& text);

private:
    void apply(LookupSender sender, const LookupOutcome& outcome);

    SettingsModel& m_settings;
    IpRefreshState& m_state;
    SerialJobRunner& m_jobs;
    IpRefreshServices m_services;
    EchoHoldOff m_holdOff;
    std::string m_lastError;
};

} // namespace kestrelon
