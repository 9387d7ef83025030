#pragma once

#include "support/ChildProcess.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrelon::test {

// A test server written in Python, run by Debian's interpreter (/usr/bin/python3) in a process
// group of its own. The script prints its port on a line of its own once it listens, may take
// commands on its standard input (answering each with a line on its standard output), and ends
// when its standard input closes, so it never outlives its test. Use it from one thread.
class PythonServer {
public:
    // args: the script and its arguments. Waits until the port is printed; throws
    // std::runtime_error when the server does not start.
    explicit PythonServer(std::vector<std::string> args);
    ~PythonServer();
    PythonServer(const PythonServer&) = delete;
    PythonServer& operator=(const PythonServer&) = delete;

    uint16_t port() const { return m_port; }
    // Sends one command line and returns the line that answers it (empty when none comes).
    std::string command(const std::string& line,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Ends the process and reaps it; idempotent.
    void stop();

private:
    std::string readLine(std::chrono::milliseconds timeout);

    ChildProcess m_process;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_read; // read and not yet taken as a line
    uint16_t m_port = 0;
};

} // namespace kestrelon::test
