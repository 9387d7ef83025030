#include "iprefresh/RefreshPass.h"

#include "iprefresh/ChangeMailText.h"
#include "iprefresh/ChangeMailer.h"
#include "iprefresh/Templates.h"
#include "net/FtpSession.h"

#include <exception>
#include <utility>

namespace kestrelon {

namespace {

// Runs one call of a client, turning an exception into its error text.
template <typename Call> std::string guarded(Call&& call)
{
    try {
        return call();
    } catch (const std::exception& e) {
        return std::string(e.what()).empty() ? "error" : e.what();
    } catch (...) {
        return "error";
    }
}

class Pass : public FtpSessionEvents {
public:
    Pass(const PassInput& input, const PassReport& report, std::stop_token stop)
        : m_in(input), m_report(report), m_stop(std::move(stop))
    {
    }

    void log(const std::string& text, bool always = false)
    {
        if ((always || m_in.settings->Remote.FTPLog) && m_report.log) {
            m_report.log(text);
        }
    }
    void status(const std::string& text)
    {
        if (m_report.status) {
            m_report.status(text);
        }
    }

    void connected() override
    {
        m_connected = true;
        status("Connected to " + m_in.settings->Remote.Host + "...");
        log(" :Connected to " + m_in.settings->Remote.Host);
    }
    void disconnected() override
    {
        m_connected = false;
        // A client that drops the connection inside a failed login or transfer reports it before
        // the pass has logged its error: the line waits for the pass's own disconnect step.
        if (m_inSession) {
            m_disconnectPending = true;
            return;
        }
        logDisconnected();
    }
    void logDisconnected()
    {
        log(" : Disconnected");
        status({});
    }

    void sendMail(ChangeMailer& mailer, const std::string& text)
    {
        ChangeMail mail = changeMail(*m_in.settings, m_in.clock(), text);
        std::string error = guarded([&] { return mailer.send(mail, m_stop); });
        if (!error.empty() && m_report.messageLog) {
            m_report.messageLog(changeMailErrorLine(error));
        }
    }

    RefreshPassOutcome run(FtpSession& ftp, ChangeMailer& mailer)
    {
        const Settings& s = *m_in.settings;
        const std::string& address = m_in.address;
        RefreshPassOutcome out;
        bool failureMail = false;
        if (s.FTP.EnableFTP && address != "Error") {
            out.uploadAttempted = true;
            FtpAccount account{s.Remote.Host, s.Remote.Username, s.Remote.Password, true};
            status("Connecting to " + s.Remote.Host + "...");
            log(" :Connecting to " + s.Remote.Host);
            m_inSession = true;
            std::string error = guarded([&] { return ftp.connect(account, *this, m_stop); });
            for (size_t i = 0; error.empty() && i < s.remoteTemplates.size(); ++i) {
                const TemplatePair& pair = s.remoteTemplates[i];
                if (!pair.checked) {
                    continue;
                }
                error = fillTemplateFile(pair.templateFile, m_in.uploadFile, address);
                std::string name = remoteName(pair.outputFile);
                if (error.empty()) {
                    error = guarded([&] { return ftp.store(m_in.uploadFile, name); });
                }
                if (error.empty()) {
                    status(name);
                    log(" : PUT - " + name);
                }
            }
            if (error.empty()) {
                out.uploaded = true;
                log(" : Uploaded IP - " + address, true);
            } else {
                out.uploadError = error;
                log(" : Upload Error");
                if (s.DNS.Sendmail) {
                    failureMail = true;
                    sendMail(mailer, std::string(kFailedSessionText) + "Error");
                }
            }
            m_inSession = false;
            if (m_connected) {
                guarded([&] {
                    ftp.quit();
                    return std::string();
                });
            } else if (std::exchange(m_disconnectPending, false)) {
                logDisconnected();
            }
        }
        if (s.DNS.Sendmail && !failureMail && s.DNS.IP != address) {
            out.addressMailed = true;
            sendMail(mailer, address);
        }
        if (address != "Error" && s.FTP.EnableFTP) {
            for (const TemplatePair& pair : s.localTemplates) {
                if (!pair.checked) {
                    continue;
                }
                out.localError = fillTemplateFile(pair.templateFile, pair.outputFile, address);
                if (!out.localError.empty()) {
                    break;
                }
                log(" : Updated - " + pair.outputFile);
            }
        }
        return out;
    }

private:
    const PassInput& m_in;
    const PassReport& m_report;
    std::stop_token m_stop;
    bool m_connected = false;
    bool m_inSession = false;         // from connect up to the pass's disconnect step
    bool m_disconnectPending = false; // the session ended before that step
};

} // namespace

RefreshPassOutcome runRefreshPass(const PassInput& input, FtpSession& ftp, ChangeMailer& mailer,
                                  const PassReport& report, std::stop_token stop)
{
    return Pass(input, report, std::move(stop)).run(ftp, mailer);
}

} // namespace kestrelon
