// libFuzzer target: request decoding and form-field splitting.
// Input: method, target, content type, authorization and body, separated by newlines.
#include "web/FileResolution.h"
#include "web/RequestItems.h"

#include <cstdlib>
#include <string>
#include <string_view>

using namespace kestrelon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view parts[5];
    for (auto& part : parts) {
        size_t nl = input.find('\n');
        part = input.substr(0, nl);
        input = nl == std::string_view::npos ? std::string_view{} : input.substr(nl + 1);
    }
    RawRequest raw;
    raw.method = parts[0];
    raw.target = parts[1];
    raw.contentType = parts[2];
    raw.authorization = parts[3];
    raw.body = parts[4];
    raw.clientAddress = "127.0.0.1";
    RequestItems items = makeRequestItems(raw);

    if (items.document.empty() || items.document.front() != '/') {
        std::abort();
    }
    std::string decoded = decodeUrlText(parts[1]);
    if (decoded.size() > parts[1].size()) {
        std::abort();
    }
    std::string source = formSource(raw.contentType, raw.body, items.query);
    if (!source.empty()) {
        size_t amps = 0;
        for (char c : source) {
            amps += c == '&';
        }
        if (items.formFields.size() != amps + 1) {
            std::abort();
        }
    }
    // The normalised candidate never keeps "." or ".." segments and always is absolute.
    std::string path = normalisedPath("/srv/www" + items.document);
    if (path.front() != '/' || path.find("/../") != std::string::npos ||
        path.find("/./") != std::string::npos || path.find("//") != std::string::npos) {
        std::abort();
    }
    return 0;
}
