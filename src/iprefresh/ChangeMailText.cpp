#include "iprefresh/ChangeMailText.h"

#include "core/DateTimePattern.h"

namespace kestrelon {

std::string changeMailBody(const std::string& timeFormat, std::chrono::system_clock::time_point now,
                           const std::string& text)
{
    return formatDateTime(timeFormat, DateTimeParts::fromLocalTime(now)) + "\r\n" + kChangeMailLine + "\r\n" +
           text + "\r\n" + std::string(35, '-');
}

std::string changeMailSubject(const Settings& settings)
{
    return settings.DNS.Subject;
}

ChangeMail changeMail(const Settings& settings, std::chrono::system_clock::time_point now,
                      const std::string& text)
{
    ChangeMail mail;
    mail.server = settings.DNS.Server;
    mail.login = settings.DNS.WebAuth;
    if (mail.login) {
        mail.user = settings.DNS.WebUser;
        mail.password = settings.DNS.WebPass;
    }
    mail.from = settings.DNS.From;
    mail.to = settings.DNS.To;
    mail.subject = changeMailSubject(settings);
    mail.body = changeMailBody(settings.TimeServer.Format, now, text);
    return mail;
}

std::string changeMailErrorLine(const std::string& error)
{
    return "DNS Report: Email error: " + error;
}

} // namespace kestrelon
