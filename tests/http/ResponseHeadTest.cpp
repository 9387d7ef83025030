// The header block the server writes by hand, against Beast's serializer set up as a reply would
// be: the same bytes, field for field, for every kind of reply the server sends.
#include "http/ResponseHead.h"

#include <boost/beast/http.hpp>
#include <gtest/gtest.h>

namespace kestrelon {
namespace {

namespace http = boost::beast::http;

std::string beastHead(const ResponseHead& h)
{
    http::response<http::empty_body> res;
    res.version(h.version);
    res.result(h.status);
    if (!h.reason.empty()) {
        res.reason(std::string(h.reason));
    }
    res.set(http::field::server, "Kestrelon");
    if (h.contentType) {
        res.set(http::field::content_type, std::string(*h.contentType));
    }
    if (!h.location.empty()) {
        res.set(http::field::location, std::string(h.location));
    }
    if (!h.realm.empty()) {
        res.set(http::field::www_authenticate, "Basic realm=\"" + std::string(h.realm) + "\"");
    }
    if (h.fields) {
        for (const auto& [name, value] : *h.fields) {
            res.set(name, value);
        }
    }
    res.keep_alive(h.keepAlive);
    if (h.contentLength) {
        res.content_length(*h.contentLength);
    }
    http::response_serializer<http::empty_body> sr(res);
    std::string out;
    boost::system::error_code ec;
    while (!sr.is_header_done()) {
        size_t n = 0;
        sr.next(ec, [&](boost::system::error_code&, const auto& buffers) {
            for (auto b : boost::beast::buffers_range_ref(buffers)) {
                out.append(static_cast<const char*>(b.data()), b.size());
                n += b.size();
            }
        });
        sr.consume(n);
    }
    return out;
}

TEST(ResponseHead, MatchesBeastsHeaderForEveryKindOfReply)
{
    const std::vector<std::pair<std::string, std::string>> viewerFields{{"Cache-Control", "no-cache"},
                                                                        {"Allow", "GET, HEAD"}};
    for (unsigned version : {10u, 11u}) {
        for (bool keepAlive : {true, false}) {
            std::vector<ResponseHead> heads(6);
            heads[0].contentType = "text/html"; // a file
            heads[0].contentLength = 4096;
            heads[1].status = 204; // a port write: no type, no length
            heads[2].status = 302; // a feedback redirect with its page
            heads[2].reason = "Moved Temporarily";
            heads[2].contentType = "text/html";
            heads[2].location = "/thanks.html";
            heads[2].contentLength = 0;
            heads[3].status = 401;
            heads[3].contentType = "text/html";
            heads[3].realm = "Members";
            heads[3].contentLength = 120;
            heads[4].status = 503; // a refusal, and a viewer's stream header without a length
            heads[4].contentType = "text/html";
            heads[4].contentLength = 18446744073709551615ull;
            heads[5].contentType = "video/webm";
            heads[5].fields = &viewerFields;
            for (ResponseHead& h : heads) {
                h.version = version;
                h.keepAlive = keepAlive;
                std::string mine;
                appendResponseHead(mine, h);
                EXPECT_EQ(mine, beastHead(h)) << "status " << h.status << " version " << version;
            }
        }
    }
}

TEST(ResponseHead, LineBreaksInValuesCannotAddFields)
{
    const std::vector<std::pair<std::string, std::string>> fields{{"X-A\r\nX-B", "1\r\nInjected: 2"}};
    ResponseHead h;
    h.contentType = "text/html\r\nSet-Cookie: a=b";
    h.location = "/x\n\rEvil: 1";
    h.realm = "r\"\r\nEvil: 2";
    h.fields = &fields;
    std::string out;
    appendResponseHead(out, h);
    EXPECT_EQ(out, "HTTP/1.1 200 OK\r\nServer: Kestrelon\r\nContent-Type: text/html  Set-Cookie: a=b\r\n"
                   "Location: /x  Evil: 1\r\nWWW-Authenticate: Basic realm=\"r\"  Evil: 2\"\r\n"
                   "X-A  X-B: 1  Injected: 2\r\n\r\n");
}

} // namespace
} // namespace kestrelon
