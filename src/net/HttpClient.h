#pragma once

#include "net/CurlTransfer.h"
#include "net/PageFetcher.h"

#include <chrono>
#include <cstddef>
#include <stop_token>
#include <string>
#include <vector>

namespace kestrelon {

// GETs web pages over HTTP with libcurl: the echo services and router status pages of the address
// lookup, and the page workbench. One handle for the client's life, so cookies a page sets go
// back to it with the next request and a connection may be used again; credentials, on the
// other hand, are set for each request and cleared after it. Redirects are followed (at most
// five, HTTP and HTTPS only); credentials never follow one to another host.
//
// One thread at a time may use an object (a job's worker thread); the stop token of get() may be
// triggered from any thread.
class HttpClient : public PageFetcher {
public:
    struct Options {
        std::string accept = kAccept;
        std::string userAgent = kUserAgent;
        std::chrono::milliseconds connectTimeout{10000};
        // The whole request, so a server that accepts and sends nothing costs only this.
        std::chrono::milliseconds totalTimeout{30000};
        // A page larger than this is refused: a status page is a few kilobytes.
        size_t maxBodyBytes = 4 * 1024 * 1024;
        // "HOST:PORT:OTHER-HOST:OTHER-PORT" entries: requests for HOST:PORT go to the other host
        // and port instead (libcurl's connect-to), with the URL and Host header unchanged. For
        // tests that serve the fixed echo-service URLs on 127.0.0.1.
        std::vector<std::string> connectTo;
    };

    HttpClient() : HttpClient(Options{}) {}
    explicit HttpClient(Options options);
    ~HttpClient() override;

    // Returns the body of a 2xx answer; an error status (400 and above), a connection failure, a
    // time-out, a body above the limit and a stop are failures with their error text.
    FetchedPage get(const std::string& url, const PageCredentials* credentials,
                    std::stop_token stop = {}) override;

private:
    static size_t writeBody(char* data, size_t size, size_t count, void* user);

    Options m_options;
    CurlTransfer m_transfer;
    curl_slist* m_headers = nullptr;
    curl_slist* m_connectTo = nullptr;
    std::string m_body;
    bool m_tooLarge = false;
};

} // namespace kestrelon
