#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

namespace kestrelon {

struct MailMessage {
    std::string from;       // sender address, optionally with a display name ("Me <me@x.org>")
    std::string recipients; // an address-list text as a user types it: "a@x.org, Bob <b@y.org>; c@z"
    std::string subject;
    std::string body; // plain text, lines separated by CR LF
};

struct SmtpAccount {
    std::string server; // read by parseHostPort: "host", "host:port", "[v6]:port"; port 25 when none is given
    bool login = false; // AUTH LOGIN with user/password; without it no credentials are sent
    std::string user, password;
    int connectTimeoutMs = 5000;   // connecting, the server's greeting and the login
    int responseTimeoutMs = 10000; // each later reply, the one that accepts the data included
    int timeoutMs = 30000;         // the whole dialogue, so a stuck server never holds a thread for ever
};

// Sends plain-text mail over SMTP with libcurl. Each send has a connection of its own, so
// several threads may send at once and a stuck server holds up only its own mails.
// The body goes out quoted-printable, so it arrives byte for byte after decoding, whatever its
// line lengths, characters or line ends.
class MailSender {
public:
    // Any thread; blocks for the dialogue, within the account's time-outs; a stop request ends it
    // within two seconds. Returns the empty text on success, else a human-readable error
    // (callers log it as "Email error: " + message): libcurl's error text, with the server's reply
    // when it refused something, or CurlTransfer::kCancelled after a stop.
    static std::string send(const SmtpAccount& account, const MailMessage& message,
                            std::stop_token stop = {});

    // Pure; any thread. The bare addresses of an address-list text: items are separated by ","
    // or ";" outside quotes and angle brackets; an item's address is the part inside <> when it
    // has one, else the item without its surrounding blanks. Empty items are skipped.
    static std::vector<std::string> parseAddressList(const std::string& text);

    // Pure; any thread. The complete message as it goes over the wire after DATA (before
    // libcurl's dot-stuffing): headers, a blank line and the quoted-printable body, ending in
    // CR LF. dateHeader and messageId are filled in by send(); tests pass their own.
    static std::string composeMessage(const MailMessage& message, const std::string& dateHeader,
                                      const std::string& messageId);

    // Pure; any thread. Quoted-printable for a text body: CR LF pairs stay hard line breaks, a
    // lone CR or LF is encoded, lines stay within 76 characters, and a body without a final line
    // break ends in a soft break, so decoding gives back exactly the bytes that were given.
    static std::string quotedPrintable(const std::string& body);

    // Pure; any thread. The Subject header's value: the text itself when it is printable ASCII,
    // else RFC 2047 encoded words (UTF-8, base64) on folded lines. CR and LF are removed first.
    static std::string encodeSubject(const std::string& subject);
};

} // namespace kestrelon
