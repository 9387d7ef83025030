#pragma once

#include <functional>

namespace kestrelon {

// Runs IP-Refresh's network work (lookups, refresh passes, mails, page fetches) one job at a
// time. The program's serial job runner implements it: work runs on its worker thread, then done
// runs on the main thread; jobs queue in the order given and never overlap. At shutdown a job's
// waits are cut short by its clients, and a done that can no longer run is dropped.
// work must not touch main-thread objects; it reports progress through queued calls.
class RefreshJobs {
public:
    virtual ~RefreshJobs() = default;
    // Main thread.
    virtual void run(std::function<void()> work, std::function<void()> done) = 0;
};

} // namespace kestrelon
