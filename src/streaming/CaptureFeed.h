#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace kestrelon {

class StreamFeed;
class VideoCaptures;

// The stream's pictures from the shared capture of the source at position in the list: the
// encoding bin becomes a branch of that capture, so the snapshots and the preview go on while it
// streams, and the device opens once. Null with the reason when there is no such source. Main
// thread; the feed must go before captures does.
std::unique_ptr<StreamFeed> openCaptureFeed(VideoCaptures& captures, int position, QString& error);
// openCaptureFeed on captures, as the Video page opens its sources.
std::function<std::unique_ptr<StreamFeed>(int position, QString& error)>
captureFeedFactory(VideoCaptures& captures);
// Why nothing can be opened at position: none is selected (-1) or the list has no such entry.
// Any thread.
QString noVideoSourceText(int position);

} // namespace kestrelon
