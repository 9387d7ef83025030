#include "net/HttpClient.h"

namespace kestrelon {

HttpClient::HttpClient(Options options) : m_options(std::move(options))
{
    m_transfer.setTimeouts({m_options.connectTimeout, m_options.totalTimeout, m_options.totalTimeout});
    CURL* c = m_transfer.handle();
    if (!c) {
        return;
    }
    m_headers = curl_slist_append(nullptr, ("Accept: " + m_options.accept).c_str());
    for (const std::string& entry : m_options.connectTo) {
        if (curl_slist* grown = curl_slist_append(m_connectTo, entry.c_str())) {
            m_connectTo = grown;
        }
    }
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, m_headers);
    curl_easy_setopt(c, CURLOPT_USERAGENT, m_options.userAgent.c_str());
    curl_easy_setopt(c, CURLOPT_CONNECT_TO, m_connectTo);
    // The cookie engine in memory: cookies live as long as the client.
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(m_options.maxBodyBytes));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &HttpClient::writeBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, this);
}

HttpClient::~HttpClient()
{
    // The handle goes first: its options point to the lists.
    if (CURL* c = m_transfer.handle()) {
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
        curl_easy_setopt(c, CURLOPT_CONNECT_TO, nullptr);
    }
    curl_slist_free_all(m_headers);
    curl_slist_free_all(m_connectTo);
}

size_t HttpClient::writeBody(char* data, size_t size, size_t count, void* user)
{
    auto* self = static_cast<HttpClient*>(user);
    const size_t bytes = size * count;
    if (self->m_body.size() + bytes > self->m_options.maxBodyBytes) {
        self->m_tooLarge = true;
        return 0; // ends the transfer with a write error
    }
    self->m_body.append(data, bytes);
    return bytes;
}

FetchedPage HttpClient::get(const std::string& url, const PageCredentials* credentials, std::stop_token stop)
{
    FetchedPage page;
    CURL* c = m_transfer.handle();
    if (!c) {
        page.error = "Unable to start the HTTP client";
        return page;
    }
    m_body.clear();
    m_tooLarge = false;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    if (credentials) {
        curl_easy_setopt(c, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(c, CURLOPT_USERNAME, credentials->user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, credentials->password.c_str());
    }
    std::string error = m_transfer.perform(std::move(stop));
    // This request's credentials end with it: the next one, perhaps to an echo service, carries
    // only its own.
    curl_easy_setopt(c, CURLOPT_USERNAME, nullptr);
    curl_easy_setopt(c, CURLOPT_PASSWORD, nullptr);
    if (m_tooLarge || m_transfer.result() == CURLE_FILESIZE_EXCEEDED) {
        error = "The page is larger than " + std::to_string(m_options.maxBodyBytes) + " bytes";
    }
    if (!error.empty()) {
        page.error = std::move(error);
        m_body.clear();
        return page;
    }
    page.ok = true;
    page.body = std::move(m_body);
    m_body.clear();
    return page;
}

} // namespace kestrelon
