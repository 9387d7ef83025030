#include "launcher/PosixProcessLauncher.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrelon {

namespace {

// posix_spawn's attribute and file-action objects, destroyed on every way out.
class SpawnSetup {
public:
    SpawnSetup()
    {
        posix_spawnattr_init(&attributes);
        posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
};

// Through syscall(): glibc 2.36's <sys/pidfd.h> declares its wrappers without C linkage.
int pidfdOpen(pid_t pid)
{
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int pidfdSendSignal(int pidfd, int signal)
{
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

bool hasEnded(int pidfd)
{
    pollfd p{pidfd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

} // namespace

PosixProcessLauncher::PosixProcessLauncher() = default;

PosixProcessLauncher::~PosixProcessLauncher()
{
    for (auto& [pid, child] : m_children) {
        delete child.notifier;
        ::close(child.pidfd);
    }
}

std::optional<pid_t> PosixProcessLauncher::start(const std::string& program,
                                                 const std::vector<std::string>& arguments)
{
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(program, ec);
    if (ec) {
        return std::nullopt;
    }
    const std::string executable = path.string();
    const std::string folder = path.parent_path().string();

    SpawnSetup setup;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&setup.attributes, &none);
    posix_spawnattr_setsigdefault(&setup.attributes, &all);
    posix_spawnattr_setflags(&setup.attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&setup.actions, folder.c_str());
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    // glibc reports a failed exec (missing file, no permission, not a program) as the result.
    if (::posix_spawn(&pid, executable.c_str(), &setup.actions, &setup.attributes, argv.data(), environ) !=
        0) {
        return std::nullopt;
    }
    // Nobody but this launcher reaps the child, so the id is still the child's here.
    const int pidfd = pidfdOpen(pid);
    if (pidfd < 0) {
        // A kernel without pidfds: the program runs, but it cannot be closed safely later.
        return pid;
    }
    Child child{pidfd, new QSocketNotifier(pidfd, QSocketNotifier::Read)};
    QObject::connect(child.notifier, &QSocketNotifier::activated, child.notifier,
                     [this, pid] { reapIfEnded(pid); });
    m_children.emplace(pid, child);
    return pid;
}

bool PosixProcessLauncher::terminate(pid_t pid)
{
    if (!isRunning(pid)) {
        return false;
    }
    return pidfdSendSignal(m_children.at(pid).pidfd, SIGTERM) == 0;
}

bool PosixProcessLauncher::isRunning(pid_t pid)
{
    return m_children.count(pid) != 0 && !reapIfEnded(pid);
}

bool PosixProcessLauncher::waitForEnd(const std::vector<pid_t>& pids, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        std::vector<pollfd> running;
        for (pid_t pid : pids) {
            if (isRunning(pid)) {
                running.push_back({m_children.at(pid).pidfd, POLLIN, 0});
            }
        }
        if (running.empty()) {
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        // Wakes at the first end; the loop then looks at all of them again.
        ::poll(running.data(), running.size(), static_cast<int>(left.count()));
    }
}

bool PosixProcessLauncher::reapIfEnded(pid_t pid)
{
    auto it = m_children.find(pid);
    if (it == m_children.end()) {
        return true;
    }
    if (!hasEnded(it->second.pidfd)) {
        return false;
    }
    // The pidfd is readable once the whole process has ended, so this does not wait. Another
    // reaper (SIGCHLD ignored) makes it fail with ECHILD, which changes nothing.
    int status = 0;
    ::waitpid(pid, &status, WNOHANG);
    forget(pid);
    return true;
}

void PosixProcessLauncher::forget(pid_t pid)
{
    auto it = m_children.find(pid);
    if (it == m_children.end()) {
        return;
    }
    // The notifier may be the one whose signal runs right now.
    it->second.notifier->setEnabled(false);
    it->second.notifier->deleteLater();
    ::close(it->second.pidfd);
    m_children.erase(it);
}

} // namespace kestrelon
