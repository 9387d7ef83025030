// The cost of fanning the live stream out to many viewers: the CPU time spent over a window with
// 10 viewers against the same window with 1 viewer, at the highest bit rate. Target: 10 viewers
// cost at most 5 % of one core more than 1.
//
// In-process (the stream pipeline alone): the viewers are loopback TCP connections drained by a
// child process, so their reading is not counted.
//
//   build/default/bench/bench_stream_fanout [seconds=10] [rounds=2] [row=0]
//
// The real program: Kestrelon runs headless, streaming its test pattern by itself, and the viewers
// connect to its viewer port over HTTP; the program's own CPU time is read from /proc.
//
//   build/default/bench/bench_stream_fanout --program build/default/kestrelon [seconds] [rounds] [row]
#include "streaming/StreamPipeline.h"
#include "streaming/TestPatternFeed.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <spawn.h>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kestrelon;

namespace {

struct Pair {
    int server = -1;
    int client = -1;
};

// A socket bound to 127.0.0.1 and a free port, which a tells.
int boundLoopback(sockaddr_in& a)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return fd;
}

Pair loopbackPair()
{
    sockaddr_in a{};
    const int listener = boundLoopback(a);
    ::listen(listener, 1);
    Pair p;
    p.client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(p.client, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    p.server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    ::close(listener);
    return p;
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Reads every client end until they close; reports the bytes read on exit.
[[noreturn]] void drain(const std::vector<int>& fds)
{
    std::vector<pollfd> polls;
    for (int fd : fds) {
        polls.push_back({fd, POLLIN, 0});
    }
    std::vector<char> buffer(64 * 1024);
    size_t open = fds.size();
    while (open > 0 && ::poll(polls.data(), polls.size(), -1) > 0) {
        for (pollfd& p : polls) {
            if (p.fd >= 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
                if (::read(p.fd, buffer.data(), buffer.size()) <= 0) {
                    ::close(p.fd);
                    p.fd = -1;
                    --open;
                }
            }
        }
    }
    std::_Exit(0);
}

// CPU seconds this process spent over `seconds` of streaming to `viewers` viewers.
double measure(int row, int viewers, int seconds)
{
    StreamPipeline stream(makeStreamProfile(row, 50), "Bench", viewers);
    QString error;
    if (stream.start(std::make_unique<TestPatternFeed>(), {}, error) != StreamPipeline::Start::Started) {
        std::fprintf(stderr, "the stream does not start: %s\n", error.toUtf8().constData());
        std::exit(1);
    }
    std::vector<Pair> pairs;
    for (int i = 0; i < viewers; ++i) {
        pairs.push_back(loopbackPair());
    }
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<int> clients;
        for (const Pair& p : pairs) {
            ::close(p.server);
            clients.push_back(p.client);
        }
        drain(clients);
    }
    for (const Pair& p : pairs) {
        ::close(p.client);
        if (!stream.viewers()->addViewer(p.server)) {
            std::fprintf(stderr, "a viewer was refused\n");
            std::exit(1);
        }
    }
    // Let the encoder settle, then measure.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double before = cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double used = cpuSeconds() - before;
    if (stream.viewers()->count() != viewers) {
        std::fprintf(stderr, "only %d of %d viewers stayed\n", stream.viewers()->count(), viewers);
    }
    stream.stop();
    int status = 0;
    ::waitpid(child, &status, 0);
    return used;
}

// Measures 1 viewer and 10 viewers in each round (measure gives the CPU seconds of one window) and
// prints each round and the mean against the target; the exit status says whether it was met.
int runRounds(int rounds, int seconds, const std::function<double(int viewers)>& measure)
{
    double one = 0;
    double ten = 0;
    for (int round = 0; round < rounds; ++round) {
        const double a = measure(1);
        const double b = measure(10);
        std::printf("round %d:  1 viewer %.3f s CPU (%.1f %% of a core)   10 viewers %.3f s CPU (%.1f %%)\n",
                    round + 1, a, 100 * a / seconds, b, 100 * b / seconds);
        one += a;
        ten += b;
    }
    one /= rounds;
    ten /= rounds;
    const double extra = 100 * (ten - one) / seconds;
    std::printf(
        "mean:     1 viewer %.1f %% of a core, 10 viewers %.1f %%: 9 more viewers cost %.2f %% of one core "
        "(target <= 5 %%) %s\n",
        100 * one / seconds, 100 * ten / seconds, extra, extra <= 5.0 ? "PASS" : "FAIL");
    return extra <= 5.0 ? 0 : 1;
}

// ---- the real program ----------------------------------------------------------------------

// The CPU seconds a process has spent so far (user and system), from /proc.
double processCpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold blanks: the fields start after its closing parenthesis.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

uint16_t freePort()
{
    sockaddr_in a{};
    ::close(boundLoopback(a));
    return ntohs(a.sin_port);
}

// A viewer on the viewer port: the stream request sent, its socket open; -1 when it cannot connect.
int openViewer(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads every viewer's socket on a thread of its own, so no viewer falls behind.
class Drain {
public:
    Drain() : m_thread([this] { run(); }) {}
    ~Drain()
    {
        m_stop = true;
        m_thread.join();
        for (const Viewer& v : m_viewers) {
            ::close(v.fd);
        }
    }
    void add(int fd)
    {
        std::lock_guard lock(m_mutex);
        m_viewers.push_back({fd, fd < 0});
    }
    // Closes all viewers but the first.
    void keepOne()
    {
        std::lock_guard lock(m_mutex);
        while (m_viewers.size() > 1) {
            ::close(m_viewers.back().fd);
            m_viewers.pop_back();
        }
    }
    // Viewers whose stream still comes.
    size_t open() const
    {
        std::lock_guard lock(m_mutex);
        size_t n = 0;
        for (const Viewer& v : m_viewers) {
            n += !v.ended;
        }
        return n;
    }

private:
    struct Viewer {
        int fd;
        bool ended;
    };

    void run()
    {
        std::vector<char> buffer(64 * 1024);
        while (!m_stop) {
            std::vector<pollfd> polls;
            {
                std::lock_guard lock(m_mutex);
                for (const Viewer& v : m_viewers) {
                    polls.push_back({v.ended ? -1 : v.fd, POLLIN, 0});
                }
            }
            if (::poll(polls.data(), polls.size(), 100) <= 0) {
                continue;
            }
            std::lock_guard lock(m_mutex);
            for (size_t i = 0; i < polls.size() && i < m_viewers.size(); ++i) {
                if (polls[i].fd == m_viewers[i].fd && (polls[i].revents & (POLLIN | POLLHUP | POLLERR)) &&
                    ::read(polls[i].fd, buffer.data(), buffer.size()) <= 0) {
                    m_viewers[i].ended = true;
                }
            }
        }
    }

    mutable std::mutex m_mutex;
    std::vector<Viewer> m_viewers;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

int measureProgram(const char* exe, int seconds, int rounds, int row)
{
    char dirTemplate[] = "/tmp/kestrelon-fanout-XXXXXX";
    const std::string dir = ::mkdtemp(dirTemplate);
    const uint16_t port = freePort();
    const std::string ini = dir + "/kestrelon.ini";
    std::ofstream(ini)
        << "[WebServe]\nPort=0\nRevDNS=0\n[VidStream]\nStream=1\nLastDevice=0\nUsers=10\nProfile=" << row
        << "\nPort=" << port << "\n";
    std::vector<std::string> args = {exe, "--headless", "--config", ini, "--listen", "127.0.0.1"};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> variables = {
        "GST_PLUGIN_FEATURE_RANK=v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,libcameraprovider:NONE",
        "QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e; ++e) {
        variables.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (auto& v : variables) {
        envp.push_back(v.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (::posix_spawn(&pid, exe, &actions, nullptr, argv.data(), envp.data()) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);

    const StreamProfile profile = makeStreamProfile(row, 50);
    std::printf("program: %s streaming %s, %d x %d at %d fps on port %u; %d s windows, %d rounds\n", exe,
                kStreamProfiles[size_t(profile.row)].item, profile.width, profile.height, profile.frameRate,
                unsigned(port), seconds, rounds);
    Drain drain;
    int first = -1;
    for (int attempt = 0; attempt < 150 && first < 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        first = openViewer(port);
    }
    if (first < 0) {
        std::fprintf(stderr, "the viewer port does not answer\n");
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        return 1;
    }
    drain.add(first);
    const auto window = [&](size_t viewers) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const double before = processCpuSeconds(pid);
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double used = processCpuSeconds(pid) - before;
        if (drain.open() != viewers) {
            std::fprintf(stderr, "only %zu of %zu viewers stayed\n", drain.open(), viewers);
        }
        return used;
    };
    const int result = runRounds(rounds, seconds, [&](int viewers) {
        if (viewers == 1) {
            drain.keepOne();
        }
        for (int i = 1; i < viewers; ++i) {
            drain.add(openViewer(port));
        }
        return window(size_t(viewers));
    });
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::filesystem::remove_all(dir);
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    ::signal(SIGPIPE, SIG_IGN);
    if (argc > 2 && std::string(argv[1]) == "--program") {
        return measureProgram(argv[2], argc > 3 ? std::atoi(argv[3]) : 10, argc > 4 ? std::atoi(argv[4]) : 2,
                              argc > 5 ? std::atoi(argv[5]) : 0);
    }
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
    const int row = argc > 3 ? std::atoi(argv[3]) : 0;
    QString error;
    if (!initStreamLibrary(error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    const StreamProfile profile = makeStreamProfile(row, 50);
    std::printf("stream: %s, %d x %d at %d fps; %d s windows, %d rounds\n",
                kStreamProfiles[size_t(profile.row)].item, profile.width, profile.height, profile.frameRate,
                seconds, rounds);
    return runRounds(rounds, seconds, [&](int viewers) { return measure(row, viewers, seconds); });
}
