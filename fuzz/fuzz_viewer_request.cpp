// libFuzzer target: the viewer port's choice between the player page and the stream, and the
// player page's title. Input: request target, NUL, Accept header, NUL, clip title.
// The page goes only to a request for "/" that asks for HTML; the title never leaves its element.
#include "FuzzCheck.h"
#include "streaming/PlayerPage.h"

#include <algorithm>
#include <cctype>
#include <string>

using namespace kestrelon;
using kestrelon::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto parts = kestrelon::fuzz::splitInput(data, size, 3);
    const std::string_view target = parts[0], accept = parts[1], title = parts[2];

    if (classifyViewerRequest(target, accept) == ViewerRequest::PlayerPage) {
        check(target.substr(0, target.find('?')) == "/");
        std::string lower(accept);
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        check(lower.find("html") != std::string::npos);
    }
    // A range the client refuses (q=0) adds nothing; one it accepts is enough.
    check(classifyViewerRequest("/", std::string(accept) + ",text/html;q=0") ==
          classifyViewerRequest("/", accept));
    check(classifyViewerRequest("/?x", std::string(accept) + ", TEXT/HTML") == ViewerRequest::PlayerPage);

    const std::string page = playerPageHtml(title);
    const size_t open = page.find("<title>");
    const size_t close = page.find("</title>");
    check(open != std::string::npos && close != std::string::npos && open < close);
    check(page.find("<title>", open + 1) == std::string::npos &&
          page.find("</title>", close + 1) == std::string::npos);
    const std::string_view shown = std::string_view(page).substr(open + 7, close - open - 7);
    check(shown.find_first_of("<>\"") == std::string_view::npos);
    check(title.empty() ? shown == "Kestrelon" : shown.size() >= title.size());
    return 0;
}
