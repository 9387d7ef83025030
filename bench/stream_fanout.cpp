// The cost of fanning the live stream out to many viewers: the CPU time this process spends
// over a window with 10 viewers against the same window with 1 viewer, at the highest bit rate.
// The viewers are loopback TCP connections drained by a child process, so their reading is not
// counted. Target: 10 viewers cost at most 5 % of one core more than 1.
//
//   build/default/bench/bench_stream_fanout [seconds=10] [rounds=2] [row=0]
#include "streaming/StreamPipeline.h"
#include "streaming/TestPatternFeed.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace kestrelon;

namespace {

struct Pair {
    int server = -1;
    int client = -1;
};

Pair loopbackPair()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
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

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
    const int row = argc > 3 ? std::atoi(argv[3]) : 0;
    ::signal(SIGPIPE, SIG_IGN);
    QString error;
    if (!initStreamLibrary(error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    const StreamProfile profile = makeStreamProfile(row, 50);
    std::printf("stream: %s, %d x %d at %d fps; %d s windows, %d rounds\n",
                kStreamProfiles[size_t(profile.row)].item, profile.width, profile.height, profile.frameRate,
                seconds, rounds);
    double one = 0;
    double ten = 0;
    for (int round = 0; round < rounds; ++round) {
        const double a = measure(row, 1, seconds);
        const double b = measure(row, 10, seconds);
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
