#include "timecheck/TimeClient.h"

#include "core/FileHandle.h"
#include "core/HostPort.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace kestrelon {

namespace {

using Steady = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Waits are cut into slices this long, so a stop request ends them soon.
constexpr auto kSlice = 100ms;

enum class Wait { Ready, TimedOut, Stopped, Failed };

Wait waitFor(int fd, short events, Steady::time_point deadline, const std::stop_token& stop)
{
    while (true) {
        if (stop.stop_requested()) {
            return Wait::Stopped;
        }
        const auto left = deadline - Steady::now();
        if (left <= Steady::duration::zero()) {
            return Wait::TimedOut;
        }
        const auto slice =
            std::chrono::ceil<std::chrono::milliseconds>(std::min<Steady::duration>(left, kSlice));
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(slice.count()));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Wait::Failed;
        }
        if (ready > 0) {
            return Wait::Ready;
        }
    }
}

std::string systemError(int code)
{
    // Unlike strerror, thread-safe.
    return std::system_category().message(code);
}

struct AddressList {
    addrinfo* head = nullptr;
    ~AddressList()
    {
        if (head) {
            ::freeaddrinfo(head);
        }
    }
};

TimeAnswer failure(TimeAnswer::Outcome outcome, std::string error)
{
    TimeAnswer answer;
    answer.outcome = outcome;
    answer.error = std::move(error);
    return answer;
}

} // namespace

std::chrono::system_clock::time_point TimeClient::timeFromValue(uint32_t value,
                                                                std::chrono::system_clock::time_point now)
{
    constexpr int64_t kEra = int64_t(1) << 32;
    const int64_t nowSince1900 =
        std::chrono::floor<std::chrono::seconds>(now).time_since_epoch().count() + kSecondsFrom1900To1970;
    // The k whose value + k * 2^32 lies within half an era of now; the count starts in 1900, so
    // no earlier era exists.
    const int64_t offset = nowSince1900 - static_cast<int64_t>(value) + kEra / 2;
    const int64_t era = std::max<int64_t>(0, offset >= 0 ? offset / kEra : (offset - kEra + 1) / kEra);
    const int64_t since1900 = static_cast<int64_t>(value) + era * kEra;
    return std::chrono::system_clock::time_point(std::chrono::seconds(since1900 - kSecondsFrom1900To1970));
}

TimeAnswer TimeClient::query(std::string_view server, std::chrono::system_clock::time_point now,
                             std::stop_token stop) const
{
    using Outcome = TimeAnswer::Outcome;
    const auto address = parseHostPort(server, kPort);
    if (!address) {
        return failure(Outcome::Failed, "not a time server address: \"" + std::string(server) + "\"");
    }

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    AddressList addresses;
    const std::string portText = std::to_string(address->port);
    if (int rc = ::getaddrinfo(address->host.c_str(), portText.c_str(), &hints, &addresses.head); rc != 0) {
        return failure(Outcome::Failed, "cannot find " + address->host + ": " + ::gai_strerror(rc));
    }

    // Every address of the name in turn, all within one connect time-out.
    const auto connectDeadline = Steady::now() + m_options.connectTimeout;
    FileHandle socket;
    std::string error = "no address for " + address->host;
    for (addrinfo* ai = addresses.head; ai && socket.get() < 0; ai = ai->ai_next) {
        FileHandle candidate(
            ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol));
        if (candidate.get() < 0) {
            error = "socket: " + systemError(errno);
            continue;
        }
        if (::connect(candidate.get(), ai->ai_addr, ai->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                error = "connect: " + systemError(errno);
                continue;
            }
            const Wait wait = waitFor(candidate.get(), POLLOUT, connectDeadline, stop);
            if (wait == Wait::Stopped) {
                return failure(Outcome::Failed, "cancelled");
            }
            if (wait == Wait::TimedOut) {
                return failure(Outcome::Failed, "no connection to " + std::string(server) + " within " +
                                                    std::to_string(m_options.connectTimeout.count()) + " ms");
            }
            int code = 0;
            socklen_t length = sizeof code;
            if (wait == Wait::Failed ||
                ::getsockopt(candidate.get(), SOL_SOCKET, SO_ERROR, &code, &length) != 0) {
                code = errno;
            }
            if (code != 0) {
                error = "connect: " + systemError(code);
                continue;
            }
        }
        socket.reset(candidate.release());
    }
    if (socket.get() < 0) {
        return failure(Outcome::Failed, error);
    }

    // The four bytes, within the answer time-out counted from the moment the connection was made.
    const auto connected = Steady::now();
    const auto answerDeadline = connected + m_options.answerTimeout;
    unsigned char bytes[4];
    size_t got = 0;
    while (got < sizeof bytes) {
        const Wait wait = waitFor(socket.get(), POLLIN, answerDeadline, stop);
        if (wait == Wait::Stopped) {
            return failure(Outcome::Failed, "cancelled");
        }
        if (wait == Wait::TimedOut) {
            return failure(Outcome::NoAnswer, "no answer within " +
                                                  std::to_string(m_options.answerTimeout.count()) + " ms (" +
                                                  std::to_string(got) + " of 4 bytes)");
        }
        const ssize_t n = ::recv(socket.get(), bytes + got, sizeof bytes - got, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
        } else if (n == 0) {
            return failure(Outcome::NoAnswer,
                           "the server closed the connection after " + std::to_string(got) + " of 4 bytes");
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return failure(Outcome::Failed, "connection broken: " + systemError(errno));
        }
    }
    const auto received = Steady::now();

    // A server that sends fewer than four bytes has not told the time: that is no answer, never
    // the time value 0 (midnight of 1 January 1900), which would be shown and logged as a real
    // server time.
    TimeAnswer answer;
    answer.outcome = Outcome::Answered;
    answer.value =
        (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
    // The server read its clock somewhere between our connection and its answer: half the round
    // trip is the best guess of how old the value is.
    answer.time = timeFromValue(answer.value, now) +
                  std::chrono::duration_cast<std::chrono::system_clock::duration>((received - connected) / 2);
    return answer;
}

} // namespace kestrelon
