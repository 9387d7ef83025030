#include "support/SmtpTestServer.h"

#include "support/LoopbackSocket.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kestrelon::test {

namespace {

// Debian's interpreter: the one on PATH may not see Debian's Python packages.
constexpr const char* kPython = "/usr/bin/python3";

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
{
    std::vector<std::string> args = {kPython, KESTRELON_SMTP_SERVER_SCRIPT, m_folder.path()};
    if (!options.user.empty()) {
        args.insert(args.end(), {"--user", options.user, "--password", options.password});
        if (options.authOptional) {
            args.push_back("--auth-optional");
        }
    }
    if (!options.rejectRecipient.empty()) {
        args.insert(args.end(), {"--reject", options.rejectRecipient});
    }
    ChildProcess::Setup setup;
    setup.args = std::move(args);
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

    // The script prints its port once it listens.
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        char buffer[64];
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) {
            break; // the script ended; its error output tells why
        }
        line.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int port = 0;
    try {
        port = std::stoi(line);
    } catch (...) {
        port = 0;
    }
    if (port <= 0 || port > 65535) {
        stop();
        throw std::runtime_error("the SMTP test server did not start (see its error output)");
    }
    m_port = static_cast<uint16_t>(port);
}

SmtpTestServer::~SmtpTestServer()
{
    stop();
}

void SmtpTestServer::stop()
{
    if (m_stdin >= 0) {
        ::close(m_stdin);
        m_stdin = -1;
    }
    m_process.stop(std::chrono::seconds(3));
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

namespace {

} // namespace

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
