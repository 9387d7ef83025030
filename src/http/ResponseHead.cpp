#include "http/ResponseHead.h"

#include <ostream> // Beast's status header needs it whole

#include <boost/beast/http/status.hpp>

#include <charconv>

namespace kestrelon {

namespace {

const std::string_view kServerName = "Kestrelon";

void appendClean(std::string& out, std::string_view text)
{
    const size_t at = out.size();
    out.append(text);
    for (size_t i = at; i < out.size(); ++i) {
        if (out[i] == '\r' || out[i] == '\n') {
            out[i] = ' ';
        }
    }
}

void appendField(std::string& out, std::string_view name, std::string_view value)
{
    out.append(name).append(": ");
    appendClean(out, value);
    out.append("\r\n");
}

void appendNumber(std::string& out, uint64_t value)
{
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<size_t>(end - digits));
}

} // namespace

void appendResponseHead(std::string& out, const ResponseHead& head)
{
    namespace http = boost::beast::http;
    out.append("HTTP/");
    out.push_back(static_cast<char>('0' + head.version / 10 % 10));
    out.push_back('.');
    out.push_back(static_cast<char>('0' + head.version % 10));
    out.push_back(' ');
    appendNumber(out, head.status);
    out.push_back(' ');
    if (!head.reason.empty()) {
        out.append(head.reason);
    } else {
        const auto reason = http::obsolete_reason(http::int_to_status(head.status));
        out.append(reason.data(), reason.size());
    }
    out.append("\r\n");
    appendField(out, "Server", kServerName);
    if (head.contentType) {
        appendField(out, "Content-Type", *head.contentType);
    }
    if (!head.location.empty()) {
        appendField(out, "Location", head.location);
    }
    if (!head.realm.empty()) {
        out.append("WWW-Authenticate: Basic realm=\"");
        appendClean(out, head.realm);
        out.append("\"\r\n");
    }
    if (head.fields) {
        for (const auto& [name, value] : *head.fields) {
            appendClean(out, name);
            out.append(": ");
            appendClean(out, value);
            out.append("\r\n");
        }
    }
    // HTTP/1.1 keeps the connection unless told; HTTP/1.0 closes it unless told.
    if (head.version >= 11 && !head.keepAlive) {
        out.append("Connection: close\r\n");
    } else if (head.version < 11 && head.keepAlive) {
        out.append("Connection: keep-alive\r\n");
    }
    if (head.contentLength) {
        out.append("Content-Length: ");
        appendNumber(out, *head.contentLength);
        out.append("\r\n");
    }
    out.append("\r\n");
}

} // namespace kestrelon
