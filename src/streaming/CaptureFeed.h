#pragma once

#include <QString>

#include <memory>

namespace kestrelon {

class StreamFeed;
class VideoCaptures;

// The stream's pictures from the shared capture of the source at position in the list: the
// encoding bin becomes a branch of that capture, so the snapshots and the preview go on while it
// streams, and the device opens once. Null with the reason when there is no such source. Main
// thread; the feed must go before captures does.
std::unique_ptr<StreamFeed> openCaptureFeed(VideoCaptures& captures, int position, QString& error);

} // namespace kestrelon
