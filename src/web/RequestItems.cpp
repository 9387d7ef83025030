#include "web/RequestItems.h"

#include "core/Text.h"

#include <array>
#include <cctype>

namespace kestrelon {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool decodeBase64(std::string_view in, std::string& out)
{
    static const std::array<int8_t, 256> table = [] {
        std::array<int8_t, 256> t{};
        t.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) {
            t[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
        }
        return t;
    }();
    out.clear();
    uint32_t bits = 0;
    int count = 0;
    for (char c : in) {
        if (c == '=') {
            break;
        }
        int v = table[static_cast<unsigned char>(c)];
        if (v < 0) {
            return false;
        }
        bits = (bits << 6) | uint32_t(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return true;
}

} // namespace

std::string decodeUrlText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%') {
            int hi = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            int lo = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (hi >= 0 && lo >= 0) {
                int byte = hi * 16 + lo;
                if (byte != 0) {
                    out.push_back(static_cast<char>(byte));
                }
            }
            // A bad escape is dropped with the (at most two) characters that follow its "%".
            i += std::min<size_t>(2, text.size() - i - 1);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void splitTarget(std::string_view target, std::string_view& path, std::string_view& query)
{
    if (size_t q = target.find('?'); q != std::string_view::npos) {
        query = target.substr(q + 1);
        target = target.substr(0, q);
    } else {
        query = {};
    }
    if (size_t scheme = target.find("://"); scheme != std::string_view::npos && target.front() != '/') {
        size_t slash = target.find('/', scheme + 3);
        target = slash == std::string_view::npos ? std::string_view{} : target.substr(slash);
    }
    path = target;
}

std::string formSource(std::string_view contentType, std::string_view body, std::string_view query)
{
    std::string_view mediaType = contentType.substr(0, contentType.find(';'));
    if (equalsIgnoreCase(trimBlanks(mediaType), "application/x-www-form-urlencoded")) {
        std::string source(body);
        if (!query.empty()) {
            source.append("\r\n").append(query);
        }
        return source;
    }
    return std::string(query);
}

std::vector<std::string> splitFormFields(std::string_view source)
{
    std::vector<std::string> fields;
    if (source.empty()) {
        return fields;
    }
    size_t start = 0;
    while (true) {
        size_t amp = source.find('&', start);
        fields.push_back(decodeUrlText(source.substr(start, amp - start)));
        if (amp == std::string_view::npos) {
            break;
        }
        start = amp + 1;
    }
    return fields;
}

void parseBasicAuthorization(std::string_view header, std::string& userName, std::string& password)
{
    userName.clear();
    password.clear();
    header = trimBlanks(header);
    size_t blank = header.find(' ');
    if (blank == std::string_view::npos || !equalsIgnoreCase(header.substr(0, blank), "Basic")) {
        return;
    }
    std::string decoded;
    if (!decodeBase64(trimBlanks(header.substr(blank + 1)), decoded)) {
        return;
    }
    size_t colon = decoded.find(':');
    userName = decoded.substr(0, colon);
    if (colon != std::string::npos) {
        password = decoded.substr(colon + 1);
    }
}

RequestItems makeRequestItems(const RawRequest& raw)
{
    RequestItems items;
    items.command.assign(raw.method);
    for (char& c : items.command) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    std::string_view path, query;
    splitTarget(raw.target, path, query);
    items.document = decodeUrlText(path);
    if (items.document.empty() || items.document.front() != '/') {
        items.document.insert(items.document.begin(), '/');
    }
    items.query.assign(query);
    items.formFields = splitFormFields(formSource(raw.contentType, raw.body, query));
    parseBasicAuthorization(raw.authorization, items.userName, items.password);
    items.clientAddress = raw.clientAddress;
    items.clientPort = raw.clientPort;
    return items;
}

} // namespace kestrelon
