#pragma once

#include "core/ServerBusy.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <unistd.h>

namespace kestrelon {

// An open file descriptor that closes itself.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    FileHandle(FileHandle&& o) noexcept : m_fd(o.release()) {}
    FileHandle& operator=(FileHandle&& o) noexcept
    {
        if (this != &o) {
            reset(o.release());
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() { reset(); }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// What the handler asks the HTTP layer to send.
struct Reply {
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    // A non-empty realm makes the reply a 401 with a Basic challenge naming it.
    std::string realm;
    // Set by a redirect (302).
    std::string location;
    // HEAD on a file: the length to announce; no body goes out.
    std::optional<uint64_t> headLength;

    // A file to send as the body, from disk.
    FileHandle file;
    uint64_t fileSize = 0;

    // After the file went out: log "Serving file ..." with these.
    bool logServing = false;
    std::string servingPath;
    std::string clientAddress;
    uint16_t clientPort = 0;

    // How long to wait before the reply goes out (a counted hit's pause). The connection waits
    // on a timer, so no thread is held.
    std::chrono::milliseconds delay{0};

    // Keeps serverBusy raised until the reply has been sent.
    ServerBusy::Token busy;
};

} // namespace kestrelon
