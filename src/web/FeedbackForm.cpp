#include "web/FeedbackForm.h"

#include "core/DateTimePattern.h"
#include "core/Settings.h"
#include "net/MailQueue.h"
#include "web/MessageLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrelon {

namespace {

// Continuation lines of a field start with this, which no line of the record itself does.
constexpr char kIndent = '\t';

std::string errorText(int error)
{
    return std::strerror(error);
}

} // namespace

FeedbackForm::FeedbackForm(MessageLog& log, MailQueue& mail, Clock clock)
    : m_log(log), m_mail(mail), m_clock(std::move(clock))
{
}

FeedbackForm::Way FeedbackForm::chosenWay(const WebServeSettings& web)
{
    if (web.Email) {
        return Way::Email;
    }
    return web.Append ? Way::Append : Way::None;
}

std::string FeedbackForm::fieldLine(const std::string& field)
{
    std::string line;
    line.reserve(field.size() + 1);
    // The first line counts, not the whole field: a rule followed by a line break would be a
    // rule all the same.
    const std::string_view firstLine = std::string_view(field).substr(0, field.find_first_of("\r\n"));
    if (!firstLine.empty() && firstLine.find_first_not_of('-') == std::string_view::npos) {
        line += kIndent;
    }
    bool firstEquals = true;
    for (size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < field.size() && field[i + 1] == '\n') {
                ++i;
            }
            line += "\r\n";
            line += kIndent;
        } else {
            line += c;
            if (c == '=' && firstEquals) {
                line += ' ';
                firstEquals = false;
            }
        }
    }
    return line;
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
        throw std::runtime_error("Cannot open file \"" + path + "\". " + errorText(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int error = errno;
        ::close(fd);
        throw std::runtime_error("Cannot write file \"" + path + "\". " + errorText(error));
    }
    // One write puts the record there whole; only a full disk or a size limit cuts it short, and
    // then the part that went in is taken out again, so later records never follow half a one.
    const char* data = record.data();
    size_t left = record.size();
    int error = 0;
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    if (error != 0) {
        std::string message = "Cannot write file \"" + path + "\". " + errorText(error);
        if (left < record.size() && ::ftruncate(fd, st.st_size) != 0) {
            message += " The record is incomplete: " + errorText(errno);
        }
        ::close(fd);
        throw std::runtime_error(message);
    }
    if (::close(fd) != 0) {
        throw std::runtime_error("Cannot write file \"" + path + "\". " + errorText(errno));
    }
}

void FeedbackForm::ProcessCGIText(const Settings& settings, const std::vector<std::string>& fields,
                                  const std::string& address)
{
    const WebServeSettings& web = settings.WebServe;
    const std::string stamp =
        formatDateTime(settings.TimeServer.Format, DateTimeParts::fromLocalTime(m_clock()));

    switch (chosenWay(web)) {
    case Way::None:
        return;
    case Way::Append:
        if (web.AppendFile.empty()) {
            m_log.DisplayMessage(kNoFileName);
        } else {
            append(web.AppendFile, fileRecord(stamp, address, fields));
        }
        return;
    case Way::Email:
        break;
    }

    if (web.EmailServer.empty() || web.EmailAddr.empty() || web.EmailFrom.empty() || web.Subject.empty()) {
        m_log.DisplayMessage(kMailSettingsIncorrect);
        return;
    }
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
    // The sender connects, sends and always disconnects; the request does not wait for it.
    m_mail.post(std::move(account), std::move(message), [&log = m_log](const std::string& error) {
        if (!error.empty()) {
            log.DisplayMessage("Email error: " + error);
        }
    });
}

} // namespace kestrelon
