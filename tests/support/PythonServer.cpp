#include "support/PythonServer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace kestrelon::test {

PythonServer::PythonServer(std::vector<std::string> args)
{
    ChildProcess::Setup setup;
    // Debian's interpreter: the one on PATH may not see Debian's Python packages.
    setup.args = {"/usr/bin/python3"};
    setup.args.insert(setup.args.end(), args.begin(), args.end());
    // The interpreter on PATH may set up its own module paths; Debian's must not inherit them.
    setup.environment.emplace();
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "PYTHONPATH=", 11) != 0 && std::strncmp(*e, "PYTHONHOME=", 11) != 0) {
            setup.environment->push_back(*e);
        }
    }
    // Close-on-exec, so that other children started meanwhile do not keep the pipes open.
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error("pipe failed");
    }
    setup.stdinFd = in[0];
    setup.stdoutFd = out[1];
    setup.ownGroup = true; // so that stop() reaches everything it starts
    try {
        m_process.start(setup);
    } catch (...) {
        for (int fd : {in[0], in[1], out[0], out[1]}) {
            ::close(fd);
        }
        throw;
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_stdout = out[0];

    const std::string line = readLine(std::chrono::seconds(20));
    int port = 0;
    try {
        port = std::stoi(line);
    } catch (...) {
        port = 0;
    }
    if (port <= 0 || port > 65535) {
        stop();
        throw std::runtime_error("the test server " + args.front() + " did not start (see its error output)");
    }
    m_port = static_cast<uint16_t>(port);
}

PythonServer::~PythonServer()
{
    stop();
}

std::string PythonServer::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_read.find('\n') == std::string::npos && m_stdout >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return {};
        }
        pollfd p{m_stdout, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return {};
        }
        char buffer[256];
        const ssize_t n = ::read(m_stdout, buffer, sizeof buffer);
        if (n <= 0) {
            return {}; // the script ended; its error output tells why
        }
        m_read.append(buffer, static_cast<size_t>(n));
    }
    const size_t end = m_read.find('\n');
    if (end == std::string::npos) {
        return {};
    }
    std::string line = m_read.substr(0, end);
    m_read.erase(0, end + 1);
    return line;
}

std::string PythonServer::command(const std::string& line, std::chrono::milliseconds timeout)
{
    const std::string text = line + "\n";
    // A server that has gone must not end the test program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    if (m_stdin < 0 || ::write(m_stdin, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        return {};
    }
    return readLine(timeout);
}

void PythonServer::stop()
{
    if (m_stdin >= 0) {
        ::close(m_stdin);
        m_stdin = -1;
    }
    m_process.stop(std::chrono::seconds(3));
    if (m_stdout >= 0) {
        ::close(m_stdout);
        m_stdout = -1;
    }
}

} // namespace kestrelon::test
