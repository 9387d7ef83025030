#include "support/HeadlessProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace kestrelon::test {

namespace {

// Bytes in a pipe that nobody has read yet.
int unread(int fd)
{
    int count = 0;
    return ::ioctl(fd, FIONREAD, &count) == 0 ? count : 0;
}

} // namespace

HeadlessProgram::HeadlessProgram(const std::string& exe, const std::vector<std::string>& args,
                                 const std::vector<std::string>& extraEnvironment)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    ChildProcess::Setup setup;
    setup.args = {exe};
    setup.args.insert(setup.args.end(), args.begin(), args.end());
    if (!extraEnvironment.empty()) {
        setup.environment = environmentWith(extraEnvironment);
    }
    setup.stderrFd = fds[1];
    try {
        m_process.start(setup);
    } catch (const std::exception&) {
        ::close(fds[0]);
        ::close(fds[1]);
        return; // started() tells
    }
    ::close(fds[1]);
    m_err = fds[0];
    m_started = true;
    m_reader = std::thread([this] { readErrors(); });
}

HeadlessProgram::~HeadlessProgram()
{
    m_process.kill();
    m_stopping = true;
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (m_err >= 0) {
        ::close(m_err);
    }
}

std::string HeadlessProgram::stderrText() const
{
    std::lock_guard lock(m_mutex);
    return m_text;
}

std::vector<std::string> HeadlessProgram::lines() const
{
    std::lock_guard lock(m_mutex);
    return {m_lines.begin(), m_lines.end()};
}

std::optional<std::smatch> HeadlessProgram::waitForLine(const std::regex& pattern,
                                                        std::chrono::milliseconds timeout)
{
    std::smatch match;
    if (!waitForIndex([&](const std::string& line) { return std::regex_search(line, match, pattern); },
                      timeout)) {
        return std::nullopt;
    }
    return match;
}

std::optional<std::string> HeadlessProgram::waitForLine(const std::function<bool(const std::string&)>& accept,
                                                        std::chrono::milliseconds timeout)
{
    const std::optional<size_t> index = waitForIndex(accept, timeout);
    if (!index) {
        return std::nullopt;
    }
    std::lock_guard lock(m_mutex);
    return m_lines[*index];
}

void HeadlessProgram::terminate()
{
    m_process.signal(SIGTERM);
}

int HeadlessProgram::waitForExit(std::chrono::milliseconds timeout)
{
    const int status = m_process.waitForExit(timeout);
    if (m_process.running() || !m_started) {
        return status;
    }
    // All it wrote is in the pipe now; waiting for the pipe to close instead would also wait for the
    // programs it started, which hold it open too.
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(1),
                       [this] { return m_closed || (!m_reading && unread(m_err) == 0); });
    return status;
}

std::optional<size_t> HeadlessProgram::waitForIndex(const std::function<bool(const std::string&)>& accept,
                                                    std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_mutex);
    while (true) {
        while (m_next < m_lines.size()) {
            const size_t index = m_next++;
            if (accept(m_lines[index])) {
                return index;
            }
        }
        if (!m_started || m_closed || std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        m_changed.wait_until(lock, deadline);
    }
}

void HeadlessProgram::readErrors()
{
    char buffer[4096];
    while (!m_stopping) {
        // A short wait, so that the destructor is heard even while a program it started holds the pipe.
        pollfd p{m_err, POLLIN, 0};
        const int ready = m_notReading ? ::poll(nullptr, 0, 50) : ::poll(&p, 1, 50);
        if (ready == 0 || (ready < 0 && errno == EINTR)) {
            continue;
        }
        if (ready < 0) {
            break;
        }
        {
            std::lock_guard lock(m_mutex);
            m_reading = true;
        }
        const ssize_t n = ::read(m_err, buffer, sizeof buffer);
        const int error = errno;
        std::lock_guard lock(m_mutex);
        m_reading = false;
        if (n > 0) {
            m_text.append(buffer, static_cast<size_t>(n));
            m_pending.append(buffer, static_cast<size_t>(n));
            for (size_t nl; (nl = m_pending.find('\n')) != std::string::npos;) {
                m_lines.push_back(m_pending.substr(0, nl));
                m_pending.erase(0, nl + 1);
            }
        } else if (n == 0 || error != EINTR) {
            m_closed = true;
        }
        m_changed.notify_all();
        if (m_closed) {
            return;
        }
    }
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

} // namespace kestrelon::test
