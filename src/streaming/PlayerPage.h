#pragma once

#include <string>
#include <string_view>

namespace kestrelon {

// What the viewer port answers. A browser that asks for "/" gets a small player page, which
// fetches the stream from the same port and feeds it to the video element through Media Source
// Extensions (a plain <video src> waits for about 32 KB before its first picture and never
// starts at the low rates). Players such as VLC or mpv, the page's own fetch and any other
// request get the stream itself.
enum class ViewerRequest { PlayerPage, Stream };

// target: the request target (path and query); accept: the Accept header's value, empty when
// there is none. The page goes to a request for "/" whose Accept lists text/html or
// application/xhtml+xml with a quality above 0. Any thread.
ViewerRequest classifyViewerRequest(std::string_view target, std::string_view accept);

inline constexpr const char* kStreamContentType = "video/webm";
inline constexpr const char* kPlayerPageContentType = "text/html; charset=utf-8";

// The player page, titled with the clip title (or the product name when it is empty). Any thread.
std::string playerPageHtml(std::string_view utf8Title);

} // namespace kestrelon
