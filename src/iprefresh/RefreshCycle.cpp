#include "iprefresh/RefreshCycle.h"

#include "core/DottedAddress.h"
#include "core/LineLog.h"
#include "core/LocalAddresses.h"
#include "core/SerialJobRunner.h"
#include "core/ServerControl.h"
#include "core/SettingsModel.h"
#include "iprefresh/ChangeMailText.h"
#include "iprefresh/ChangeMailer.h"
#include "iprefresh/CheckFiles.h"
#include "iprefresh/IntervalRules.h"
#include "iprefresh/IpLookup.h"
#include "iprefresh/IpRefreshState.h"
#include "iprefresh/RefreshPass.h"

namespace kestrelon {

namespace {

bool isAddress(const std::string& current)
{
    return !current.empty() && current != IpRefreshState::kUnknown;
}

} // namespace

RefreshCycle::RefreshCycle(SettingsModel& settings, IpRefreshState& state, IpLookup& lookup,
                           SerialJobRunner& jobs, const IpRefreshServices& services, QObject* parent)
    : QObject(parent), m_settings(settings), m_state(state), m_lookup(lookup), m_jobs(jobs),
      m_services(services.withDefaults())
{
    // Once every job has ended and its results are in, no step of the cycle is waiting any more
    // (also when jobs were dropped at shutdown).
    connect(&m_jobs, &SerialJobRunner::idle, this, [this] { m_busy = false; });
    Timer1.setInterval(kTickInterval);
    connect(&Timer1, &QTimer::timeout, this, &RefreshCycle::minuteTick);
    // The Uploaded IP panel starts with the last uploaded address, so that a run that never shows
    // the page (headless) does not upload an unchanged address at every expiry.
    std::string last = m_settings.snapshot()->FTP.LastUploaded;
    m_state.change([&](auto& f) { f.uploadedIP = last; });
}

void RefreshCycle::logLine(const std::string& text)
{
    if (m_settings.snapshot()->Remote.FTPLog) {
        m_services.log.append(text);
    }
}

void RefreshCycle::setLamp(bool lime)
{
    m_state.change([&](auto& f) { f.lampLime = lime; });
}

void RefreshCycle::finishJob()
{
    m_busy = false;
}

std::string RefreshCycle::CheckFiles()
{
    std::string message = checkFilesMessage(*m_settings.snapshot(), m_services.ownAddresses.selected());
    if (!message.empty()) {
        Timer1.stop();
        m_state.change([](auto& f) { f.currentIP = IpRefreshState::kUnknown; });
    }
    return message;
}

void RefreshCycle::applyMinimumInterval()
{
    auto s = m_settings.snapshot();
    int32_t interval =
        minimumInterval(s->FTP.Interval, routerLookupMode(s->Router), m_state.fields().router.url);
    if (interval != s->FTP.Interval) {
        m_settings.update([&](Settings& w) { w.FTP.Interval = interval; });
    }
}

void RefreshCycle::lookupThen(std::function<void()> next)
{
    if (m_services.noLookup) {
        next();
    } else {
        m_lookup.SetOutsideIP(LookupSender::Ordinary, std::move(next));
    }
}

void RefreshCycle::startOrUpdate()
{
    if (m_busy) {
        return;
    }
    applyMinimumInterval();
    std::string message = CheckFiles();
    if (m_settings.snapshot()->System.Debug) {
        message = kDebugRefusal;
    }
    if (!message.empty()) {
        Q_EMIT messageBox(QString::fromStdString(message));
        return;
    }
    m_busy = true;
    lookupThen([this] { afterStartLookup(); });
}

void RefreshCycle::afterStartLookup()
{
    auto s = m_settings.snapshot();
    int32_t interval = s->FTP.Interval;
    if (interval > 0) {
        Timer1.start();
        // After the lookup, so that a failure of Start's own lookup is not counted.
        m_state.change([](auto& f) {
            f.running = true;
            f.startEnabled = false;
            f.stopEnabled = true;
            f.backoffFactor = 0;
            f.failureFlag = false;
        });
        logLine(": Started IP-Refresh.");
    } else {
        Timer1.stop();
        m_state.change([](auto& f) {
            f.startEnabled = true;
            f.stopEnabled = false;
        });
    }
    m_countdown = interval;
    m_state.change([&](auto& f) {
        if (interval > 0) {
            f.intervalEnabled = false;
        }
        f.countdownText = interval > 0 ? std::to_string(interval) : "Manual";
    });
    const std::string current = m_state.fields().currentIP;
    const std::string& last = s->FTP.LastUploaded;
    setLamp(!last.empty() && last == current && isAddress(current));
    if (current == last) {
        if (interval == 0) {
            logLine(": Update not required");
        }
        finishJob();
        return;
    }
    if (!isAddress(current)) {
        finishJob();
        return;
    }
    refreshPass([this] { finishJob(); });
}

void RefreshCycle::minuteTick()
{
    if (!Timer1.isActive() || m_busy) {
        return;
    }
    --m_countdown;
    m_state.change([&](auto& f) { f.countdownText = hoursAndMinutes(m_countdown); });
    if (m_countdown > 0) {
        return;
    }
    m_busy = true;
    lookupThen([this] { afterTickLookup(); });
}

void RefreshCycle::afterTickLookup()
{
    auto reload = [this] {
        auto s = m_settings.snapshot();
        m_countdown = reloadedCountdown(s->FTP.Interval, m_state.fields().backoffFactor);
        m_state.change([&](auto& f) { f.countdownText = std::to_string(m_countdown); });
        finishJob();
    };
    const auto& f = m_state.fields();
    if (f.uploadedIP != f.currentIP && isAddress(f.currentIP)) {
        refreshPass(reload);
    } else {
        reload();
    }
}

void RefreshCycle::upload()
{
    if (m_busy) {
        return;
    }
    m_busy = true;
    refreshPass([this] { finishJob(); });
}

void RefreshCycle::refreshPass(std::function<void()> done)
{
    const std::string address = m_state.fields().currentIP;
    if (address.empty()) {
        done();
        return;
    }
    if (!ValidIP(address)) {
        logLine(" : Invalid IP - " + address);
        done();
        return;
    }
    if (std::string message = CheckFiles(); !message.empty()) {
        Q_EMIT messageBox(QString::fromStdString(message));
        done();
        return;
    }
    m_services.log.emptyIfFull();

    PassInput input{m_settings.snapshot(), address, m_services.uploadFile, m_services.clock};
    FtpSession* ftp = &m_services.ftp;
    ChangeMailer* mailer = &m_services.mailer;
    SettingsModel* settings = &m_settings;
    m_jobs.enqueue([this, input, ftp, mailer, settings, done](SerialJobRunner::Context& job) {
        // Progress reaches the main thread as it happens, in order.
        PassReport report;
        report.log = [this, &job](const std::string& line) {
            job.post([this, line] { m_services.log.append(line); });
        };
        report.status = [this, &job](const std::string& text) {
            job.post([this, text] { m_state.change([&](auto& f) { f.statusText = text; }); });
        };
        report.messageLog = [this, &job](const std::string& line) {
            job.post([this, line] {
                if (m_services.messageLog) {
                    m_services.messageLog(line);
                }
            });
        };
        RefreshPassOutcome outcome = runRefreshPass(input, *ftp, *mailer, report, job.stopToken());
        // What is on the server and in the mailbox now is stored at once, so a shutdown that
        // drops the posts below still saves it and the next run does not send it again.
        if (outcome.uploaded || outcome.addressMailed) {
            settings->update([&](Settings& s) {
                if (outcome.uploaded) {
                    s.FTP.LastUploaded = input.address;
                }
                if (outcome.addressMailed) {
                    s.DNS.IP = input.address;
                }
            });
        }
        job.post([this, address = input.address, outcome, done] {
            finishPass(address, outcome);
            done();
        });
    });
}

void RefreshCycle::finishPass(const std::string& address, const RefreshPassOutcome& outcome)
{
    // The stored addresses were set by the pass's job.
    if (outcome.uploaded) {
        m_state.change([&](auto& f) { f.uploadedIP = address; });
    } else if (outcome.uploadAttempted) {
        m_state.change([](auto& f) { f.uploadedIP = IpRefreshState::kError; });
    }
    auto s = m_settings.snapshot();
    m_countdown = s->FTP.Interval;
    bool lime = s->FTP.LastUploaded == address;
    setLamp(lime);
    if (!outcome.localError.empty()) {
        Q_EMIT messageBox(QString::fromStdString(outcome.localError));
    } else if (lime && m_services.server.running()) {
        m_services.server.restart();
    }
    Q_EMIT passFinished();
}

void RefreshCycle::sendTestMail()
{
    ChangeMail mail = changeMail(*m_settings.snapshot(), m_services.clock(), kTestMailText);
    ChangeMailer* mailer = &m_services.mailer;
    m_jobs.enqueue([this, mail, mailer](SerialJobRunner::Context& job) {
        std::string error;
        try {
            error = mailer->send(mail, job.stopToken());
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = "error";
        }
        if (!error.empty()) {
            job.post([this, error] {
                if (m_services.messageLog) {
                    m_services.messageLog(changeMailErrorLine(error));
                }
            });
        }
    });
}

void RefreshCycle::stop()
{
    Timer1.stop();
    m_state.change([](auto& f) {
        f.startEnabled = true;
        f.intervalEnabled = true;
        f.stopEnabled = false;
        f.countdownText.clear();
        f.running = false;
    });
}

void RefreshCycle::intervalChanged()
{
    int32_t interval = m_settings.snapshot()->FTP.Interval;
    if (interval > 0) {
        m_state.change([](auto& f) { f.countdownText.clear(); });
    } else {
        Timer1.stop();
        m_state.change([](auto& f) {
            f.countdownText = "Manual";
            f.stopEnabled = false;
        });
    }
    CheckFiles();
}

void RefreshCycle::intervalEditFinished()
{
    int32_t before = m_settings.snapshot()->FTP.Interval;
    applyMinimumInterval();
    if (m_settings.snapshot()->FTP.Interval != before) {
        intervalChanged();
    }
}

void RefreshCycle::pageShown()
{
    std::string last = m_settings.snapshot()->FTP.LastUploaded;
    m_state.change([&](auto& f) { f.uploadedIP = last; });
    CheckFiles();
    setLamp(last == m_state.fields().currentIP);
}

void RefreshCycle::ftpSettingsShown()
{
    m_state.change([](auto& f) { f.startEnabled = !f.running; });
}

void RefreshCycle::startAtStartup(bool noAuto)
{
    if (!noAuto && m_settings.snapshot()->FTP.AutoStart && m_state.fields().startEnabled) {
        startOrUpdate();
    }
}

} // namespace kestrelon
