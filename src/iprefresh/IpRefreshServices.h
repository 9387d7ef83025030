#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kestrelon {

class ChangeMailer;
class FtpSession;
class OwnAddresses;
class PageFetcher;
class ServerControl;
class LineLog;

// What IP-Refresh uses of the rest of the program, handed in by the Application. The objects
// must outlive IP-Refresh.
struct IpRefreshServices {
    PageFetcher& fetcher;
    FtpSession& ftp;
    ChangeMailer& mailer;
    ServerControl& server;
    // The IP-Refresh log (see refreshLogOptions), which stamps the lines.
    LineLog& log;
    OwnAddresses& ownAddresses;
    // A line for the server's Message log. Main thread.
    std::function<void(const std::string& line)> messageLog;
    // The local time of the log stamps and the mail; the system clock when empty. Any thread.
    std::function<std::chrono::system_clock::time_point()> clock;
    // The time of the echo services' hold-off; the steady clock when empty. Main thread.
    std::function<std::chrono::steady_clock::time_point()> steadyClock;
    // The command line carries "nolookup": the refresh cycle looks nothing up.
    bool noLookup = false;
    // The file remote templates are filled into before their upload.
    std::string uploadFile;

    // The same, with the empty clocks replaced by the system's.
    IpRefreshServices withDefaults() const;
};

} // namespace kestrelon
