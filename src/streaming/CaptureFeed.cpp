#include "streaming/CaptureFeed.h"

#include "media/CaptureBranch.h"
#include "media/VideoCaptures.h"
#include "streaming/StreamFeed.h"

namespace kestrelon {

namespace {

// How long a start may wait for the device to open; the window waits with it, as it does for the
// test pattern's own pipeline.
constexpr std::chrono::milliseconds kStartWait{5000};

class CaptureFeed : public StreamFeed {
public:
    explicit CaptureFeed(Capture& capture) : m_capture(capture) {}

    bool start(GstElement* bin, Failed failed, QString& error) override
    {
        // The branch starts the capture when nothing else runs it; it ends when the capture
        // stops or fails, or when the bin fails.
        m_branch = std::make_unique<CaptureBranch>(m_capture, bin,
                                                   [failed = std::move(failed)](const QString& reason) {
                                                       if (failed) {
                                                           failed(reason);
                                                       }
                                                   });
        // The socket sink takes viewers only once it runs, and they come right after this.
        if (!m_branch->waitUntilRunning(kStartWait, error)) {
            m_branch.reset();
            return false;
        }
        return true;
    }

private:
    Capture& m_capture;
    std::unique_ptr<CaptureBranch> m_branch;
};

} // namespace

std::unique_ptr<StreamFeed> openCaptureFeed(VideoCaptures& captures, int position, QString& error)
{
    Capture* capture = captures.capture(position);
    if (!capture) {
        error = noVideoSourceText(position);
        return nullptr;
    }
    return std::make_unique<CaptureFeed>(*capture);
}

std::function<std::unique_ptr<StreamFeed>(int, QString&)> captureFeedFactory(VideoCaptures& captures)
{
    return [&captures](int position, QString& error) { return openCaptureFeed(captures, position, error); };
}

QString noVideoSourceText(int position)
{
    return position < 0 ? QStringLiteral("No video source is selected")
                        : QStringLiteral("There is no video source at position %1").arg(position);
}

} // namespace kestrelon
