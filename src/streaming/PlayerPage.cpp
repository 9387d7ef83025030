#include "streaming/PlayerPage.h"

#include "core/Text.h"

#include <cstdlib>

namespace kestrelon {

namespace {

// One media range of an Accept header: "text/html;level=1;q=0.9". True when it names an HTML
// type with a quality above 0.
bool acceptsHtml(std::string_view range)
{
    const size_t semicolon = range.find(';');
    const std::string_view type = trimBlanks(range.substr(0, semicolon));
    if (!equalsIgnoreCase(type, "text/html") && !equalsIgnoreCase(type, "application/xhtml+xml")) {
        return false;
    }
    std::string_view params =
        semicolon == std::string_view::npos ? std::string_view{} : range.substr(semicolon + 1);
    while (!params.empty()) {
        const size_t next = params.find(';');
        const std::string_view param = trimBlanks(params.substr(0, next));
        params = next == std::string_view::npos ? std::string_view{} : params.substr(next + 1);
        if (param.size() >= 2 && (param[0] == 'q' || param[0] == 'Q') && param[1] == '=') {
            const std::string value(trimBlanks(param.substr(2)));
            return std::strtod(value.c_str(), nullptr) > 0.0;
        }
    }
    return true;
}

void appendEscaped(std::string& out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

// The page. The stream's first time stamp is not 0 (it is the time the viewer joined), so the
// player starts where the buffered data begins, keeps within a few seconds of the live edge and
// lets go of what it has shown.
constexpr const char* kPageHead = R"(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)";

constexpr const char* kPageBody = R"(</title>
<style>
html, body { margin: 0; height: 100%; background: #000; }
body { display: flex; align-items: center; justify-content: center; }
video { max-width: 100%; max-height: 100%; }
#note { position: fixed; left: 0; right: 0; bottom: 0; color: #ccc; font: 14px sans-serif; padding: 6px; }
</style>
</head>
<body>
<video id="video" muted autoplay playsinline></video>
<div id="note"></div>
<script>
(function () {
  var type = 'video/webm; codecs="vp8"';
  var video = document.getElementById('video');
  var note = document.getElementById('note');
  function say(text) { note.textContent = text; }
  if (!window.MediaSource || !MediaSource.isTypeSupported(type)) {
    say('This browser cannot play the live stream here; open this address in a media player.');
    return;
  }
  var source = new MediaSource();
  video.src = URL.createObjectURL(source);
  source.addEventListener('sourceopen', function () {
    var buffer = source.addSourceBuffer(type);
    var queue = [];
    var started = false;
    function feed() {
      if (buffer.updating || queue.length === 0) return;
      try {
        buffer.appendBuffer(queue.shift());
      } catch (e) {
        // Full: let go of what has been shown and try again.
        queue.length = 0;
        if (video.currentTime > 2) buffer.remove(0, video.currentTime - 2);
      }
    }
    buffer.addEventListener('updateend', function () {
      var ranges = video.buffered;
      if (ranges.length > 0) {
        var start = ranges.start(0), end = ranges.end(ranges.length - 1);
        if (!started || video.currentTime < start || end - video.currentTime > 4) {
          started = true;
          video.currentTime = Math.max(start, end - 0.5);
          video.play().catch(function () {});
        }
        if (!buffer.updating && video.currentTime - start > 30) {
          buffer.remove(start, video.currentTime - 10);
          return;
        }
      }
      feed();
    });
    fetch('/', { cache: 'no-store', headers: { 'Accept': 'video/webm' } }).then(function (response) {
      if (!response.ok || !response.body) {
        say(response.status === 503 ? 'Too many viewers at the moment; try again later.' : 'The stream is not available.');
        return;
      }
      var reader = response.body.getReader();
      function next() {
        return reader.read().then(function (part) {
          if (part.done) { say('The stream has ended.'); return; }
          queue.push(part.value);
          feed();
          return next();
        });
      }
      return next();
    }).catch(function () { say('The stream is not available.'); });
  });
})();
</script>
</body>
</html>
)";

} // namespace

ViewerRequest classifyViewerRequest(std::string_view target, std::string_view accept)
{
    const std::string_view path = target.substr(0, target.find('?'));
    if (path != "/") {
        return ViewerRequest::Stream;
    }
    while (!accept.empty()) {
        const size_t comma = accept.find(',');
        if (acceptsHtml(accept.substr(0, comma))) {
            return ViewerRequest::PlayerPage;
        }
        accept = comma == std::string_view::npos ? std::string_view{} : accept.substr(comma + 1);
    }
    return ViewerRequest::Stream;
}

std::string playerPageHtml(std::string_view utf8Title)
{
    std::string page = kPageHead;
    appendEscaped(page, utf8Title.empty() ? std::string_view("Kestrelon") : utf8Title);
    page += kPageBody;
    return page;
}

} // namespace kestrelon
