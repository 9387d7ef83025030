#pragma once

#include <stop_token>
#include <string>

namespace kestrelon {

// One address-change mail, ready to send.
struct ChangeMail {
    std::string server; // "SMTP Server:"; port 25 unless the text names one
    bool login = false; // "Login required": AUTH LOGIN with user and password, else none
    std::string user;
    std::string password;
    std::string from;
    std::string to; // the recipients as typed, separated by commas
    std::string subject;
    std::string body; // CR LF line breaks
    int connectTimeoutMs = 5000;
};

// Sends the address-change mail; the program's shared mail sender implements it. Called on a
// job's worker thread; returns when the mail is sent or has failed, within bounded waits.
class ChangeMailer {
public:
    virtual ~ChangeMailer() = default;
    // Returns the empty text, or the mail client's error text. A stop request ends it at once.
    virtual std::string send(const ChangeMail& mail, std::stop_token stop) = 0;
};

} // namespace kestrelon
