#include "streaming/TestPatternFeed.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <mutex>

namespace kestrelon {

// What the bus's thread hands to the main thread: the first failure, once.
struct FeedReport {
    std::mutex mutex;
    QString firstError;
    bool reported = false; // the failure was told (or start() answered it)
    StreamFeed::Failed failed;
};

namespace {

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data)
{
    const auto type = GST_MESSAGE_TYPE(message);
    if (type != GST_MESSAGE_ERROR && type != GST_MESSAGE_EOS) {
        return GST_BUS_DROP;
    }
    QString text = QStringLiteral("The video source has ended");
    if (type == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        text = QString::fromUtf8(error ? error->message : "Unknown error");
        g_clear_error(&error);
    }
    auto weak = *static_cast<std::weak_ptr<FeedReport>*>(data);
    auto report = weak.lock();
    if (!report) {
        return GST_BUS_DROP;
    }
    {
        std::lock_guard lock(report->mutex);
        if (!report->firstError.isEmpty()) {
            return GST_BUS_DROP;
        }
        report->firstError = text;
    }
    // The main thread tells the owner, unless the feed has gone or start() answered already.
    if (auto* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app,
            [weak, text] {
                auto report = weak.lock();
                if (!report || report->reported) {
                    return;
                }
                report->reported = true;
                if (report->failed) {
                    report->failed(text);
                }
            },
            Qt::QueuedConnection);
    }
    return GST_BUS_DROP;
}

GstElement* make(const char* factory, QString& error)
{
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (!element && error.isEmpty()) {
        error = QStringLiteral("no element \"%1\"").arg(QString::fromLatin1(factory));
    }
    return element;
}

} // namespace

TestPatternFeed::TestPatternFeed(int frames) : m_frames(frames), m_report(std::make_shared<FeedReport>()) {}

TestPatternFeed::~TestPatternFeed()
{
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
}

bool TestPatternFeed::start(GstElement* bin, Failed failed, QString& error)
{
    gst_object_ref_sink(bin);
    m_report->failed = std::move(failed);
    error.clear();
    m_pipeline = gst_pipeline_new("test-pattern");
    GstElement* source = make("videotestsrc", error);
    GstElement* caps = make("capsfilter", error);
    GstElement* clock = make("clockoverlay", error);
    GstElement* queue = make("queue", error);
    if (!source || !caps || !clock || !queue) {
        for (GstElement* e : {source, caps, clock, queue}) {
            if (e) {
                gst_object_unref(gst_object_ref_sink(e));
            }
        }
        gst_object_unref(bin);
        return false;
    }
    g_object_set(source, "is-live", TRUE, "num-buffers", m_frames, nullptr);
    GstCaps* size = gst_caps_from_string("video/x-raw,width=640,height=480,framerate=30/1");
    g_object_set(caps, "caps", size, nullptr);
    gst_caps_unref(size);
    // A picture the encoder cannot keep up with is dropped here, not queued.
    gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
    g_object_set(queue, "max-size-buffers", 1u, "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);

    gst_bin_add_many(GST_BIN(m_pipeline), source, caps, clock, queue, bin, nullptr);
    gst_object_unref(bin); // the pipeline holds it now
    if (!gst_element_link_many(source, caps, clock, queue, bin, nullptr)) {
        error = QStringLiteral("The test pattern cannot be linked to the encoder");
        return false;
    }
    GstBus* bus = gst_element_get_bus(m_pipeline);
    gst_bus_set_sync_handler(bus, onBusMessage, new std::weak_ptr<FeedReport>(m_report),
                             [](gpointer data) { delete static_cast<std::weak_ptr<FeedReport>*>(data); });
    gst_object_unref(bus);

    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::lock_guard lock(m_report->mutex);
        error = m_report->firstError.isEmpty() ? QStringLiteral("The test pattern cannot start")
                                               : m_report->firstError;
        m_report->reported = true;
        return false;
    }
    return true;
}

} // namespace kestrelon
