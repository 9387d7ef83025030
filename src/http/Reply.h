#pragma once

#include "core/FileHandle.h"
#include "core/ServerBusy.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrelon {

// What a handler asks the HTTP layer to send: a body from memory, a file from disk, or a header
// after which the connection is taken over by someone else.
struct Reply {
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    // A non-empty realm makes the reply a 401 with a Basic challenge naming it.
    std::string realm;
    // Set by a redirect (302).
    std::string location;
    // Header fields beyond the ones the layer writes itself (name, value).
    std::vector<std::pair<std::string, std::string>> fields;
    // HEAD on a file: the length to announce; no body goes out.
    std::optional<uint64_t> headLength;

    // A file to send as the body, from disk.
    FileHandle file;
    uint64_t fileSize = 0;
    // A body shared with other replies (a file's contents held in memory); sent instead of body.
    std::shared_ptr<const std::string> sharedBody;

    // How long to wait before the reply goes out (a counted hit's pause). The connection waits
    // on a timer, so no thread is held.
    std::chrono::milliseconds delay{0};

    // Keeps a busy count raised until the reply has been sent or the connection has ended.
    ServerBusy::Token busy;

    // Handed to the handler's sent() once the whole reply has gone out (a file to its last byte);
    // never when the connection failed first, nor when it names no file. The handler's own record
    // of what went out (the path it resolved, which it moves in here, and the body's length); its
    // text is put together only if and when the reply has gone out.
    struct Sent {
        std::string file;
        uint64_t bytes = 0;
    } sent;

    // The connection is taken over: the layer writes the header alone (status, content type and
    // fields, no length, "Connection: close"), then gives up the socket and hands it here, in
    // blocking mode. From then on the connection is no longer the server's: it does not count
    // against its limits, and stop() leaves it open. What the client sent after the request is
    // dropped. Runs on the I/O thread and must not block. Not called when the header could not
    // be written, nor for HEAD (which gets the header alone, as for any reply).
    std::function<void(FileHandle socket)> takeOver;
};

} // namespace kestrelon
