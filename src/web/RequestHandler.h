#pragma once

#include "core/Settings.h"
#include "http/HttpHandler.h"
#include "web/FileContentCache.h"
#include "web/RequestItems.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelon {

class FeedbackForm;
class HitCounters;
class MessageLog;
class MimeTable;
class OwnAddresses;
class PortOutputDevice;
class ReverseLookupCache;
class ServerBusy;
class SettingsModel;

// The web server's handler: runs every GET, HEAD and POST request through the fixed order of
// steps: log the request, turn trigger paths into port writes, check the login and the blocked
// list, then serve the file from the web root, or answer 403 or 404.
// All members may be called from any I/O or worker thread at once, except setProtectedFile;
// shared state is reached only through owners that serialise it.
class RequestHandler : public HttpHandler {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    struct Collaborators {
        SettingsModel& settings;
        MessageLog& log;
        PortOutputDevice& port;
        OwnAddresses& ownAddresses;
        ServerBusy& busy;
        const MimeTable& mime;
        ReverseLookupCache& lookupCache;
        HitCounters& counters;
        FeedbackForm& feedback;
        // For how long what the handler looked up on disk holds (the settings file's identity).
        Clock clock = &std::chrono::steady_clock::now;
    };
    explicit RequestHandler(Collaborators c);

    // The HTTP layer's entry: begin(), then answer() at once or, when mayBlock(), on the worker
    // pool.
    HttpAnswer handle(const HttpRequest& request) override;
    // An error that ended a connection inside the HTTP layer: a line in the Message log.
    void connectionError(std::string_view what) noexcept override;
    // A file has gone out whole: its "Serving file" line.
    void sent(const Reply::Sent& sent, std::string_view clientAddress, uint16_t clientPort) noexcept override;

    // One request on its way through the handler.
    struct Job {
        RequestItems items;
        std::shared_ptr<const Settings> settings; // one consistent copy for the whole request
        std::optional<std::string> clientHost;    // known without blocking (cache, or lookup off)
        ServerBusy::Token busy;
    };

    // Raises serverBusy and takes the settings copy. Never blocks.
    Job begin(RequestItems items);
    // True when the job has a step that may block (a reverse lookup the cache cannot answer, a
    // feedback form to store or mail, a hit counter to change): it must then run on the worker
    // pool.
    static bool mayBlock(const Job& job);
    // A feedback submission: any POST, or a query with "mailform" in the path.
    static bool isFeedback(const RequestItems& items);
    // The handler proper. Returns the reply, which carries serverBusy until it is sent.
    // Throws on errors the HTTP layer answers with 500 (a file that cannot be opened).
    Reply HTTPServerCommandGet(Job& job);
    // HTTPServerCommandGet, with an error that ends the request answered 500: the error's text
    // goes into the Message log, the client gets the plain error page (an error's text may name
    // the server's folders). Throws only when even that reply cannot be made (out of memory).
    Reply answer(Job& job);
    // The settings file, which holds the passwords, is never served, even when it lies in the web
    // root (as it does by default). Call again after each save: a save replaces the file.
    // Main thread.
    void setProtectedFile(std::string path);

    static const char* const kAuthenticationFailedPage;
    static const char* const kAccessDeniedPage;
    static std::string notFoundPage();

private:
    void log(std::string_view text);
    bool isProtected(const std::string& candidate, uint64_t device, uint64_t inode);

    Collaborators m;
    FileContentCache m_contents;
    mutable std::mutex m_protectedMutex;
    std::string m_protectedPath;
    std::string m_protectedName; // its file name, whose temporary files are never served either
    std::atomic<unsigned> m_protectedGeneration{0};
};

} // namespace kestrelon
