#pragma once

namespace kestrelon {

// What other features may do with the web server: the refresh pass restarts a running server
// once the site has its new address. The web server implements it; start and stop go through
// the same checks and log lines as its button. Main thread.
class ServerControl {
public:
    virtual ~ServerControl() = default;

    virtual bool running() const = 0;
    // Starts a stopped server; whether it runs afterwards tells whether it could.
    virtual void start() = 0;
    // Stops a running server.
    virtual void stop() = 0;
    // Stops a running server and starts it again about 200 ms later, without holding the caller's
    // thread for the pause. A stopped server stays stopped.
    virtual void restart() = 0;
};

} // namespace kestrelon
