// Load, slow and greedy clients: each test is bounded in time and sends only to 127.0.0.0/8.
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string loopback(int a, int b, int c)
{
    return "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
}

// Sends the pieces from a thread of their own (stopping when the server closes) while the reply
// is read, so a server that answers before it has read everything is heard.
std::optional<HttpResponse> sendWhileReading(uint16_t port, const std::vector<std::string>& pieces)
{
    RawConnection conn(port);
    std::thread sender([&] {
        for (size_t i = 0; i < pieces.size() && conn.send(pieces[i]); ++i) {
        }
    });
    auto r = conn.readResponse(false, 10s);
    sender.join();
    return r;
}

const char* const kChunkedPost = "POST /index.html HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                                 "Content-Type: application/x-www-form-urlencoded\r\n\r\n";

// Sends piece after piece as fast as the server takes them, until the server closes the
// connection; how long that took, or nothing when it was still open after `limit`.
std::optional<Clock::duration> floodUntilClosed(RawConnection& conn, const std::string& piece,
                                                Clock::duration limit)
{
    const auto start = Clock::now();
    size_t offset = 0;
    while (Clock::now() - start < limit) {
        pollfd p{conn.fd(), POLLOUT, 0};
        if (::poll(&p, 1, 50) <= 0) {
            continue;
        }
        if (p.revents & (POLLERR | POLLHUP)) {
            return Clock::now() - start;
        }
        ssize_t n =
            ::send(conn.fd(), piece.data() + offset, piece.size() - offset, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return Clock::now() - start;
        }
        offset = (offset + static_cast<size_t>(n)) % piece.size();
    }
    return std::nullopt;
}

uint64_t inodeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Whether this process (the server in it) holds the file open that is at the path now, and that
// is another one than `before`.
bool openHere(const std::string& path, uint64_t before)
{
    const uint64_t now = inodeOf(path);
    if (now == 0 || now == before) {
        return false;
    }
    DIR* dir = ::opendir("/proc/self/fd");
    bool found = false;
    while (dirent* e = dir ? ::readdir(dir) : nullptr) {
        struct stat st {};
        found |= ::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode) && st.st_ino == now;
    }
    if (dir) {
        ::closedir(dir);
    }
    return found;
}

} // namespace

TEST(HttpRobustness, ParallelKeepAliveClients)
{
    ServerFixture f;
    f.root.write("index.html", std::string(4096, 'k'));
    ASSERT_TRUE(f.start());
    constexpr int kClients = 50;
    constexpr int kRequests = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            RawConnection conn(f.port());
            if (!conn.connected()) {
                failures += kRequests;
                return;
            }
            for (int i = 0; i < kRequests; ++i) {
                // Every tenth request is pipelined behind the previous one.
                bool pipeline = i % 10 == 0 && i + 1 < kRequests;
                std::string request = "GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n";
                conn.send(pipeline ? request + request : request);
                for (int k = 0; k < (pipeline ? 2 : 1); ++k) {
                    auto r = conn.readResponse();
                    if (!r || r->status != 200 || r->body.size() != 4096) {
                        ++failures;
                    }
                }
                if (pipeline) {
                    ++i;
                }
            }
        });
    }
    for (auto& t : clients) {
        t.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(waitFor([&] { return f.countMessages("Serving file") == kClients * kRequests; }));
    EXPECT_EQ(f.countMessages("Serving file"), size_t(kClients * kRequests));
    EXPECT_EQ(f.countMessages("Command GET /index.html"), size_t(kClients * kRequests));
    EXPECT_TRUE(waitFor([&] { return !f.server->serverBusy().serverBusy(); }));
}

TEST(HttpRobustness, IdleConnectionsDoNotStarveOthers)
{
    ServerFixture f;
    f.root.write("index.html", "hello");
    ASSERT_TRUE(f.start());
    std::vector<std::unique_ptr<RawConnection>> idle;
    for (int i = 0; i < 300; ++i) {
        // Spread over source addresses so the per-address limit keeps them all.
        idle.push_back(std::make_unique<RawConnection>(f.port(), loopback(3, i / 50, 1 + i % 50)));
        ASSERT_TRUE(idle.back()->connected());
    }
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 300; }));
    auto start = Clock::now();
    auto r = httpGet(f.port(), "/index.html");
    auto elapsed = Clock::now() - start;
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "hello");
    EXPECT_LT(elapsed, 1s);
}

TEST(HttpRobustness, SlowHeaderIsCutOffAtTheDeadline)
{
    ServerFixture f; // header deadline 2 s
    ASSERT_TRUE(f.start());
    RawConnection conn(f.port());
    ASSERT_TRUE(conn.send("GET / HTTP/1.1\r\n"));
    auto start = Clock::now();
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 1; }));
    std::atomic<bool> stop{false};
    std::thread trickle([&] {
        // One byte every 100 ms: the connection never goes idle, the header never ends.
        while (!stop && Clock::now() - start < 8s) {
            if (!conn.send("x")) {
                return;
            }
            std::this_thread::sleep_for(100ms);
        }
    });
    bool closed = waitFor([&] { return f.server->connectionCount() == 0; }, 6s);
    auto elapsed = Clock::now() - start;
    stop = true;
    trickle.join();
    EXPECT_TRUE(closed);
    EXPECT_GE(elapsed, 1500ms);
    EXPECT_LT(elapsed, 4s);
}

TEST(HttpRobustness, ClientThatStopsReadingIsCutOff)
{
    ServerFixture f; // write time-out 2 s
    f.root.write("big.bin", std::string(1 << 20, 'p'));
    ASSERT_TRUE(f.start());
    RawConnection conn(f.port());
    int small = 4096;
    ::setsockopt(conn.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    std::string many;
    for (int i = 0; i < 500; ++i) {
        many += "GET /big.bin HTTP/1.1\r\nHost: x\r\n\r\n";
    }
    ASSERT_TRUE(conn.send(many));
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 1; }));
    auto start = Clock::now();
    EXPECT_TRUE(waitFor([&] { return f.server->connectionCount() == 0; }, 8s));
    EXPECT_LT(Clock::now() - start, 6s);
    // Nothing of that holds up the next client.
    f.root.write("index.html", "still here");
    EXPECT_EQ(httpGet(f.port(), "/index.html")->body, "still here");
}

TEST(HttpRobustness, LargeFilesReachReadersThatKeepReading)
{
    // The write time-out is half a second; the reader takes several times that for the file.
    HttpServerLimits limits = ServerFixture::testLimits();
    limits.writeTimeout = 500ms;
    ServerFixture f(limits);
    std::string big(12 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    f.root.write("big.bin", big);
    f.root.write("empty.txt", "");
    ASSERT_TRUE(f.start());
    RawConnection conn(f.port());
    int small = 64 * 1024;
    ::setsockopt(conn.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    // HEAD and an empty file, then the large one and the empty one pipelined.
    ASSERT_TRUE(
        conn.send("HEAD /big.bin HTTP/1.1\r\nHost: x\r\n\r\nGET /empty.txt HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto head = conn.readResponse(/*headOnly=*/true);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->header("content-length"), std::to_string(big.size()));
    auto empty = conn.readResponse();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_EQ(empty->header("content-length"), "0");
    ASSERT_TRUE(
        conn.send("GET /big.bin HTTP/1.1\r\nHost: x\r\n\r\nGET /empty.txt HTTP/1.1\r\nHost: x\r\n\r\n"));
    // Read the large one slowly by hand: the server must not give up while bytes move. The reply
    // after it must start exactly where the file ends.
    std::string got;
    size_t bodyAt = std::string::npos;
    const auto start = Clock::now();
    char buffer[16384];
    while (bodyAt == std::string::npos || got.find("\r\n\r\n", bodyAt + big.size()) == std::string::npos) {
        pollfd p{conn.fd(), POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 2000), 0) << "stalled after " << got.size() << " bytes";
        ssize_t n = ::recv(conn.fd(), buffer, sizeof buffer, 0);
        ASSERT_GT(n, 0) << "closed after " << got.size() << " bytes";
        got.append(buffer, static_cast<size_t>(n));
        if (bodyAt == std::string::npos && got.find("\r\n\r\n") != std::string::npos) {
            bodyAt = got.find("\r\n\r\n") + 4;
        }
        std::this_thread::sleep_for(2ms); // at most 8 MB/s: well over a second for the file
    }
    EXPECT_GT(Clock::now() - start, limits.writeTimeout * 2);
    EXPECT_NE(got.find("Content-Length: " + std::to_string(big.size())), std::string::npos);
    EXPECT_TRUE(got.compare(bodyAt, big.size(), big) == 0);
    EXPECT_EQ(got.compare(bodyAt + big.size(), 15, "HTTP/1.1 200 OK"), 0);

    // A client that goes in the middle of a file costs its connection only (no SIGPIPE).
    for (int i = 0; i < 5; ++i) {
        RawConnection gone(f.port());
        gone.send("GET /big.bin HTTP/1.1\r\nHost: x\r\n\r\n");
        ASSERT_GT(::recv(gone.fd(), buffer, sizeof buffer, 0), 0);
        const linger reset{1, 0};
        ::setsockopt(gone.fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    EXPECT_EQ(httpGet(f.port(), "/empty.txt")->status, 200);
    EXPECT_TRUE(waitFor([&] { return f.countMessages("Serving file") == 4; })); // not the cut ones
}

TEST(HttpRobustness, BadRequestsGet4xxAndTheServerGoesOn)
{
    ServerFixture f;
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    auto sendRaw = [&](const std::string& bytes) { return sendWhileReading(f.port(), {bytes}); };
    auto r = sendRaw("GARBAGE\r\n\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    r = sendRaw("GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(100 * 1024, 'h') + "\r\n\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 431);
    std::string body(2 << 20, 'a');
    r = sendRaw("POST /index.html HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                "Content-Length: " +
                std::to_string(body.size()) + "\r\n\r\nf=" + body);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 413);
    r = sendRaw("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: nope\r\n\r\n");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_EQ(f.countMessages("Command"), 0u);

    // A body within the limit is read, also when the client waits for "100 Continue".
    RawConnection conn(f.port());
    conn.send("POST /index.html HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
              "Content-Length: 5\r\nExpect: 100-continue\r\n\r\n");
    auto cont = conn.readResponse(true);
    ASSERT_TRUE(cont);
    EXPECT_EQ(cont->status, 100);
    conn.send("a=b&c");
    r = conn.readResponse();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302); // a form post is answered with the page it was sent to
    EXPECT_EQ(r->body, "ok");
    EXPECT_EQ(httpGet(f.port(), "/index.html")->body, "ok");
}

TEST(HttpRobustness, ConnectionLimitsAndIdleTimeOut)
{
    HttpServerLimits limits = ServerFixture::testLimits();
    limits.maxPartialRequestsPerAddress = 5;
    limits.maxConnections = 12;
    // Long enough that a loaded machine never closes a waiting connection by its time-out while
    // the limits are tested; the time-out itself is tested on a second server below.
    limits.idleTimeout = 60s;
    limits.headerTimeout = 60s;
    limits.deferAccept = 0s; // the server holds connections that have said nothing yet
    ServerFixture f(limits);
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    auto connect = [&](const std::string& address) {
        const size_t before = f.server->connectionCount();
        auto conn = std::make_unique<RawConnection>(f.port(), address);
        EXPECT_TRUE(waitFor([&] { return f.server->connectionCount() > before; }));
        return conn;
    };

    // Five requests from one address that come in pieces; a sixth is closed, while the same
    // address still gets whole requests served.
    std::vector<std::unique_ptr<RawConnection>> partial;
    for (int i = 0; i < 5; ++i) {
        partial.push_back(connect("127.0.4.1"));
        partial.back()->send("GET /index.html HTTP/1.1\r\n");
    }
    RawConnection sixth(f.port(), "127.0.4.1");
    sixth.send("GET /index.html HTTP/1.1\r\n");
    EXPECT_TRUE(sixth.waitForClose(2s));
    EXPECT_EQ(httpGet(f.port(), "/index.html", {}, "GET", "127.0.4.1")->body, "ok");
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 5; }));

    // Many connections from one address are fine while there is room. A full server closes the
    // one that has waited longest for a request, so a newcomer gets in.
    std::vector<std::unique_ptr<RawConnection>> waiting;
    for (int i = 0; i < 7; ++i) {
        waiting.push_back(connect("127.0.4.2"));
    }
    waiting[1]->send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n"); // no longer the second oldest
    ASSERT_TRUE(waiting[1]->readResponse());
    ASSERT_EQ(f.server->connectionCount(), 12u);
    EXPECT_EQ(httpGet(f.port(), "/index.html", {}, "GET", "127.0.4.20")->body, "ok");
    EXPECT_TRUE(waiting[0]->waitForClose(2s));
    for (size_t i : {1u, 2u, 6u}) {
        waiting[i]->send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
        auto r = waiting[i]->readResponse();
        ASSERT_TRUE(r) << i;
        EXPECT_EQ(r->body, "ok");
    }
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 11; }));
    // With only requests in progress there is nothing to close: the newcomer is.
    for (size_t i = 1; i < 6; ++i) {
        waiting[i]->send("GET /index.html HTTP/1.1\r\n");
    }
    waiting[6].reset();
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 10; }));
    std::vector<std::unique_ptr<RawConnection>> more;
    for (int i = 0; i < 2; ++i) {
        more.push_back(connect(loopback(4, 5, 1 + i)));
        more.back()->send("GET /index.html HTTP/1.1\r\n");
    }
    ASSERT_EQ(f.server->connectionCount(), 12u);
    RawConnection over(f.port(), "127.0.4.30");
    EXPECT_TRUE(over.waitForClose(2s));

    // Connections that go away are forgotten.
    partial.clear();
    waiting.clear();
    more.clear();
    EXPECT_TRUE(waitFor([&] { return f.server->connectionCount() == 0; }, 8s));

    // Connections that send nothing are closed after the idle time-out, and so is a
    // keep-alive connection after its last request.
    limits.idleTimeout = 4s;
    limits.headerTimeout = 20s;
    ServerFixture g(limits);
    g.root.write("index.html", "ok");
    ASSERT_TRUE(g.start());
    RawConnection idle(g.port());
    RawConnection keep(g.port());
    keep.send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(keep.readResponse());
    auto start = Clock::now();
    EXPECT_TRUE(keep.waitForClose(8s));
    EXPECT_TRUE(idle.waitForClose(1s));
    EXPECT_GE(Clock::now() - start, 3500ms);
}

TEST(HttpRobustness, StopClosesOpenConnections)
{
    HttpServerLimits limits = ServerFixture::testLimits();
    limits.deferAccept = 0s;
    ServerFixture f(limits);
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    RawConnection keep(f.port());
    keep.send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(keep.readResponse());
    RawConnection idle(f.port());
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 2; }));
    f.server->toggle();
    EXPECT_FALSE(f.server->running());
    EXPECT_TRUE(keep.waitForClose(2s));
    EXPECT_TRUE(idle.waitForClose(2s));
}

TEST(HttpRobustness, AConnectionIsTakenOnceItSpeaks)
{
    ServerFixture f; // accepts are deferred by a second
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    RawConnection silent(f.port());
    RawConnection keep(f.port());
    keep.send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(keep.readResponse());
    EXPECT_EQ(f.server->connectionCount(), 1u); // the silent one waits in the kernel
    silent.send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
    auto r = silent.readResponse();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "ok");
    EXPECT_EQ(f.server->connectionCount(), 2u);
}

TEST(HttpRobustness, ChunkExtensionsAndTrailersThatNeverEndAreCutShort)
{
    ServerFixture f;
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    // A megabyte of one chunk extension, or of one trailer line, without a line end.
    auto endless = [&](const std::string& start) {
        std::vector<std::string> pieces(17, std::string(65536, 'e'));
        pieces[0] = kChunkedPost + start;
        return sendWhileReading(f.port(), pieces);
    };
    auto r = endless("3;");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    r = endless("3\r\nabc\r\n0\r\nX-Trailer: ");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_TRUE(waitFor([&] { return f.server->bufferedBytes() == 0; }));

    // Extensions and trailers of a sane size are read as ever.
    RawConnection conn(f.port());
    conn.send(std::string(kChunkedPost) + "3;name=value\r\na=b\r\n0\r\nX-Trailer: t\r\n\r\n");
    r = conn.readResponse();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->body, "ok");
}

TEST(HttpRobustness, BodyAndLingerDeadlinesHoldWhileDataKeepsArriving)
{
    HttpServerLimits limits = ServerFixture::testLimits();
    limits.bodyTimeout = 1s;
    ServerFixture f(limits); // lingering after the last reply: 2 s
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    // Valid one-byte chunks with long extensions: data all the time, a body that hardly grows.
    RawConnection upload(f.port());
    ASSERT_TRUE(upload.send(kChunkedPost));
    auto took = floodUntilClosed(upload, "1;" + std::string(7000, 'x') + "\r\nz\r\n", 8s);
    ASSERT_TRUE(took) << "the body was still read after 8 s";
    EXPECT_LT(*took, 3s);

    // After an error reply the server reads on for a moment only, however much comes.
    RawConnection bad(f.port());
    bad.send("GARBAGE\r\n\r\n");
    auto r = bad.readResponse();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    took = floodUntilClosed(bad, std::string(65536, 'g'), 8s);
    ASSERT_TRUE(took) << "still draining after 8 s";
    EXPECT_LT(*took, 4s);
}

TEST(HttpRobustness, BufferBudgetFieldCountAndLogLengthBoundTheMemory)
{
    HttpServerLimits limits = ServerFixture::testLimits();
    limits.bufferBudget = 512 * 1024;
    ServerFixture f(limits);
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    const std::string uploadHeader = "POST /index.html HTTP/1.1\r\nHost: x\r\n"
                                     "Content-Type: application/x-www-form-urlencoded\r\n"
                                     "Content-Length: 204800\r\n\r\n";
    // Two stalled uploads hold most of the budget; a third is refused, a small request still fits.
    auto first = std::make_unique<RawConnection>(f.port());
    auto second = std::make_unique<RawConnection>(f.port());
    first->send(uploadHeader + std::string(1000, 'a'));
    second->send(uploadHeader + std::string(1000, 'a'));
    ASSERT_TRUE(waitFor([&] { return f.server->bufferedBytes() >= 2 * 204800; }));
    RawConnection third(f.port());
    third.send(uploadHeader + "a=b");
    auto r = third.readResponse();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 503);
    EXPECT_EQ(httpGet(f.port(), "/index.html")->body, "ok");
    // Their share comes back when they go.
    first.reset();
    second.reset();
    EXPECT_TRUE(waitFor([&] { return f.server->bufferedBytes() == 0; }));
    std::string body = "a=" + std::string(204798, 'b');
    r = httpPost(f.port(), "/index.html", body);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);

    // Header fields are counted as well as header bytes.
    auto withFields = [&](int count) {
        std::string fields;
        for (int i = 0; i < count; ++i) {
            fields += "X-F" + std::to_string(i) + ":\r\n";
        }
        return httpGet(f.port(), "/index.html", fields);
    };
    EXPECT_EQ(withFields(90)->status, 200);
    EXPECT_EQ(withFields(150)->status, 431);

    // A long path is logged cut, with the client's address kept.
    EXPECT_EQ(f.get("/" + std::string(15000, 'p'))->status, 404);
    auto messages = f.messages();
    auto line = std::find_if(messages.begin(), messages.end(),
                             [](const std::string& m) { return m.rfind("Command GET /ppp", 0) == 0; });
    ASSERT_NE(line, messages.end());
    EXPECT_LT(line->size(), MessageLog::kMaxFieldBytes + 100);
    EXPECT_NE(line->find("[... 13977 bytes cut] received from 127.0.0.1:"), std::string::npos) << *line;
}

TEST(HttpRobustness, TransferCodingsOtherThanChunkedAreRefused)
{
    ServerFixture f;
    f.root.write("index.html", "ok");
    f.change([](Settings& s) { s.WebServe.IO = true; });
    ASSERT_TRUE(f.start());
    // The body is a request that writes the port, should it be read as the next request.
    const std::string smuggled = "GET /^77 HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::pair<std::string, int> cases[] = {
        {"Transfer-Encoding: xchunked\r\n", 501},
        {"Transfer-Encoding: gzip\r\n", 501},
        {"Transfer-Encoding: identity\r\n", 501},
        {"Transfer-Encoding: chunked, identity\r\n", 501},
        {"Transfer-Encoding: gzip, chunked\r\n", 501},
        {"Transfer-Encoding: gzip\r\nContent-Length: " + std::to_string(smuggled.size()) + "\r\n", 501},
        {"Transfer-Encoding: chunked, chunked\r\n", 400},
        {"Transfer-Encoding: \r\n", 400},
        {"Content-Length: 3\r\nTransfer-Encoding: chunked\r\n", 400},
    };
    for (const auto& [fields, status] : cases) {
        RawConnection conn(f.port());
        conn.send("POST /index.html HTTP/1.1\r\nHost: x\r\n" + fields + "\r\n" + smuggled);
        auto r = conn.readResponse();
        ASSERT_TRUE(r) << fields;
        EXPECT_EQ(r->status, status) << fields;
        EXPECT_EQ(r->header("connection"), "close") << fields;
        EXPECT_TRUE(conn.waitForClose(5s)) << fields;
    }
    EXPECT_EQ(f.countMessages("I/O Request 77"), 0u);
    EXPECT_TRUE(f.portWrites().empty());
    EXPECT_EQ(f.countMessages("Command"), 0u);
}

TEST(HttpRobustness, AFileIsSentAtTheLengthItWasAnnouncedWith)
{
    // A counted hit waits 250 ms between opening the counter's image and sending it: the file
    // changes in that moment.
    ServerFixture f;
    f.root.write("index.html", "INDEX");
    f.root.write("hitcounter.txt", "000000\r\n");
    const std::string image = f.root.path() + "/hitcounter.bmp";
    ASSERT_TRUE(f.start());
    auto hitWhileTheFileChanges = [&](const std::string& address, const std::function<void()>& change) {
        RawConnection conn(f.port(), address);
        const uint64_t before = inodeOf(image); // the count redraws the image into a new file
        conn.send(
            "GET /hitcounter.bmp HTTP/1.1\r\nHost: x\r\n\r\nGET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
        if (!waitFor([&] { return openHere(image, before); })) {
            ADD_FAILURE() << "the image was never opened";
        }
        change();
        auto first = conn.readResponse();
        auto second = first ? conn.readResponse() : std::nullopt;
        return std::make_pair(first, second);
    };

    // It grows: exactly the announced bytes go out, and the next reply follows them.
    auto [grown, next] =
        hitWhileTheFileChanges("127.0.6.1", [&] { std::ofstream(image, std::ios::app) << "MORE"; });
    ASSERT_TRUE(grown);
    EXPECT_EQ(grown->status, 200);
    EXPECT_EQ(grown->header("content-length"), std::to_string(grown->body.size()));
    EXPECT_EQ(grown->body.find("MORE"), std::string::npos);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->raw.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << next->raw;
    EXPECT_EQ(next->body, "INDEX");

    // It shrinks: the connection ends after what there is; nothing hangs.
    auto [shrunk, after] = hitWhileTheFileChanges("127.0.6.2", [&] { ::truncate(image.c_str(), 10); });
    EXPECT_FALSE(shrunk);
    EXPECT_TRUE(waitFor([&] { return f.server->connectionCount() == 0; }));
    EXPECT_EQ(httpGet(f.port(), "/index.html")->body, "INDEX");
}

TEST(HttpRobustness, IPv4ClientsOfADualStackServerKeepTheirPlainAddress)
{
    ServerFixture f;
    f.root.write("index.html", "ok");
    f.server->ownAddresses().set({"127.0.0.1"}, "::");
    if (!f.start()) {
        GTEST_SKIP() << "no IPv6 on this machine";
    }
    EXPECT_EQ(f.get("/index.html")->body, "ok");
    EXPECT_EQ(f.countMessages("Command GET /index.html received from 127.0.0.1:"), 1u);
    // So it is this computer's own, and the rules for own clients apply.
    f.change([](Settings& s) { s.WebServe.DontLogOwn = true; });
    EXPECT_EQ(f.get("/index.html")->body, "ok");
    EXPECT_EQ(f.countMessages("Command"), 1u);
    // The blocked list sees the plain address too.
    f.change([](Settings& s) { s.blocked = {"::ffff"}; });
    EXPECT_EQ(f.get("/index.html")->status, 200);
}
