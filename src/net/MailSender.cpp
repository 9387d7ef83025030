#include "net/MailSender.h"

#include "core/DateTimePattern.h"
#include "core/HostPort.h"
#include "core/Text.h"
#include "net/CurlTransfer.h"
#include "net/UrlHost.h"

#include <QByteArray>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string_view>

namespace kestrelon {

namespace {

constexpr size_t kFoldWidth = 78;     // recommended header line length
constexpr size_t kQpLineContent = 75; // 76 with the soft-break "="

bool isBlank(char c)
{
    // Blanks around an address; inside one they make it invalid.
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// "Name: value", folded before blanks so that lines stay near 78 characters where the value
// allows it. A fold goes only before a blank that is followed by a non-blank, so no folded line
// consists of blanks alone; unfolding (removing the CR LF) gives back the value unchanged.
std::string headerLine(std::string_view name, std::string_view value)
{
    std::string out(name);
    out += ": ";
    size_t lineLength = out.size();
    size_t i = 0;
    bool first = true;
    while (i < value.size()) {
        // A segment: leading blanks and the word after them.
        size_t end = i;
        while (end < value.size() && value[end] == ' ') {
            ++end;
        }
        while (end < value.size() && value[end] != ' ') {
            ++end;
        }
        bool startsWithBlank = value[i] == ' ';
        bool hasWord = end > i && value[end - 1] != ' ';
        if (!first && startsWithBlank && hasWord && lineLength + (end - i) > kFoldWidth) {
            out += "\r\n";
            lineLength = 0;
        }
        out.append(value.substr(i, end - i));
        lineLength += end - i;
        first = false;
        i = end;
    }
    out += "\r\n";
    return out;
}

std::string base64(std::string_view bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size())).toBase64().toStdString();
}

// The name this computer gives in EHLO and in the Message-ID when the sender has no domain.
std::string localName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) {
        return "localhost";
    }
    for (const char* p = name; *p; ++p) {
        if (!isHostNameChar(*p) || *p == '_') {
            return "localhost";
        }
    }
    return name;
}

// RFC 5322 date in local time with a numeric zone, English names whatever the locale.
std::string dateHeaderNow()
{
    const DateTimeLocale& english = DateTimeLocale::english();
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    long offset = tm.tm_gmtoff / 60;
    char sign = offset < 0 ? '-' : '+';
    offset = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  english.shortDayNames[size_t(tm.tm_wday % 7)].c_str(), tm.tm_mday,
                  english.shortMonthNames[size_t(tm.tm_mon % 12)].c_str(), tm.tm_year + 1900, tm.tm_hour,
                  tm.tm_min, tm.tm_sec, sign, offset / 60, offset % 60);
    return text;
}

std::string newMessageId(const std::string& fromAddress)
{
    static std::atomic<uint64_t> counter{0};
    static const uint64_t seed = std::random_device{}() * 0x100000000ull + std::random_device{}();
    std::string domain;
    if (auto at = fromAddress.rfind('@'); at != std::string::npos) {
        domain = fromAddress.substr(at + 1);
    }
    bool domainUsable = !domain.empty();
    for (char c : domain) {
        domainUsable = domainUsable && isHostNameChar(c);
    }
    if (!domainUsable) {
        domain = localName();
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    char text[64];
    std::snprintf(text, sizeof text, "%llx.%llx.%llx", static_cast<unsigned long long>(ms),
                  static_cast<unsigned long long>(seed), static_cast<unsigned long long>(++counter));
    return "<" + std::string(text) + "@" + domain + ">";
}

// An address goes into an SMTP command line; blanks, controls and angle brackets there would
// break the command or smuggle in another one.
bool validEnvelopeAddress(const std::string& address)
{
    for (char c : address) {
        auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f || c == '<' || c == '>') {
            return false;
        }
    }
    return true;
}

// The message text libcurl reads after DATA.
struct Upload {
    const std::string* data = nullptr;
    size_t position = 0;
};

size_t readData(char* buffer, size_t size, size_t count, void* user)
{
    auto* u = static_cast<Upload*>(user);
    size_t n = std::min(size * count, u->data->size() - u->position);
    std::memcpy(buffer, u->data->data() + u->position, n);
    u->position += n;
    return n;
}

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

} // namespace

std::vector<std::string> MailSender::parseAddressList(const std::string& text)
{
    std::vector<std::string> addresses;
    auto finishItem = [&](std::string_view item, size_t openAngle, size_t closeAngle) {
        std::string address;
        if (openAngle != std::string::npos) {
            size_t end = closeAngle == std::string::npos ? item.size() : closeAngle;
            address = std::string(item.substr(openAngle + 1, end - openAngle - 1));
        } else {
            address = std::string(item);
        }
        size_t b = 0, e = address.size();
        while (b < e && isBlank(address[b])) {
            ++b;
        }
        while (e > b && isBlank(address[e - 1])) {
            --e;
        }
        if (e > b) {
            addresses.push_back(address.substr(b, e - b));
        }
    };

    std::string_view all(text);
    size_t start = 0;
    size_t openAngle = std::string::npos, closeAngle = std::string::npos;
    bool inQuotes = false, inAngle = false;
    for (size_t i = 0; i < all.size(); ++i) {
        char c = all[i];
        if (inQuotes) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            }
        } else if (inAngle) {
            if (c == '>') {
                inAngle = false;
                closeAngle = i - start;
            }
        } else if (c == '"') {
            inQuotes = true;
        } else if (c == '<') {
            inAngle = true;
            openAngle = i - start;
            closeAngle = std::string::npos;
        } else if (c == ',' || c == ';') {
            finishItem(all.substr(start, i - start), openAngle, closeAngle);
            start = i + 1;
            openAngle = closeAngle = std::string::npos;
        }
    }
    // An unclosed quote or angle bracket runs to the end of the text.
    finishItem(all.substr(std::min(start, all.size())), openAngle, closeAngle);
    return addresses;
}

std::string MailSender::quotedPrintable(const std::string& body)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(body.size() + body.size() / 8 + 8);
    size_t lineLength = 0;
    auto put = [&](std::string_view piece) {
        if (lineLength + piece.size() > kQpLineContent) {
            out += "=\r\n";
            lineLength = 0;
        }
        out += piece;
        lineLength += piece.size();
    };
    auto putEncoded = [&](unsigned char u) {
        char code[3] = {'=', kHex[u >> 4], kHex[u & 15]};
        put(std::string_view(code, 3));
    };
    for (size_t i = 0; i < body.size(); ++i) {
        char c = body[i];
        auto u = static_cast<unsigned char>(c);
        if (c == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
            out += "\r\n";
            lineLength = 0;
            ++i;
        } else if (c == ' ' || c == '\t') {
            // Blanks at the end of a line may be dropped on the way, so those are encoded.
            bool lineEnd = i + 1 == body.size() || body.compare(i + 1, 2, "\r\n") == 0;
            if (lineEnd) {
                putEncoded(u);
            } else {
                put(std::string_view(&c, 1));
            }
        } else if (c == 'F' && lineLength == 0 && body.compare(i, 5, "From ") == 0) {
            putEncoded(u); // mailbox files would turn a line "From ..." into ">From ..."
        } else if (u >= 33 && u <= 126 && c != '=') {
            put(std::string_view(&c, 1));
        } else {
            putEncoded(u);
        }
    }
    if (!body.empty() && body.compare(body.size() >= 2 ? body.size() - 2 : 0, 2, "\r\n") != 0) {
        // No final line break in the body: the line break that SMTP needs is a soft one.
        out += "=\r\n";
    }
    return out;
}

std::string MailSender::encodeSubject(const std::string& subject)
{
    std::string text;
    for (char c : subject) {
        if (c != '\r' && c != '\n') {
            text += c;
        }
    }
    bool plain = text.find("=?") == std::string::npos;
    size_t run = 0;
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        plain = plain && ((u >= 0x20 && u <= 0x7e) || c == '\t');
        run = c == ' ' ? 0 : run + 1;
        plain = plain && run < 900; // a word too long for one header line
    }
    if (plain) {
        return text;
    }
    // Encoded words of at most 42 bytes each (56 base64 characters), cut between UTF-8
    // characters so every word decodes on its own.
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = std::min(i + 42, text.size());
        while (end > i + 1 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80) {
            --end;
        }
        if (!out.empty()) {
            out += ' ';
        }
        out += "=?UTF-8?B?" + base64(std::string_view(text).substr(i, end - i)) + "?=";
        i = end;
    }
    return out;
}

std::string MailSender::composeMessage(const MailMessage& message, const std::string& dateHeader,
                                       const std::string& messageId)
{
    std::string out;
    out += headerLine("Date", dateHeader);
    if (!message.from.empty()) {
        out += headerLine("From", withoutControls(message.from));
    }
    out += headerLine("To", withoutControls(message.recipients));
    out += headerLine("Subject", encodeSubject(message.subject));
    out += headerLine("Message-ID", messageId);
    out += "MIME-Version: 1.0\r\n";
    out += "Content-Type: text/plain; charset=utf-8\r\n";
    out += "Content-Transfer-Encoding: quoted-printable\r\n";
    out += "\r\n";
    out += quotedPrintable(message.body);
    return out;
}

std::string MailSender::send(const SmtpAccount& account, const MailMessage& message, std::stop_token stop)
{
    // The envelope comes from the same cleaned texts as the headers, so both name the same people.
    std::vector<std::string> recipients = parseAddressList(withoutControls(message.recipients));
    if (recipients.empty()) {
        return "No recipient address given";
    }
    for (const auto& r : recipients) {
        if (!validEnvelopeAddress(r)) {
            return "Invalid recipient address \"" + withoutControls(r) + "\"";
        }
    }
    std::vector<std::string> senders = parseAddressList(withoutControls(message.from));
    std::string sender = senders.empty() ? std::string() : senders.front();
    if (!validEnvelopeAddress(sender)) {
        return "Invalid sender address \"" + withoutControls(sender) + "\"";
    }

    if (trimBlanks(account.server).empty()) {
        return "No SMTP server given";
    }
    const auto server = parseHostPort(account.server, 25);
    if (!server) {
        return "Invalid SMTP server \"" + withoutControls(account.server) + "\"";
    }
    const auto host = urlHost(server->host);
    if (!host) {
        return "Invalid SMTP server \"" + withoutControls(account.server) + "\"";
    }
    // The URL's path is the name this computer gives in EHLO.
    std::string url = "smtp://" + *host + ":" + std::to_string(server->port) + "/" + localName();

    std::string data = composeMessage(message, dateHeaderNow(), newMessageId(sender));
    std::string mailFrom = "<" + sender + ">";
    std::unique_ptr<curl_slist, SlistDeleter> rcpts;
    for (const auto& r : recipients) {
        curl_slist* grown = curl_slist_append(rcpts.get(), ("<" + r + ">").c_str());
        if (!grown) {
            return "Out of memory";
        }
        (void)rcpts.release(); // the same list, one entry longer
        rcpts.reset(grown);
    }
    Upload upload{&data, 0};

    // Declared last, so the handle goes before everything its options point to.
    CurlTransfer transfer;
    if (!transfer.valid()) {
        return "Unable to start the mail client";
    }
    transfer.setTimeouts({std::chrono::milliseconds(account.connectTimeoutMs),
                          std::chrono::milliseconds(account.responseTimeoutMs),
                          std::chrono::milliseconds(account.timeoutMs)});
    CURL* c = transfer.handle();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
    // One connection per mail: the goodbye is said within perform, where a stop still reaches it.
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpts.get());
    if (account.login) {
        curl_easy_setopt(c, CURLOPT_USERNAME, account.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, account.password.c_str());
        curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    }
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readData);
    curl_easy_setopt(c, CURLOPT_READDATA, &upload);
    return transfer.perform(stop);
}

} // namespace kestrelon
