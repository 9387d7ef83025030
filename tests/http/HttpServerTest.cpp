// The HTTP layer with handlers of its own: what a handler sees of a request, steps on the worker
// pool, failures, and a connection taken over after its header.
#include "http/HttpServer.h"
#include "http/HttpHandler.h"
#include "support/RawHttpClient.h"
#include "support/ServerFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>

#include <future>
#include <mutex>
#include <stdexcept>
#include <vector>

using namespace kestrelon;
using namespace kestrelon::test;
using namespace std::chrono_literals;

namespace {

// A handler driven by the test: each request goes to `respond`, which runs on an I/O thread.
class TestHandler : public HttpHandler {
public:
    std::function<HttpAnswer(const HttpRequest&)> respond;

    std::function<void(const Reply::Sent&, std::string_view clientAddress)> onSent;

    HttpAnswer handle(const HttpRequest& request) override { return respond(request); }
    void sent(const Reply::Sent& sent, std::string_view clientAddress, uint16_t) noexcept override
    {
        if (onSent) {
            onSent(sent, clientAddress);
        }
    }
    void connectionError(std::string_view what) noexcept override
    {
        std::lock_guard lock(m_mutex);
        m_errors.emplace_back(what);
    }
    std::vector<std::string> errors() const
    {
        std::lock_guard lock(m_mutex);
        return m_errors;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_errors;
};

Reply textReply(std::string body)
{
    Reply reply;
    reply.contentType = "text/plain";
    reply.body = std::move(body);
    return reply;
}

class HttpServerTest : public ::testing::Test {
protected:
    HttpServerTest()
    {
        HttpServerLimits limits = ServerFixture::testLimits();
        limits.ioThreads = 1; // a handler that blocked its I/O thread would hold up every request
        server = std::make_unique<HttpServer>(handler, limits);
    }
    void start() { ASSERT_TRUE(server->start("127.0.0.1", 0).ok()); }
    std::string request(const std::string& target, const std::string& headers = {})
    {
        return "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n";
    }

    TestHandler handler;
    std::unique_ptr<HttpServer> server;
};

} // namespace

TEST_F(HttpServerTest, TheHandlerSeesTheRequestAndItsReplyGoesOut)
{
    std::promise<void> sent;
    handler.onSent = [&](const Reply::Sent& note, std::string_view clientAddress) {
        if (note.file == "posted" && note.bytes == 3 && clientAddress == "127.0.0.1") {
            sent.set_value();
        }
    };
    handler.respond = [&](const HttpRequest& rq) {
        Reply reply = textReply(std::string(rq.method) + " " + std::string(rq.target) + " [" +
                                std::string(rq.body) + "] accept=" + std::string(rq.field("accept")) +
                                " none=" + std::string(rq.field("X-Absent")) + " from " +
                                std::string(rq.clientAddress));
        reply.fields.emplace_back("Cache-Control", "no-cache\r\nInjected: 1");
        if (rq.method == "POST") {
            reply.sent = {"posted", 3};
        }
        return reply;
    };
    start();
    RawConnection c(server->port());
    ASSERT_TRUE(
        c.send("POST /a%20b?q=1 HTTP/1.1\r\nHost: x\r\nACCEPT: text/html\r\nContent-Length: 3\r\n\r\nxyz" +
               request("/second")));
    auto first = c.readResponse();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->body, "POST /a%20b?q=1 [xyz] accept=text/html none= from 127.0.0.1");
    EXPECT_EQ(first->header("content-type"), "text/plain");
    // A line break in a field's value cannot add a field of its own.
    EXPECT_EQ(first->header("cache-control"), "no-cache  Injected: 1");
    EXPECT_EQ(first->header("injected"), "");
    EXPECT_EQ(sent.get_future().wait_for(5s), std::future_status::ready);
    // The pipelined request behind it, on the same connection.
    auto second = c.readResponse();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->body, "GET /second [] accept= none= from 127.0.0.1");
}

TEST_F(HttpServerTest, StepsThatMayBlockRunOnTheWorkerPoolAndFailuresAre500)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    handler.respond = [&](const HttpRequest& rq) -> HttpAnswer {
        if (rq.target == "/slow") {
            return HttpAnswer::onWorkerPool([released] {
                released.wait();
                return textReply("slow");
            });
        }
        if (rq.target == "/throw") {
            throw std::runtime_error("handler broke");
        }
        if (rq.target == "/step-throws") {
            return HttpAnswer::onWorkerPool([]() -> Reply { throw std::runtime_error("step broke"); });
        }
        return textReply("fast");
    };
    start();
    RawConnection slow(server->port());
    ASSERT_TRUE(slow.send(request("/slow")));
    // The single I/O thread answers others while the slow step waits on the pool.
    auto fast = httpGet(server->port(), "/fast");
    ASSERT_TRUE(fast);
    EXPECT_EQ(fast->body, "fast");
    release.set_value();
    auto late = slow.readResponse();
    ASSERT_TRUE(late);
    EXPECT_EQ(late->body, "slow");

    for (const char* target : {"/throw", "/step-throws"}) {
        auto failed = httpGet(server->port(), target);
        ASSERT_TRUE(failed) << target;
        EXPECT_EQ(failed->status, 500) << target;
        EXPECT_EQ(failed->body, errorPage("Internal Server Error"));
    }
    EXPECT_EQ(handler.errors(), (std::vector<std::string>{"handler broke", "step broke"}));
    EXPECT_EQ(httpGet(server->port(), "/fast")->body, "fast");
}

TEST_F(HttpServerTest, AHandlerTakesTheConnectionOverAfterTheHeader)
{
    std::promise<FileHandle> handed;
    handler.respond = [&](const HttpRequest&) {
        Reply reply;
        reply.contentType = "video/webm";
        reply.fields.emplace_back("Cache-Control", "no-cache");
        reply.takeOver = [&](FileHandle socket) { handed.set_value(std::move(socket)); };
        return reply;
    };
    start();
    // HEAD gets the header alone and keeps its connection; nothing is handed over.
    RawConnection head(server->port());
    ASSERT_TRUE(head.send("HEAD / HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto headReply = head.readResponse(/*headOnly=*/true);
    ASSERT_TRUE(headReply);
    EXPECT_EQ(headReply->header("content-type"), "video/webm");
    EXPECT_EQ(headReply->raw.find("Content-Length"), std::string::npos) << headReply->raw;

    RawConnection viewer(server->port());
    ASSERT_TRUE(viewer.send(request("/stream")));
    auto future = handed.get_future();
    ASSERT_EQ(future.wait_for(5s), std::future_status::ready);
    FileHandle socket = future.get();
    ASSERT_TRUE(socket);
    EXPECT_EQ(::fcntl(socket.get(), F_GETFL) & O_NONBLOCK, 0);
    ASSERT_EQ(::send(socket.get(), "DATA", 4, MSG_NOSIGNAL), 4);
    // The connection is no longer the server's: it does not count, and a stop leaves it open.
    EXPECT_TRUE(waitFor([&] { return server->connectionCount() == 1; })); // the HEAD connection
    server->stop();
    ASSERT_EQ(::send(socket.get(), "MORE", 4, MSG_NOSIGNAL), 4);
    socket.reset();
    auto stream = viewer.readResponse();
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->status, 200);
    EXPECT_EQ(stream->header("content-type"), "video/webm");
    EXPECT_EQ(stream->header("cache-control"), "no-cache");
    EXPECT_EQ(stream->header("connection"), "close");
    EXPECT_EQ(stream->header("content-length"), "");
    EXPECT_EQ(stream->body, "DATAMORE");
    EXPECT_TRUE(handler.errors().empty());
}
