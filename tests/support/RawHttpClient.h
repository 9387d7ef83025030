#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace kestrelon::test {

struct HttpResponse {
    int status = 0;
    std::string reason;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    std::string raw; // everything received for this response
    std::string header(const std::string& lowerName) const
    {
        auto it = headers.find(lowerName);
        return it == headers.end() ? std::string() : it->second;
    }
};

// A plain TCP connection for sending requests byte for byte as written (nothing normalised)
// and reading the replies. Every wait is bounded.
class RawConnection {
public:
    // sourceAddress: the local address to bind before connecting (127.x.y.z), or empty.
    RawConnection(uint16_t port, const std::string& sourceAddress = {},
                  const std::string& host = "127.0.0.1");
    ~RawConnection();
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool connected() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    bool send(const std::string& bytes);
    // Reads one response; for HEAD, pass headOnly so no body is expected. Nothing on time-out
    // or when the connection closes first.
    std::optional<HttpResponse> readResponse(bool headOnly = false,
                                             std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // True when the server closes the connection within the time (reading and dropping data).
    bool waitForClose(std::chrono::milliseconds timeout);

private:
    bool fill(std::chrono::steady_clock::time_point deadline);
    int m_fd = -1;
    std::string m_buffer;
};

// One request on a fresh connection: "GET /path HTTP/1.1" with Host and Connection: close.
std::optional<HttpResponse> httpGet(uint16_t port, const std::string& target,
                                    const std::string& extraHeaders = {}, const std::string& method = "GET",
                                    const std::string& sourceAddress = {});

// A form posted on a fresh connection (application/x-www-form-urlencoded unless told).
std::optional<HttpResponse> httpPost(uint16_t port, const std::string& target, const std::string& body,
                                     const std::string& sourceAddress = {},
                                     const std::string& contentType = "application/x-www-form-urlencoded");

std::string base64(const std::string& text);

} // namespace kestrelon::test
