#pragma once

#include <stop_token>
#include <string>

namespace kestrelon {

// HTTP Basic credentials for one request.
struct PageCredentials {
    std::string user;
    std::string password;
};

struct FetchedPage {
    bool ok = false;
    std::string body;  // the response body, when ok
    std::string error; // why not, when not ok
};

// GETs one page: the address lookup's echo services and router pages, and the page workbench.
// HttpClient implements it on libcurl: requests carry these Accept and User-Agent texts, cookies
// are kept, and every request is bounded by time-outs and aborted at shutdown.
class PageFetcher {
public:
    static constexpr const char* kAccept = "text/html, */*";
    static constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

    virtual ~PageFetcher() = default;
    // Called on a job's worker thread, one call at a time. credentials (null for none) go with
    // this request only and are never kept for a later one, so the router's password never
    // reaches an echo service. A connection failure, a time-out or an error status is a failure;
    // so is a stop request, which ends the request at once.
    virtual FetchedPage get(const std::string& url, const PageCredentials* credentials,
                            std::stop_token stop) = 0;
};

} // namespace kestrelon
