#pragma once

#include <curl/curl.h>

#include <chrono>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

namespace kestrelon {

// One libcurl transfer as every client of ours runs it: the easy handle and its connection cache,
// the library's global set-up, time-outs on every wait, cancellation, the server's replies and a
// readable error text. The client (mail sender, FTP session, HTTP client) sets its protocol's own
// options on handle() and calls perform().
//
// One thread at a time may use an object; different objects may run on different threads at once.
// Only perform's stop token may be triggered from another thread.
class CurlTransfer {
public:
    struct Timeouts {
        // Making the connection, and for SMTP and FTP also the greeting and the login.
        std::chrono::milliseconds connect{5000};
        // Every single reply of an SMTP or FTP server, the one after the mail's data included
        // (libcurl counts it in whole seconds: rounded up).
        std::chrono::milliseconds serverResponse{10000};
        // The whole transfer, the goodbye after a failure included.
        std::chrono::milliseconds total{30000};
    };

    static constexpr const char* kCancelled = "Cancelled";

    CurlTransfer();
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // False when libcurl could not make a handle; perform then only reports that.
    bool valid() const { return m_easy && m_multi; }
    // For the client's own options. Callbacks and the data they read must outlive perform().
    CURL* handle() const { return m_easy; }
    void setTimeouts(const Timeouts& timeouts);
    // Every reply line the server sends (line end removed), for a client that logs the dialogue.
    void setReplySink(std::function<void(std::string_view line)> sink) { m_replySink = std::move(sink); }

    // Runs the transfer until it ends, fails, runs out of time or stop is requested. A stop ends
    // it at once, or within two seconds when libcurl is in one of its blocking waits for a reply
    // (it looks at the stop once a second there, and a failed SMTP or FTP dialogue waits for the
    // reply to its goodbye as well). Connections are kept
    // for the next perform unless the client forbids that. Returns the empty text on success, else
    // the error: libcurl's message with its detail, and the server's last refusal when there was
    // one ("... (server reply: 550 No such user)"); kCancelled after a stop.
    std::string perform(std::stop_token stop = {});

    // About the last perform.
    CURLcode result() const { return m_result; }
    bool cancelled() const { return m_cancelled; }
    // The server's last refusal (a 4xx or 5xx reply of a line-based protocol, all its lines).
    const std::string& lastRefusal() const { return m_refusal; }

private:
    static int debugCallback(CURL*, curl_infotype type, char* data, size_t size, void* user);
    static int progressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    void takeReplyLine(std::string_view line);
    std::string errorText() const;

    CURL* m_easy = nullptr;
    CURLM* m_multi = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    std::function<void(std::string_view)> m_replySink;
    std::stop_token m_stop;
    std::chrono::milliseconds m_total{0};
    std::chrono::steady_clock::time_point m_deadline;
    bool m_pastDeadline = false;
    CURLcode m_result = CURLE_OK;
    bool m_cancelled = false;
    std::string m_refusal;
    std::string m_currentReply;
    bool m_replyComplete = true;
};

} // namespace kestrelon
