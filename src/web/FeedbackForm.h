#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kestrelon {

class MailSender;
class MessageLog;
class SettingsModel;

// What a page's feedback form sends: appended as a record to a file, or mailed, as the
// "Feedback Form" settings choose. Problems are reported in the Message log.
// ProcessCGIText may be called from many server threads at once: records appended to a file
// never interleave (one lock and one write per record), and mails go out one at a time through
// the shared sender.
class FeedbackForm {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    FeedbackForm(SettingsModel& settings, MessageLog& log, MailSender& mail,
                 Clock clock = &std::chrono::system_clock::now);

    static constexpr const char* kNoFileName = "Feedback form has no Filename set. Unable to save form.";
    static constexpr const char* kMailSettingsIncorrect =
        "E-mail address or SMTP Server incorrect. Unable to send mail.";

    // fields: "name=value" strings in the order received, decoded; address: the sender's.
    // Throws std::runtime_error when the record file cannot be opened or written (the request
    // then ends with an error reply, and no mail is tried).
    void ProcessCGIText(const std::vector<std::string>& fields, const std::string& address);

    // "name=value" becomes "name= value" (the first "=" only); a field without "=" stays.
    static std::string fieldLine(const std::string& field);
    // The record appended to the file: stamp, address line, a line of one blank, the fields, a
    // rule of 42 hyphens and an empty line, every line ending in CR LF.
    static std::string fileRecord(const std::string& stamp, const std::string& address,
                                  const std::vector<std::string>& fields);
    // The mail body: stamp, address line, the fields and a rule of 35 hyphens, lines separated
    // by CR LF, nothing after the rule.
    static std::string mailBody(const std::string& stamp, const std::string& address,
                                const std::vector<std::string>& fields);

private:
    void append(const std::string& path, const std::string& record);

    SettingsModel& m_settings;
    MessageLog& m_log;
    MailSender& m_mail;
    Clock m_clock;
    std::mutex m_fileMutex;
};

} // namespace kestrelon
