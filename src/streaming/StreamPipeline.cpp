#include "streaming/StreamPipeline.h"

#include "media/MediaLibrary.h"
#include "streaming/StreamEncoderBin.h"
#include "streaming/StreamFeed.h"

#include <string>

namespace kestrelon {

bool initStreamLibrary(QString& error)
{
    std::string reason;
    const bool ok = initMediaLibrary(&reason);
    error = QString::fromStdString(reason);
    return ok;
}

StreamPipeline::StreamPipeline(StreamProfile profile, std::string utf8Title, int maxViewers)
    : m_profile(profile), m_title(std::move(utf8Title)),
      m_viewers(std::make_shared<StreamViewers>(maxViewers))
{
}

StreamPipeline::~StreamPipeline()
{
    stop();
}

StreamPipeline::Start StreamPipeline::start(std::unique_ptr<StreamFeed> feed, Failed failed, QString& error)
{
    stop();
    if (!initStreamLibrary(error)) {
        return Start::Failed;
    }
    StreamBin bin = createStreamBin(m_profile, m_title, m_viewers);
    if (!bin.bin) {
        error = bin.error;
        return bin.deinterlaceFailed ? Start::DeinterlaceFailed : Start::Failed;
    }
    if (!feed->start(bin.bin, std::move(failed), error)) {
        return Start::Failed;
    }
    m_feed = std::move(feed);
    m_viewers->open(std::move(bin.deliver));
    return Start::Started;
}

void StreamPipeline::stop()
{
    m_viewers->close();
    m_feed.reset();
}

} // namespace kestrelon
