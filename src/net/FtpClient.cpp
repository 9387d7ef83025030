#include "net/FtpClient.h"

#include "core/HostPort.h"
#include "core/Text.h"
#include "net/UrlHost.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kestrelon {

namespace {

std::vector<std::string> pathParts(std::string_view path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        if (slash > start) {
            parts.emplace_back(path.substr(start, slash - start));
        }
        start = slash + 1;
    }
    return parts;
}

size_t readFile(char* buffer, size_t size, size_t count, void* user)
{
    return std::fread(buffer, size, count, static_cast<FILE*>(user));
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

FtpClient::FtpClient(Options options) : m_options(options) {}

FtpClient::~FtpClient()
{
    quit();
}

FtpClient::RemotePath FtpClient::joined(const RemotePath& folder, const std::string& name)
{
    RemotePath path;
    if (!name.empty() && name.front() == '/') {
        path.absolute = true;
    } else {
        path = folder;
    }
    for (std::string& part : pathParts(name)) {
        path.parts.push_back(std::move(part));
    }
    return path;
}

std::string FtpClient::url(const RemotePath& path, bool folder) const
{
    std::string text = m_base;
    CURL* c = m_transfer->handle();
    for (size_t i = 0; i < path.parts.size(); ++i) {
        const std::string& part = path.parts[i];
        char* escaped = curl_easy_escape(c, part.data(), static_cast<int>(part.size()));
        if (i == 0 && path.absolute) {
            text += "%2F"; // the path starts at the server's root, not in the login folder
        }
        text += escaped ? escaped : "";
        curl_free(escaped);
        if (folder || i + 1 < path.parts.size()) {
            text += '/';
        }
    }
    if (folder && path.parts.empty() && path.absolute) {
        text += "%2F";
    }
    return text;
}

std::string FtpClient::connect(const FtpAccount& account, FtpSessionEvents& events, std::stop_token stop)
{
    closeSession(true);
    const auto server = parseHostPort(account.host, 21);
    const auto host = server ? urlHost(server->host) : std::nullopt;
    if (!host) {
        return "Invalid FTP host \"" + withoutControls(account.host) + "\"";
    }
    m_base = "ftp://" + *host + ":" + std::to_string(server->port) + "/";
    m_folder = {};
    m_connectionsMade = 0;
    m_transfer = std::make_unique<CurlTransfer>();
    if (!m_transfer->valid()) {
        m_transfer.reset();
        return "Unable to start the FTP client";
    }
    m_transfer->setTimeouts(m_options.timeouts);
    m_transfer->setReplySink([this](std::string_view line) {
        // The greeting of a new control connection: "220 ..." (its last line, when it has several).
        if (m_control == CURL_SOCKET_BAD && line.size() >= 3 && line.substr(0, 3) == "220" &&
            (line.size() == 3 || line[3] == ' ')) {
            greeted();
        }
    });
    CURL* c = m_transfer->handle();
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
    // Active mode: the server connects back to the address of our end of the control connection.
    curl_easy_setopt(c, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(c, CURLOPT_ACCEPTTIMEOUT_MS,
                     static_cast<long>(m_options.timeouts.serverResponse.count()));
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, account.ascii ? 1L : 0L);
    if (!account.user.empty()) {
        curl_easy_setopt(c, CURLOPT_USERNAME, account.user.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, account.password.c_str());
    }
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &FtpClient::openSocket);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, &FtpClient::closeSocket);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, this);
    m_events = &events;
    m_stop = std::move(stop);

    // Connecting, logging in and looking at the login folder, without a transfer.
    curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
    std::string error = run(url(m_folder, true));
    if (!error.empty()) {
        closeSession(true);
    }
    return error;
}

std::string FtpClient::changeDirectory(const std::string& folder)
{
    if (!m_transfer) {
        return "Not connected";
    }
    RemotePath path = joined(m_folder, folder);
    curl_easy_setopt(m_transfer->handle(), CURLOPT_NOBODY, 1L);
    // libcurl changes into each part of the folder; one that is not there fails.
    std::string error = run(url(path, true));
    if (error.empty()) {
        m_folder = std::move(path);
    }
    return error;
}

std::string FtpClient::store(const std::string& localFile, const std::string& remoteName)
{
    if (!m_transfer) {
        return "Not connected";
    }
    RemotePath path = joined(m_folder, remoteName);
    if (path.parts.empty() || remoteName.back() == '/') {
        return "No remote file name in \"" + withoutControls(remoteName) + "\"";
    }
    std::unique_ptr<FILE, FileCloser> file(std::fopen(localFile.c_str(), "rb"));
    struct stat st {};
    if (!file || ::fstat(::fileno(file.get()), &st) != 0) {
        return "Unable to open " + localFile + ": " + std::strerror(errno);
    }
    CURL* c = m_transfer->handle();
    curl_easy_setopt(c, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &readFile);
    curl_easy_setopt(c, CURLOPT_READDATA, file.get());
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
    std::string error = run(url(path, false));
    curl_easy_setopt(c, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(c, CURLOPT_READDATA, nullptr);
    return error;
}

void FtpClient::quit()
{
    closeSession(true);
}

std::string FtpClient::run(const std::string& address)
{
    CURL* c = m_transfer->handle();
    curl_easy_setopt(c, CURLOPT_URL, address.c_str());
    std::string error = m_transfer->perform(m_stop);
    long made = 0;
    if (curl_easy_getinfo(c, CURLINFO_NUM_CONNECTS, &made) == CURLE_OK) {
        m_connectionsMade += made;
    }
    return error;
}

void FtpClient::closeSession(bool sayGoodbye)
{
    if (!m_transfer) {
        return;
    }
    if (sayGoodbye && m_control != CURL_SOCKET_BAD && !m_stop.stop_requested()) {
        // A transfer that may not keep its connection: libcurl says QUIT and waits for the reply
        // within it, where the time-outs and the stop token still hold.
        CURL* c = m_transfer->handle();
        curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        run(url(m_folder, true));
    }
    if (m_control != CURL_SOCKET_BAD) {
        // Still open (the goodbye failed, or a stop): cut it, so that the library's cleanup
        // finds the connection dead and does not wait for a reply of its own.
        ::shutdown(m_control, SHUT_RDWR);
    }
    m_transfer.reset();
    m_control = CURL_SOCKET_BAD;
    m_candidates.clear();
    m_events = nullptr;
}

void FtpClient::greeted()
{
    if (m_candidates.empty()) {
        return;
    }
    m_control = m_candidates.back();
    m_candidates.clear();
    if (m_events) {
        m_events->connected();
    }
}

void FtpClient::socketClosed(curl_socket_t fd)
{
    m_candidates.erase(std::remove(m_candidates.begin(), m_candidates.end(), fd), m_candidates.end());
    if (fd != m_control) {
        return;
    }
    m_control = CURL_SOCKET_BAD;
    if (m_events) {
        m_events->disconnected();
    }
}

curl_socket_t FtpClient::openSocket(void* user, curlsocktype purpose, curl_sockaddr* address)
{
    curl_socket_t fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    auto* self = static_cast<FtpClient*>(user);
    if (fd != CURL_SOCKET_BAD && purpose == CURLSOCKTYPE_IPCXN && self->m_control == CURL_SOCKET_BAD) {
        self->m_candidates.push_back(fd);
    }
    return fd;
}

int FtpClient::closeSocket(void* user, curl_socket_t fd)
{
    static_cast<FtpClient*>(user)->socketClosed(fd);
    return ::close(fd);
}

} // namespace kestrelon
