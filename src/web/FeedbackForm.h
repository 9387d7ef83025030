#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kestrelon {

class MailQueue;
class MessageLog;
struct Settings;
struct WebServeSettings;

// What a page's feedback form sends: appended as a record to a file, or mailed, as the
// "Feedback Form" settings choose. Problems are reported in the Message log.
// ProcessCGIText may be called from many server threads at once: records appended to a file
// never interleave and are written whole or not at all (one lock, one write per record); mails
// are handed to the mail queue, so a request never waits for an SMTP server.
class FeedbackForm {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    FeedbackForm(MessageLog& log, MailQueue& mail, Clock clock = &std::chrono::system_clock::now);

    static constexpr const char* kNoFileName = "Feedback form has no Filename set. Unable to save form.";
    static constexpr const char* kMailSettingsIncorrect =
        "E-mail address or SMTP Server incorrect. Unable to send mail.";

    // The one way a submission goes. A hand-edited settings file may tick both: the e-mail wins,
    // as in the window, where the later of the two keys read checks its button and so clears the
    // other. With neither ticked nothing is done.
    enum class Way { None, Append, Email };
    static Way chosenWay(const WebServeSettings& web);

    // settings: the request's copy. fields: "name=value" strings in the order received, decoded;
    // address: the sender's. Returns once the record is stored or the mail is queued; a mail that
    // fails later is logged as "Email error: ...". Throws std::runtime_error when the record file
    // cannot be opened or written (the request then ends with an error reply; the file is left
    // as it was).
    void ProcessCGIText(const Settings& settings, const std::vector<std::string>& fields,
                        const std::string& address);

    // "name=value" becomes "name= value" (the first "=" only); a field without "=" stays. A line
    // break inside a field (CR LF, CR or LF) becomes CR LF and a tab, and a field whose first line
    // is nothing but hyphens is indented by a tab too, so what a sender types can never pass for a line of
    // the record itself (a time stamp, an address line or the closing rule).
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

    MessageLog& m_log;
    MailQueue& m_mail;
    Clock m_clock;
    std::mutex m_fileMutex;
};

} // namespace kestrelon
