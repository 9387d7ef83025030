// libFuzzer target: the mail's address lists and the message as it goes out. Input: sender,
// recipients, subject and body, separated by NUL bytes. Addresses are pieces of the list without
// blanks around them; no text puts a header of its own into the message; the body decodes to
// exactly what was given.
#include "FuzzCheck.h"
#include "net/MailSender.h"

#include <optional>
#include <string>

using namespace kestrelon;
using kestrelon::fuzz::check;

namespace {

int hexValue(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// Quoted-printable back to bytes; nothing when the encoding breaks its own rules.
std::optional<std::string> decodeQuotedPrintable(std::string_view text)
{
    std::string out;
    for (std::string_view line : kestrelon::fuzz::crLfLines(text)) {
        if (line.size() > 76) {
            return std::nullopt;
        }
        bool soft = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '=') {
                out += line[i];
            } else if (i + 1 == line.size()) {
                soft = true;
            } else if (i + 2 < line.size() && hexValue(line[i + 1]) >= 0 && hexValue(line[i + 2]) >= 0) {
                out += static_cast<char>(hexValue(line[i + 1]) * 16 + hexValue(line[i + 2]));
                i += 2;
            } else {
                return std::nullopt;
            }
        }
        if (!soft) {
            out += "\r\n";
        }
    }
    return out;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parts = kestrelon::fuzz::splitInput(data, size, 4);
    MailMessage message;
    message.from = std::string(parts[0]);
    message.recipients = std::string(parts[1]);
    message.subject = std::string(parts[2]);
    message.body = std::string(parts[3]);

    for (const std::string& address : MailSender::parseAddressList(message.recipients)) {
        check(!address.empty() && !isBlank(address.front()) && !isBlank(address.back()));
        check(message.recipients.find(address) != std::string::npos);
    }

    const std::string mail =
        MailSender::composeMessage(message, "Tue, 09 Dec 2026 10:15:02 +0000", "<1@kestrelon>");
    const size_t end = mail.find("\r\n\r\n");
    check(end != std::string::npos);
    const std::string_view headers = std::string_view(mail).substr(0, end + 2);
    check(kestrelon::fuzz::onlyCrLf(headers));
    static const char* const kNames[] = {
        "Date: ",       "From: ",         "To: ",           "Subject: ",
        "Message-ID: ", "MIME-Version: ", "Content-Type: ", "Content-Transfer-Encoding: "};
    for (std::string_view line : kestrelon::fuzz::crLfLines(headers)) {
        bool known = !line.empty() && isBlank(line.front()); // a folded line goes on with the last header
        for (const char* name : kNames) {
            known |= line.starts_with(name);
        }
        check(known);
    }
    check(decodeQuotedPrintable(std::string_view(mail).substr(end + 4)) == message.body);
    return 0;
}
