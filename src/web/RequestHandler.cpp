#include "web/RequestHandler.h"

#include "core/AtomicFile.h"
#include "core/IntText.h"
#include "core/LocalAddresses.h"
#include "core/SettingsModel.h"
#include "portio/PortOutputDevice.h"
#include "web/ClientAddress.h"
#include "web/FeedbackForm.h"
#include "web/FileResolution.h"
#include "web/HitCounter.h"
#include "web/MessageLog.h"
#include "web/MimeTable.h"
#include "web/ReverseLookup.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

namespace kestrelon {

// Both pages carry a lone carriage return between heading and text.
const char* const RequestHandler::kAuthenticationFailedPage =
    "<html><head><title>Error</title></head><body><h1>Authentication failed</h1>\r"
    "Authentication Failed!</body></html>";
const char* const RequestHandler::kAccessDeniedPage =
    "<html><head><title>Error</title></head><body><h1>Access denied</h1>\r"
    "You do not have sufficient priviligies to access this document.</body></html>";

std::string RequestHandler::notFoundPage()
{
    return errorPage("Not Found");
}

RequestHandler::RequestHandler(Collaborators c) : m(c) {}

void RequestHandler::log(std::string_view text)
{
    m.log.DisplayMessage(text);
}

void RequestHandler::sent(const Reply::Sent& sent, std::string_view clientAddress,
                          uint16_t clientPort) noexcept
{
    try {
        char bytes[24];
        const std::string_view sizeText(
            bytes, static_cast<size_t>(std::to_chars(bytes, bytes + sizeof bytes, sent.bytes).ptr - bytes));
        char port[8];
        const std::string_view portText(
            port, static_cast<size_t>(std::to_chars(port, port + sizeof port, clientPort).ptr - port));
        std::string cut;
        m.log.DisplayMessage({"Serving file ", clippedView(sent.file, MessageLog::kMaxFieldBytes, cut), " (",
                              sizeText, " bytes / ", sizeText, " bytes sent) to ", clientAddress, ":",
                              portText});
    } catch (...) {
    }
}

HttpAnswer RequestHandler::handle(const HttpRequest& request)
{
    RawRequest raw;
    raw.method = request.method;
    raw.target = request.target;
    raw.contentType = request.field("Content-Type");
    raw.authorization = request.field("Authorization");
    raw.body = request.body;
    raw.clientAddress = request.clientAddress;
    raw.clientPort = request.clientPort;
    Job job = begin(makeRequestItems(raw));
    if (!mayBlock(job)) {
        return answer(job);
    }
    return HttpAnswer::onWorkerPool(
        [this, job = std::make_shared<Job>(std::move(job))] { return answer(*job); });
}

void RequestHandler::connectionError(std::string_view what) noexcept
{
    try {
        log("Error: " + std::string(what));
    } catch (...) {
    }
}

Reply RequestHandler::answer(Job& job)
{
    std::string what;
    try {
        return HTTPServerCommandGet(job);
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
        what = "unknown error";
    }
    const RequestItems& rq = job.items;
    log("Error answering " + rq.command + " " + clippedText(rq.document, MessageLog::kMaxFieldBytes) +
        " from " + rq.clientAddress + ":" + std::to_string(rq.clientPort) + ": " + what);
    Reply reply;
    reply.status = 500;
    reply.body = errorPage("Internal Server Error");
    return reply;
}

RequestHandler::Job RequestHandler::begin(RequestItems items)
{
    Job job;
    job.busy = m.busy.raise();
    job.settings = m.settings.snapshot();
    job.items = std::move(items);
    if (!job.settings->WebServe.RevDNS) {
        job.clientHost = "?";
    } else {
        job.clientHost = m.lookupCache.find(job.items.clientAddress);
    }
    return job;
}

bool RequestHandler::isFeedback(const RequestItems& items)
{
    return items.command == "POST" ||
           (!items.query.empty() && items.document.find("mailform") != std::string::npos);
}

bool RequestHandler::mayBlock(const Job& job)
{
    const std::string& document = job.items.document;
    return !job.clientHost.has_value() || isFeedback(job.items) || document == "/hitcounter.bmp" ||
           document == "/hitcounter2.bmp";
}

namespace {

// Any final status replaces the redirect of a feedback submission.
Reply status(int code, Reply reply)
{
    reply.status = code;
    reply.location.clear();
    return reply;
}

// Whether a Location stays on this server as a browser reads it: browsers drop tabs and line
// breaks anywhere and blanks and controls in front, and take "\\" for "/". Then "//" would name
// another host, and "x:" before any "/", "?" or "#" a scheme of its own ("javascript:" too).
bool staysOnThisServer(const std::string& location)
{
    std::string seen;
    for (char c : location) {
        if (c == '\t' || c == '\r' || c == '\n') {
            continue;
        }
        if (seen.empty() && static_cast<unsigned char>(c) <= 0x20) {
            continue;
        }
        seen += c == '\\' ? '/' : c;
    }
    if (seen.empty() || seen.compare(0, 2, "//") == 0) {
        return false;
    }
    size_t colon = seen.find(':');
    return colon == std::string::npos || seen.find_first_of("/?#") < colon;
}

// Where a feedback submission is sent back to: the path, after its last "\\" or ":"; when that
// would lead elsewhere (or nowhere), the document's own path, and "/" when even that would.
std::string redirectTarget(const std::string& document)
{
    size_t cut = document.find_last_of("\\:");
    std::string target = cut == std::string::npos ? document : document.substr(cut + 1);
    if (staysOnThisServer(target)) {
        return target;
    }
    return staysOnThisServer(document) ? document : "/";
}

// The value text of an I/O request as a 32-bit integer: decimal, or hexadecimal after "$",
// with an optional "-" before either.
std::optional<int32_t> ioValue(const std::string& text)
{
    return parseInt32(text, /*allowZeroX=*/false);
}

std::string fileNameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A fixed page as a body that every reply sending it shares: nothing is copied per request.
std::shared_ptr<const std::string> sharedPage(const char* page)
{
    return std::make_shared<const std::string>(page);
}

const std::shared_ptr<const std::string>& authenticationFailedBody()
{
    static const auto body = sharedPage(RequestHandler::kAuthenticationFailedPage);
    return body;
}

const std::shared_ptr<const std::string>& accessDeniedBody()
{
    static const auto body = sharedPage(RequestHandler::kAccessDeniedPage);
    return body;
}

const std::shared_ptr<const std::string>& notFoundBody()
{
    static const auto body = std::make_shared<const std::string>(RequestHandler::notFoundPage());
    return body;
}

std::string hex4(uint16_t value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", value);
    return buf;
}

} // namespace

Reply RequestHandler::HTTPServerCommandGet(Job& job)
{
    const RequestItems& rq = job.items;
    const WebServeSettings& web = job.settings->WebServe;
    Reply reply;
    reply.busy = std::move(job.busy);

    // 1. The trigger prefix.
    const std::string triggerPrefix = "/" + web.EscChar;

    // 2. The client's host name.
    if (!job.clientHost) {
        std::string host = reverseLookup(rq.clientAddress);
        m.lookupCache.store(rq.clientAddress, host);
        job.clientHost = std::move(host);
    }
    const std::string& clientHost = *job.clientHost;

    // 3. Own client?
    const bool ownClient = isOwnClient(rq.clientAddress, *m.ownAddresses.list());
    // With the log off no line is put together at all.
    const bool logThis = web.Log && !(ownClient && web.DontLogOwn);

    // 4. The request line. A client's texts are cut to a length the log can keep.
    if (logThis) {
        std::string documentCut;
        std::string hostCut;
        char port[8];
        const char* portEnd = std::to_chars(port, port + sizeof port, rq.clientPort).ptr;
        m.log.DisplayMessage({"Command ", rq.command, " ",
                              clippedView(rq.document, MessageLog::kMaxFieldBytes, documentCut),
                              " received from ", rq.clientAddress, ":",
                              std::string_view(port, static_cast<size_t>(portEnd - port)), "  [",
                              clippedView(clientHost, MessageLog::kMaxFieldBytes, hostCut), "]"});
    }

    // 5. A feedback form: stored or mailed, and answered with a redirect to the page, which goes
    // out as the redirect's body when it exists.
    if (isFeedback(rq)) {
        log("Feedback sent from: " + rq.clientAddress);
        m.feedback.ProcessCGIText(*job.settings, rq.formFields, rq.clientAddress);
        reply.status = 302;
        reply.location = redirectTarget(rq.document);
    }

    // 6. A hit counter is changed before its image is served below.
    if (HitCounter* counter = m.counters.forPath(rq.document)) {
        const bool dontCount = counter->number() == 2 ? web.DontCountOwn2 : web.DontCountOwn;
        if (!(ownClient && dontCount)) {
            std::string error;
            switch (counter->countHit(*job.settings, rq.clientAddress, error)) {
            case HitCounter::Hit::Counted:
                reply.delay = m.counters.pause();
                break;
            case HitCounter::Hit::Failed:
                throw std::runtime_error(error);
            case HitCounter::Hit::Repeat:
                break;
            }
        }
    }

    // 7. I/O requests, before the login and the blocked list.
    if (rq.document.compare(0, 2, triggerPrefix) == 0) {
        if (!web.IO) {
            return status(204, std::move(reply));
        }
        const std::string valueText = rq.document.size() > 2 ? rq.document.substr(2) : std::string();
        if (logThis) {
            log("I/O Request " + clippedText(valueText, MessageLog::kMaxFieldBytes) + " > " +
                hex4(m.port.portAddress()) + "H");
        }
        if (rq.document.size() < 3) {
            return status(204, std::move(reply));
        }
        const char first = valueText.front();
        if (first == '$' || first == '-' || (first >= '0' && first <= '9')) {
            if (auto value = ioValue(valueText); value && *value <= 255) {
                std::string error;
                bool ok = *value >= 0 ? m.port.Write(*value, error) : m.port.WriteSetBits(*value, error);
                return status(ok ? 204 : 404, std::move(reply));
            }
            // Not a number, or 256 and above: an ordinary document.
        } else if (web.RemoteDisable && valueText == web.RemotePass) {
            m.settings.update([](Settings& s) { s.WebServe.IO = false; });
            return status(204, std::move(reply));
        }
    }

    // 8. Login.
    if (web.Auth && (rq.userName != web.User || rq.password != web.Pass)) {
        // A challenge (401), which replaces a feedback redirect; without a realm the page goes out
        // alone, with the status the request has so far (200, or the redirect's 302).
        reply.sharedBody = authenticationFailedBody();
        reply.realm = web.Login;
        return web.Login.empty() ? std::move(reply) : status(401, std::move(reply));
    }

    // 9. Blocked addresses and host names.
    for (const std::string& entry : job.settings->blocked) {
        if (!entry.empty() && (rq.clientAddress.find(entry) != std::string::npos ||
                               clientHost.find(entry) != std::string::npos)) {
            log("ACCESS DENIED: " + rq.clientAddress);
            reply.sharedBody = accessDeniedBody();
            return status(403, std::move(reply));
        }
    }

    // 10. The file under the root. A small file kept in memory is known again by one stat of its
    // path: no open, no read. Other documents (large files, missing ones) go without that stat.
    if (rq.command != "HEAD" && m_contents.mayHold(web.Root, rq.document)) {
        if (auto version = peekFileVersion(web.Root, rq.document)) {
            if (auto kept = m_contents.kept(*version)) {
                std::string candidate = normalisedPath(web.Root + rq.document);
                if (!isProtected(candidate, version->device, version->inode)) {
                    reply.contentType = m.mime.GetMIMEType(candidate);
                    reply.sharedBody = std::move(kept);
                    if (logThis) {
                        reply.sent = {std::move(candidate), version->size};
                    }
                    return reply;
                }
            }
        }
    }
    ResolvedFile file = resolveFile(web.Root, rq.document, web.RootFile);
    if (file.kind == ResolvedFile::Kind::NotFound) {
        reply.sharedBody = notFoundBody();
        return status(404, std::move(reply));
    }
    if (file.kind == ResolvedFile::Kind::Outside ||
        (file.kind == ResolvedFile::Kind::Found && isProtected(file.candidate, file.device, file.inode))) {
        reply.sharedBody = accessDeniedBody();
        return status(403, std::move(reply));
    }

    // 11. Serve it.
    if (file.kind == ResolvedFile::Kind::OpenFailed) {
        throw std::runtime_error("Cannot open file \"" + file.candidate + "\". " + std::strerror(file.error));
    }
    reply.contentType = m.mime.GetMIMEType(file.candidate);
    if (rq.command == "HEAD") {
        reply.headLength = file.size;
        return reply;
    }
    reply.sharedBody = m_contents.contents(file.file.get(),
                                           {file.device, file.inode, file.size, file.modified, file.changed});
    if (reply.sharedBody) {
        m_contents.heldFor(web.Root, rq.document);
    } else {
        reply.file = std::move(file.file);
        reply.fileSize = file.size;
    }
    if (logThis) {
        reply.sent = {std::move(file.candidate), file.size};
    }
    return reply;
}

void RequestHandler::setProtectedFile(std::string path)
{
    std::lock_guard lock(m_protectedMutex);
    m_protectedPath = std::move(path);
    m_protectedName = fileNameOf(m_protectedPath);
    ++m_protectedGeneration;
}

bool RequestHandler::isProtected(const std::string& candidate, uint64_t device, uint64_t inode)
{
    // The file is known by its path and by its identity, looked up at most once a second per
    // thread (a stat per request would cost a system call each). The path catches the direct
    // route even in the moment after a save replaced the file; the identity catches links.
    struct Cached {
        const RequestHandler* handler = nullptr;
        unsigned generation = ~0u;
        std::chrono::steady_clock::time_point taken;
        std::string path;
        std::string name;
        bool exists = false;
        uint64_t device = 0;
        uint64_t inode = 0;
    };
    thread_local Cached cached;
    auto now = m.clock();
    unsigned generation = m_protectedGeneration.load();
    if (cached.handler != this || cached.generation != generation ||
        now - cached.taken >= std::chrono::seconds(1)) {
        {
            std::lock_guard lock(m_protectedMutex);
            cached.path = m_protectedPath.empty() ? std::string() : normalisedPath(m_protectedPath);
            cached.name = m_protectedName;
        }
        cached.handler = this;
        struct stat st {};
        cached.exists = !cached.path.empty() && ::stat(cached.path.c_str(), &st) == 0;
        cached.device = st.st_dev;
        cached.inode = st.st_ino;
        cached.generation = generation;
        cached.taken = now;
    }
    if (cached.path.empty()) {
        return false;
    }
    // A save in progress, or one a crash interrupted, leaves a temporary copy beside the file.
    return candidate == cached.path || (cached.exists && cached.device == device && cached.inode == inode) ||
           isTemporaryFileName(fileNameOf(candidate), cached.name);
}

} // namespace kestrelon
