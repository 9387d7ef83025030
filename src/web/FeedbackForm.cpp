#include "web/FeedbackForm.h"

#include "core/DateTimePattern.h"
#include "core/SettingsModel.h"
#include "net/MailSender.h"
#include "web/MessageLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace kestrelon {

FeedbackForm::FeedbackForm(SettingsModel& settings, MessageLog& log, MailSender& mail, Clock clock)
    : m_settings(settings), m_log(log), m_mail(mail), m_clock(std::move(clock))
{
}

std::string FeedbackForm::fieldLine(const std::string& field)
{
    size_t eq = field.find('=');
    if (eq == std::string::npos) {
        return field;
    }
    return field.substr(0, eq + 1) + " " + field.substr(eq + 1);
}

std::string FeedbackForm::fileRecord(const std::string& stamp, const std::string& address,
                                     const std::vector<std::string>& fields)
{
    std::string record = stamp + "\r\n" + "Sender's IP address was: " + address + "\r\n" + " \r\n";
    for (const std::string& field : fields) {
        record += fieldLine(field) + "\r\n";
    }
    record += std::string(42, '-') + "\r\n" + "\r\n";
    return record;
}

std::string FeedbackForm::mailBody(const std::string& stamp, const std::string& address,
                                   const std::vector<std::string>& fields)
{
    std::string body = stamp + "\r\n" + "Sender's IP address was: " + address + "\r\n";
    for (const std::string& field : fields) {
        body += fieldLine(field) + "\r\n";
    }
    body += std::string(35, '-');
    return body;
}

void FeedbackForm::append(const std::string& path, const std::string& record)
{
    std::lock_guard lock(m_fileMutex);
    // O_APPEND puts every write at the end, even when another program appends as well.
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(errno));
    }
    const char* data = record.data();
    size_t left = record.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            int error = n < 0 ? errno : EIO;
            ::close(fd);
            throw std::runtime_error("Cannot write file \"" + path + "\". " + std::strerror(error));
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::close(fd);
}

void FeedbackForm::ProcessCGIText(const std::vector<std::string>& fields, const std::string& address)
{
    const auto s = m_settings.snapshot();
    const WebServeSettings& web = s->WebServe;
    const std::string stamp = formatDateTime(s->TimeServer.Format, DateTimeParts::fromLocalTime(m_clock()));

    // 1 and 2. The file.
    if (web.Append && !web.AppendFile.empty()) {
        append(web.AppendFile, fileRecord(stamp, address, fields));
    } else if (web.Append) {
        m_log.DisplayMessage(kNoFileName);
    }

    // 3. The mail, when chosen and complete.
    if (!web.Email || web.EmailServer.empty() || web.EmailAddr.empty() || web.EmailFrom.empty() ||
        web.Subject.empty()) {
        if (web.Email) {
            m_log.DisplayMessage(kMailSettingsIncorrect);
        }
        return;
    }

    // 4 to 8. Build and send it; the sender connects, sends and always disconnects.
    MailMessage message;
    message.from = web.EmailFrom;
    message.recipients = web.EmailAddr;
    message.subject = web.Subject;
    message.body = mailBody(stamp, address, fields);
    SmtpAccount account;
    account.server = web.EmailServer;
    account.login = web.FeedAuth;
    if (web.FeedAuth) {
        account.user = web.FeedUser;
        account.password = web.FeedPass;
    }
    account.connectTimeoutMs = 5000;
    if (std::string error = m_mail.send(account, message); !error.empty()) {
        m_log.DisplayMessage("Email error: " + error);
    }
}

} // namespace kestrelon
