#include "streaming/StreamPipeline.h"

#include "streaming/StreamEncoderBin.h"
#include "streaming/StreamFeed.h"

#include <mutex>

namespace kestrelon {

bool initStreamLibrary(QString& error)
{
    static std::once_flag once;
    static QString failure;
    std::call_once(once, [] {
        GError* e = nullptr;
        if (!gst_init_check(nullptr, nullptr, &e)) {
            failure = QString::fromUtf8(e ? e->message : "GStreamer cannot be initialised");
            g_clear_error(&e);
        }
    });
    error = failure;
    return failure.isEmpty();
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
