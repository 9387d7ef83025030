// Load, slow and greedy clients: each test is bounded in time and sends only to 127.0.0.0/8.
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
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

TEST(HttpRobustness, BadRequestsGet4xxAndTheServerGoesOn)
{
    ServerFixture f;
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    auto sendRaw = [&](const std::string& bytes) {
        RawConnection conn(f.port());
        std::thread sender([&] { conn.send(bytes); });
        auto r = conn.readResponse(false, 10s);
        sender.join();
        return r;
    };
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
    limits.maxConnectionsPerAddress = 5;
    limits.maxConnections = 12;
    limits.idleTimeout = 1s;
    ServerFixture f(limits);
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());

    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < 5; ++i) {
        held.push_back(std::make_unique<RawConnection>(f.port(), "127.0.4.1"));
    }
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 5; }));
    // The sixth from the same address is closed at once; another address is still served.
    RawConnection sixth(f.port(), "127.0.4.1");
    EXPECT_TRUE(sixth.waitForClose(2s));
    EXPECT_EQ(httpGet(f.port(), "/index.html", {}, "GET", "127.0.4.2")->body, "ok");

    for (int i = 0; i < 7; ++i) {
        held.push_back(std::make_unique<RawConnection>(f.port(), loopback(4, 3, 1 + i)));
    }
    ASSERT_TRUE(waitFor([&] { return f.server->connectionCount() == 12; }));
    RawConnection over(f.port(), "127.0.4.20");
    EXPECT_TRUE(over.waitForClose(2s));

    // Connections that send nothing are closed after the idle time-out, and so is a
    // keep-alive connection after its last request.
    EXPECT_TRUE(waitFor([&] { return f.server->connectionCount() == 0; }, 4s));
    RawConnection keep(f.port());
    keep.send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(keep.readResponse());
    auto start = Clock::now();
    EXPECT_TRUE(keep.waitForClose(4s));
    EXPECT_GE(Clock::now() - start, 800ms);
}

TEST(HttpRobustness, StopClosesOpenConnections)
{
    ServerFixture f;
    f.root.write("index.html", "ok");
    ASSERT_TRUE(f.start());
    RawConnection keep(f.port());
    keep.send("GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_TRUE(keep.readResponse());
    RawConnection idle(f.port());
    f.server->btnStartServerClick();
    EXPECT_FALSE(f.server->running());
    EXPECT_TRUE(keep.waitForClose(2s));
    EXPECT_TRUE(idle.waitForClose(2s));
}
