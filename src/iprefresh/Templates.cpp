#include "iprefresh/Templates.h"

#include "core/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrelon {

namespace {

bool isTokenAt(std::string_view line, size_t i)
{
    if (i + 4 > line.size() || line[i] != '{' || line[i + 3] != '}') {
        return false;
    }
    char a = line[i + 1], b = line[i + 2];
    return (a == 'I' || a == 'i') && (b == 'P' || b == 'p');
}

// The whole of a regular file; a folder or a pipe is refused rather than read as empty or waited on.
bool readRegularFile(const std::string& path, std::string& text, std::string& error)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ok = false;
    }
    char buffer[65536];
    while (ok) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    if (!ok) {
        error = std::strerror(errno);
    }
    ::close(fd);
    return ok;
}

} // namespace

std::string fillTemplate(std::string_view text, std::string_view address)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (nl != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        for (size_t i = 0; i < line.size();) {
            if (isTokenAt(line, i)) {
                out.append(address);
                i += 4;
            } else {
                out += line[i++];
            }
        }
        out += "\r\n";
    }
    return out;
}

std::string fillTemplateFile(const std::string& templateFile, const std::string& targetFile,
                             std::string_view address)
{
    std::string text, error;
    if (!readRegularFile(templateFile, text, error)) {
        return "Unable to read " + templateFile + ": " + error;
    }
    if (!replaceFileAtomically(targetFile, fillTemplate(text, address), 0644, true, error)) {
        return "Unable to write " + targetFile + ": " + error;
    }
    return {};
}

std::string remoteName(std::string_view remoteFile)
{
    size_t cut = remoteFile.find_last_of("\\:");
    return std::string(cut == std::string_view::npos ? remoteFile : remoteFile.substr(cut + 1));
}

} // namespace kestrelon
