#include "iprefresh/PageWorkbench.h"

#include "core/SerialJobRunner.h"
#include "core/SettingsModel.h"
#include "iprefresh/IpRefreshState.h"
#include "iprefresh/PageTools.h"
#include "net/PageFetcher.h"

namespace kestrelon {

PageWorkbench::PageWorkbench(SettingsModel& settings, IpRefreshState& state, IpLookup& lookup,
                             SerialJobRunner& jobs, const IpRefreshServices& services, QObject* parent)
    : QObject(parent), m_settings(settings), m_state(state), m_lookup(lookup), m_jobs(jobs),
      m_services(services.withDefaults())
{
}

void PageWorkbench::setSelection(size_t start, size_t length)
{
    m_selectionStart = std::min(start, m_page.size());
    m_selectionLength = std::min(length, m_page.size() - m_selectionStart);
    Q_EMIT changed();
}

void PageWorkbench::setPage(std::string page)
{
    m_page = std::move(page);
    m_selectionStart = m_selectionLength = 0;
    Q_EMIT changed();
}

void PageWorkbench::fetchPage(std::function<void(bool fetched)> next)
{
    const RouterFields& f = m_state.fields().router;
    std::string url = "http://" + f.url;
    std::optional<PageCredentials> credentials;
    if (f.webAuth) {
        credentials = PageCredentials{f.user, f.password};
    }
    PageFetcher* fetcher = &m_services.fetcher;
    m_jobs.enqueue([this, url, credentials, fetcher, next](SerialJobRunner::Context& job) {
        FetchedPage page;
        try {
            page = fetcher->get(url, credentials ? &*credentials : nullptr, job.stopToken());
        } catch (...) {
            page.ok = false;
        }
        job.post([this, page = std::move(page), next]() mutable {
            if (!page.ok) {
                Q_EMIT messageBox(kUnableToConnect);
                next(false);
                return;
            }
            setPage(std::move(page.body));
            findKnownAddress();
            next(true);
        });
    });
}

void PageWorkbench::findKnownAddress()
{
    const std::string& known = m_state.fields().knownAddress;
    if (!known.empty()) {
        find(known);
        m_addressMark = m_selectionStart;
        Q_EMIT changed();
    }
}

void PageWorkbench::getPage(std::function<void()> done)
{
    setPage({});
    m_state.change([](auto& f) {
        f.router.keyword.clear();
        f.router.skip.clear();
    });
    fetchPage([done](bool) {
        if (done) {
            done();
        }
    });
}

bool PageWorkbench::find(const std::string& text)
{
    auto at = findInPage(m_page, text, m_selectionStart, m_selectionLength);
    if (!at) {
        return false;
    }
    setSelection(*at, text.size());
    return true;
}

void PageWorkbench::markIp()
{
    m_addressMark = m_selectionStart;
    m_selectionLength = 0;
    Q_EMIT changed();
}

void PageWorkbench::markKeyword()
{
    if (m_selectionLength == 0) {
        return;
    }
    KeywordChoice choice =
        chooseKeyword(m_page, m_selectionStart, m_selectionStart + m_selectionLength, m_addressMark);
    if (!choice.unique) {
        setSelection(choice.earlier, m_selectionLength);
        Q_EMIT messageBox(kNotUnique);
        return;
    }
    m_state.change([&](auto& f) {
        f.router.keyword = choice.keyword;
        f.router.skip = std::to_string(choice.skip);
    });
}

void PageWorkbench::autoDetect()
{
    if (!routerLookupMode(m_settings.snapshot()->Router)) {
        Q_EMIT messageBox(kNeedsUserDefined);
        return;
    }
    fetchPage([this](bool fetched) {
        if (!fetched) {
            return;
        }
        bool found = !m_state.fields().knownAddress.empty() && m_selectionLength > 0;
        AutoKeyword choice = found ? autoKeyword(m_page, m_selectionStart) : AutoKeyword{};
        if (choice.keyword.empty()) {
            Q_EMIT messageBox(kAutoFailed);
            return;
        }
        m_state.change([&](auto& f) {
            f.router.keyword = choice.keyword;
            f.router.skip = std::to_string(choice.skip);
        });
        if (!m_settings.snapshot()->System.Debug) {
            getIp(LookupSender::Ordinary);
        }
    });
}

void PageWorkbench::getIp(LookupSender sender)
{
    const RouterFields& f = m_state.fields().router;
    if (f.url.empty() || f.keyword.empty() || f.skip.empty()) {
        Q_EMIT messageBox(kMissingEntry);
        return;
    }
    if (!routerLookupMode(m_settings.snapshot()->Router)) {
        Q_EMIT messageBox(kNeedsUserDefined);
        return;
    }
    m_state.change([&](auto& s) {
        s.retrievedAddress.clear();
        if (sender != LookupSender::TestUrlTest) {
            s.windowTitle.clear();
        }
    });
    m_lookup.SetOutsideIP(sender);
}

PageWorkbench::Enables PageWorkbench::enables() const
{
    const auto& s = m_state.fields();
    const RouterFields& f = s.router;
    bool router = routerLookupMode(m_settings.snapshot()->Router);
    Enables e;
    e.autoDetect = !s.knownAddress.empty();
    e.getPage = !f.url.empty() && router;
    e.find = !m_page.empty();
    e.test = !f.keyword.empty() && !f.skip.empty() && !m_page.empty();
    e.addToUserDefined = !f.skip.empty();
    e.getIp = !f.url.empty() && !f.skip.empty() && !f.keyword.empty();
    // Mark IP follows the selection; Keyword does too, once an address is marked.
    e.markIp = m_selectionLength > 0;
    e.keyword = m_addressMark != 0 && m_selectionLength > 0;
    return e;
}

} // namespace kestrelon
