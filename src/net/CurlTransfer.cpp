#include "net/CurlTransfer.h"

#include "core/Text.h"

#include <algorithm>
#include <mutex>

namespace kestrelon {

namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

int replyCode(std::string_view line)
{
    if (line.size() < 3 || line[0] < '1' || line[0] > '5' || line[1] < '0' || line[1] > '9' ||
        line[2] < '0' || line[2] > '9') {
        return 0;
    }
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

long wholeSecondsUp(std::chrono::milliseconds ms)
{
    return static_cast<long>(std::max<int64_t>(1, (ms.count() + 999) / 1000));
}

long atLeastOneMs(std::chrono::milliseconds ms)
{
    return static_cast<long>(std::max<int64_t>(1, ms.count()));
}

} // namespace

CurlTransfer::CurlTransfer()
{
    initCurlOnce();
    m_easy = curl_easy_init();
    m_multi = curl_multi_init();
    if (!m_easy) {
        return;
    }
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    // No signals: the transfer runs on threads of its own, and the name lookup must not use alarm().
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    // The replies are read through the debug callback; nothing is printed.
    curl_easy_setopt(m_easy, CURLOPT_DEBUGFUNCTION, &CurlTransfer::debugCallback);
    curl_easy_setopt(m_easy, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_VERBOSE, 1L);
    // libcurl asks this at least once a second, also inside its blocking waits for a reply.
    curl_easy_setopt(m_easy, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::progressCallback);
    curl_easy_setopt(m_easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(m_easy, CURLOPT_NOPROGRESS, 0L);
    setTimeouts({});
}

CurlTransfer::~CurlTransfer()
{
    // The connection cache belongs to the multi handle; the easy handle goes first.
    if (m_easy) {
        curl_easy_cleanup(m_easy);
    }
    if (m_multi) {
        curl_multi_cleanup(m_multi);
    }
}

void CurlTransfer::setTimeouts(const Timeouts& timeouts)
{
    if (!m_easy) {
        return;
    }
    curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, atLeastOneMs(timeouts.connect));
    curl_easy_setopt(m_easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, wholeSecondsUp(timeouts.serverResponse));
    curl_easy_setopt(m_easy, CURLOPT_TIMEOUT_MS, atLeastOneMs(timeouts.total));
    m_total = timeouts.total;
}

std::string CurlTransfer::perform(std::stop_token stop)
{
    m_result = CURLE_OK;
    m_cancelled = false;
    m_refusal.clear();
    m_currentReply.clear();
    m_replyComplete = true;
    m_errorBuffer[0] = '\0';
    if (!valid()) {
        m_result = CURLE_FAILED_INIT;
        return "Unable to start libcurl";
    }
    if (stop.stop_requested()) {
        m_cancelled = true;
        m_result = CURLE_ABORTED_BY_CALLBACK;
        return kCancelled;
    }
    m_stop = stop;
    m_deadline = std::chrono::steady_clock::now() + m_total;
    m_pastDeadline = false;
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) {
        m_result = CURLE_FAILED_INIT;
        return "Unable to start libcurl";
    }
    {
        // A stop wakes the wait below at once; the progress callback covers libcurl's own waits.
        std::stop_callback wake(stop, [this] { curl_multi_wakeup(m_multi); });
        bool done = false;
        while (!done) {
            int running = 0;
            if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
                m_result = CURLE_FAILED_INIT;
                break;
            }
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy) {
                    m_result = message->data.result;
                    done = true;
                }
            }
            if (done) {
                break;
            }
            if (stop.stop_requested()) {
                m_result = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            // libcurl shortens the wait to its own next time-out.
            if (curl_multi_poll(m_multi, nullptr, 0, 1000, nullptr) != CURLM_OK) {
                m_result = CURLE_FAILED_INIT;
                break;
            }
        }
    }
    // A transfer still running is cut off here, without a goodbye.
    curl_multi_remove_handle(m_multi, m_easy);
    m_stop = {};
    if (m_result == CURLE_ABORTED_BY_CALLBACK && stop.stop_requested()) {
        m_cancelled = true;
        return kCancelled;
    }
    if (m_result == CURLE_ABORTED_BY_CALLBACK && m_pastDeadline) {
        m_result = CURLE_OPERATION_TIMEDOUT;
    }
    return m_result == CURLE_OK ? std::string() : errorText();
}

std::string CurlTransfer::errorText() const
{
    std::string summary = curl_easy_strerror(m_result);
    std::string detail = withoutControls(m_errorBuffer);
    std::string error;
    if (detail.empty()) {
        error = summary;
    } else if (detail.find(summary) != std::string::npos) {
        error = detail;
    } else {
        error = summary + ": " + detail;
    }
    if (!m_refusal.empty()) {
        error += " (server reply: " + m_refusal + ")";
    }
    return error;
}

int CurlTransfer::progressCallback(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* self = static_cast<CurlTransfer*>(user);
    if (self->m_stop.stop_requested()) {
        return 1;
    }
    // libcurl leaves its total out of the goodbye after a failure (it waits for the reply to QUIT
    // as long as for any reply); here the total holds for everything.
    if (std::chrono::steady_clock::now() >= self->m_deadline) {
        self->m_pastDeadline = true;
        return 1;
    }
    return 0;
}

int CurlTransfer::debugCallback(CURL*, curl_infotype type, char* data, size_t size, void* user)
{
    // Only the server's replies are looked at; what we send (credentials included) is not kept.
    if (type != CURLINFO_HEADER_IN) {
        return 0;
    }
    auto* self = static_cast<CurlTransfer*>(user);
    std::string_view text(data, size);
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = end == std::string_view::npos ? text : text.substr(0, end + 1);
        self->takeReplyLine(line);
        text.remove_prefix(line.size());
    }
    return 0;
}

void CurlTransfer::takeReplyLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return;
    }
    if (m_replySink) {
        m_replySink(line);
    }
    if (m_replyComplete) {
        m_currentReply.clear();
    } else {
        m_currentReply += ' ';
    }
    m_currentReply += withoutControls(line);
    // "250-..." continues a reply, "250 ..." ends it.
    m_replyComplete = !(line.size() > 3 && line[3] == '-');
    if (m_replyComplete) {
        int code = replyCode(line);
        if (code >= 400) {
            m_refusal = m_currentReply;
        } else if (code != 0 && code != 221) {
            // A later acceptance means an earlier refusal was dealt with (EHLO falling back to
            // HELO); the goodbye after a failure must not hide the refusal.
            m_refusal.clear();
        }
    }
}

} // namespace kestrelon
