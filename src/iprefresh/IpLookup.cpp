#include "iprefresh/IpLookup.h"

#include "core/LineLog.h"
#include "core/LocalAddresses.h"
#include "core/SerialJobRunner.h"
#include "core/SettingsModel.h"
#include "iprefresh/EchoServices.h"
#include "iprefresh/IpRefreshState.h"
#include "iprefresh/PageScan.h"

#include <exception>

namespace kestrelon {

bool routerLookupMode(const RouterSettings& router)
{
    return router.UserDefined && !router.External;
}

IpLookup::IpLookup(SettingsModel& settings, IpRefreshState& state, SerialJobRunner& jobs,
                   const IpRefreshServices& services, QObject* parent)
    : QObject(parent), m_settings(settings), m_state(state), m_jobs(jobs),
      m_services(services.withDefaults()), m_holdOff(m_services.steadyClock)
{
}

LookupRequest IpLookup::request(const RouterSettings& router, const std::string& echoUrl,
                                const RouterFields& fields)
{
    LookupRequest r;
    if (!routerLookupMode(router)) {
        r.service = echoServiceIndex(echoUrl);
        if (r.service >= 0) {
            r.kind = LookupRequest::Kind::Echo;
            r.url = kEchoServices[r.service].url;
        }
        return r;
    }
    r.kind = LookupRequest::Kind::Router;
    r.url = "http://" + fields.url;
    if (fields.webAuth) {
        r.credentials = PageCredentials{fields.user, fields.password};
    }
    r.keyword = fields.keyword;
    r.skip = fields.skip;
    return r;
}

LookupOutcome IpLookup::perform(const LookupRequest& request, PageFetcher& fetcher, std::stop_token stop)
{
    LookupOutcome outcome;
    if (request.kind == LookupRequest::Kind::None) {
        outcome.ok = true; // no service matched: no request, the empty result
        return outcome;
    }
    try {
        FetchedPage page =
            fetcher.get(request.url, request.credentials ? &*request.credentials : nullptr, stop);
        if (!page.ok) {
            outcome.error = page.error.empty() ? "request failed" : page.error;
            return outcome;
        }
        std::string raw = request.kind == LookupRequest::Kind::Echo
                              ? scanEchoPage(kEchoServices[request.service], page.body)
                              : scanRouterPage(page.body, request.keyword, request.skip);
        outcome.address = trimAddress(raw);
        outcome.ok = true;
    } catch (const std::exception& e) {
        outcome.error = e.what();
    } catch (...) {
        outcome.error = "request failed";
    }
    return outcome;
}

void IpLookup::SetOutsideIP(LookupSender sender, std::function<void()> done)
{
    auto finish = [done] {
        if (done) {
            done();
        }
    };
    auto settings = m_settings.snapshot();
    if (settings->System.Debug) {
        m_state.change([](auto& f) { f.statusText = kDebugStatus; });
        finish();
        return;
    }
    bool router = routerLookupMode(settings->Router);
    if (!router) {
        if (sender == LookupSender::TestUrlTest) {
            Q_EMIT messageBox(kTestWithEcho);
            finish();
            return;
        }
        m_state.change([](auto& f) { f.statusText = kRetrieving; });
    }
    LookupRequest req = request(settings->Router, settings->DNS.ExtDNS, m_state.fields().router);
    if (req.kind == LookupRequest::Kind::None) {
        apply(sender, perform(req, m_services.fetcher));
        finish();
        return;
    }
    PageFetcher* fetcher = &m_services.fetcher;
    m_jobs.enqueue([this, req, fetcher, sender, finish](SerialJobRunner::Context& job) {
        LookupOutcome outcome = perform(req, *fetcher, job.stopToken());
        job.post([this, sender, outcome, finish] {
            apply(sender, outcome);
            finish();
        });
    });
}

void IpLookup::apply(LookupSender sender, const LookupOutcome& outcome)
{
    auto settings = m_settings.snapshot();
    if (!outcome.ok) {
        m_lastError = outcome.error;
        if (settings->Remote.FTPLog) {
            m_services.log.append(kFailed);
        }
        if (m_services.messageLog) {
            m_services.messageLog(kFailed);
        }
        m_state.change([&](auto& f) {
            f.currentIP = IpRefreshState::kError;
            if (settings->Remote.Backoff) {
                if (f.failureFlag) {
                    f.backoffFactor = 0.5;
                }
                f.failureFlag = true;
            }
        });
        return;
    }
    m_lastError.clear();
    const std::string& address = outcome.address;
    m_services.ownAddresses.add(address);
    if (settings->WebServe.LAN) {
        m_services.ownAddresses.setSelected(address);
    }
    m_state.change([&](auto& f) {
        if (sender == LookupSender::Ordinary) {
            f.currentIP = address;
            f.windowTitle = "Kestrelon [" + address + "]";
        }
        f.retrievedAddress = address;
        f.externalResult = address;
        f.knownAddress = address;
        f.statusText.clear();
        f.backoffFactor = 0;
        f.failureFlag = false;
    });
}

void IpLookup::testExternalService()
{
    auto settings = m_settings.snapshot();
    int service = echoServiceIndex(settings->DNS.ExtDNS);
    if (service >= 0 && m_holdOff.active(service)) {
        Q_EMIT messageBox(QString::fromStdString(std::string(kEchoServices[service].name) +
                                                 " requests that their lookup services\r\n"
                                                 "are not requested at less than 10 minute intervals."));
        return;
    }
    m_state.change([](auto& f) { f.externalResult.clear(); });
    m_holdOff.start(service);
    SetOutsideIP(LookupSender::ExternalServiceTest);
}

void IpLookup::echoServiceEdited()
{
    m_holdOff.end(0);
}

} // namespace kestrelon
