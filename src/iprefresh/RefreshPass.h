#pragma once

#include "core/Settings.h"

#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace kestrelon {

class ChangeMailer;
class FtpSession;

// The network and file part of a refresh pass, straight-line in the pass's order: the upload of
// the checked remote pairs in one FTP session, the address mail, the refill of the checked local
// pairs. The checks before it and the lamp, countdown and server restart after it belong to the
// refresh cycle, on the main thread. Runs on a job's worker thread; never throws.
struct PassInput {
    std::shared_ptr<const Settings> settings; // one consistent copy for the whole pass
    std::string address;                      // passed the address check
    std::string uploadFile;                   // the temporary file remote templates are filled into
    std::function<std::chrono::system_clock::time_point()> clock; // any thread
};

// Progress as it happens, from the worker thread: IP-Refresh log texts (the log stamps them), status-bar
// texts, Message log lines.
struct PassReport {
    std::function<void(const std::string& line)> log;
    std::function<void(const std::string& text)> status;
    std::function<void(const std::string& line)> messageLog;
};

struct RefreshPassOutcome {
    bool uploadAttempted = false; // "Enable FTP" set and a session was tried
    bool uploaded = false;        // every checked remote pair is on the server
    bool addressMailed = false;   // the address is now the last mailed one
    std::string uploadError;      // why the upload failed, for diagnostics
    std::string localError;       // a local pair that could not be refilled ended the pass
};

// stop: raised at shutdown; the clients end their waits, and the pass goes on as after their errors.
RefreshPassOutcome runRefreshPass(const PassInput& input, FtpSession& ftp, ChangeMailer& mailer,
                                  const PassReport& report, std::stop_token stop = {});

} // namespace kestrelon
