#pragma once

#include <unistd.h>

namespace kestrelon {

// An open file descriptor (a file, a socket) that closes itself. Move-only; any thread, one
// owner at a time.
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
    // Gives the descriptor up without closing it.
    int release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes the descriptor held, if any, and holds fd instead.
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

} // namespace kestrelon
