#pragma once

namespace kestrelon {

// What the refresh pass needs of the web server: a running server is restarted after the site
// got the new address. Main thread.
class WebServerControl {
public:
    virtual ~WebServerControl() = default;
    virtual bool running() const = 0;
    // Stops the server and starts it again about 200 ms later, without blocking the caller's
    // thread for the pause.
    virtual void restart() = 0;
};

} // namespace kestrelon
