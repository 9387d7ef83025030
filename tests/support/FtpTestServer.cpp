#include "support/FtpTestServer.h"

#include <sstream>
#include <stdexcept>

namespace kestrelon::test {

FtpTestServer::FtpTestServer() : m_root(m_folder.mkdir("root"))
{
    m_process = std::make_unique<PythonServer>(std::vector<std::string>{KESTRELON_FTP_SERVER_SCRIPT, m_root,
                                                                        m_folder.path() + "/events", "--user",
                                                                        kUser, "--password", kPassword});
}

std::vector<std::string> FtpTestServer::events() const
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(m_folder.path() + "/events"));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void FtpTestServer::command(const std::string& line)
{
    if (m_process->command(line) != "ok") {
        throw std::runtime_error("the FTP test server did not take \"" + line + "\"");
    }
}

void FtpTestServer::refuseLogins(int n)
{
    command("refuse-logins " + std::to_string(n));
}

void FtpTestServer::stallStoreOf(const std::string& name)
{
    command(name.empty() ? "stall-off" : "stall " + name);
}

} // namespace kestrelon::test
