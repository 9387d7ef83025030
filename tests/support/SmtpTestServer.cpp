#include "support/SmtpTestServer.h"

#include "support/LoopbackSocket.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace kestrelon::test {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string fromBase64(const QJsonValue& v)
{
    QByteArray bytes = QByteArray::fromBase64(v.toString().toLatin1());
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::vector<std::string> storedFiles(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() > 5 && name[0] != '.' && name.ends_with(".json")) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end()); // numbered in arrival order
    return files;
}

} // namespace

std::vector<std::string> ReceivedMail::header(const std::string& name) const
{
    std::vector<std::string> values;
    for (const auto& [n, v] : headers) {
        if (lower(n) == lower(name)) {
            values.push_back(v);
        }
    }
    return values;
}

SmtpTestServer::SmtpTestServer() : SmtpTestServer(Options{}) {}

SmtpTestServer::SmtpTestServer(Options options)
    : m_process(std::make_unique<PythonServer>([&] {
          std::vector<std::string> args = {KESTRELON_SMTP_SERVER_SCRIPT, m_folder.path()};
          if (!options.user.empty()) {
              args.insert(args.end(), {"--user", options.user, "--password", options.password});
              if (options.authOptional) {
                  args.push_back("--auth-optional");
              }
          }
          if (!options.rejectRecipient.empty()) {
              args.insert(args.end(), {"--reject", options.rejectRecipient});
          }
          return args;
      }()))
{
    m_port = m_process->port();
}

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

void SmtpTestServer::stop()
{
    m_process->stop();
}

std::vector<ReceivedMail> SmtpTestServer::messages() const
{
    std::vector<ReceivedMail> mails;
    for (const auto& file : storedFiles(m_folder.path())) {
        std::string text = readFile(file);
        QJsonObject o =
            QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size()))).object();
        ReceivedMail m;
        m.from = o.value("from").toString().toStdString();
        for (const auto& r : o.value("rcpts").toArray()) {
            m.rcpts.push_back(r.toString().toStdString());
        }
        m.data = fromBase64(o.value("data"));
        for (const auto& h : o.value("headers").toArray()) {
            QJsonArray pair = h.toArray();
            m.headers.emplace_back(pair.at(0).toString().toStdString(), pair.at(1).toString().toStdString());
        }
        m.body = fromBase64(o.value("body"));
        m.parseError = o.value("parse_error").toString().toStdString();
        QJsonObject auth = o.value("auth").toObject();
        m.authMechanism = auth.value("mechanism").toString().toStdString();
        m.authUser = auth.value("user").toString().toStdString();
        mails.push_back(std::move(m));
    }
    return mails;
}

size_t SmtpTestServer::messageCount() const
{
    return storedFiles(m_folder.path()).size();
}

bool SmtpTestServer::waitForMessages(size_t count, std::chrono::milliseconds timeout) const
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (messageCount() < count) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

uint16_t SmtpTestServer::closedPort()
{
    uint16_t port = 0;
    ::close(boundLoopbackSocket(port)); // free now, and nobody else here binds it in the moment a test needs
    return port;
}

SilentListener::SilentListener()
{
    m_fd = boundLoopbackSocket(m_port);
    if (::listen(m_fd, 16) != 0) {
        ::close(m_fd);
        throw std::runtime_error("listen failed");
    }
}

SilentListener::~SilentListener()
{
    ::close(m_fd);
}

} // namespace kestrelon::test
