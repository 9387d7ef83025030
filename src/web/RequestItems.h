#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelon {

// What the request handler uses of one HTTP request.
struct RequestItems {
    std::string command;                 // "GET", "HEAD" or "POST"
    std::string document;                // decoded path without the query, starting with "/"
    std::string query;                   // raw text after "?", empty when there is none
    std::vector<std::string> formFields; // "name=value" strings, decoded
    std::string userName;                // from "Authorization: Basic", empty without it
    std::string password;
    std::string clientAddress; // dotted IPv4
    uint16_t clientPort = 0;
};

// The raw parts of a request as the HTTP layer reads them.
struct RawRequest {
    std::string_view method;
    std::string_view target;
    std::string_view contentType;
    std::string_view authorization;
    std::string_view body;
    std::string_view clientAddress;
    uint16_t clientPort = 0;
};

RequestItems makeRequestItems(const RawRequest& raw);

// "+" becomes a blank and "%" with two hex digits becomes that byte; an escape for byte 0, or
// one whose digits are missing or not hexadecimal, is dropped.
std::string decodeUrlText(std::string_view text);

// Splits the request target into the (still encoded) path and the raw query. An absolute
// target ("http://host/path") loses its scheme and host; a path always starts with "/".
void splitTarget(std::string_view target, std::string_view& path, std::string_view& query);

// The text the form fields come from: for an urlencoded body, the body followed by CR LF and
// the query when there is one; otherwise the query alone.
std::string formSource(std::string_view contentType, std::string_view body, std::string_view query);

// Splits at "&" and decodes each piece; an empty source gives no fields.
std::vector<std::string> splitFormFields(std::string_view source);

// User name and password of a Basic authorization header; both empty when it is absent or
// not Basic, or the credentials do not decode.
void parseBasicAuthorization(std::string_view header, std::string& userName, std::string& password);

} // namespace kestrelon
