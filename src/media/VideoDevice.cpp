#include "media/VideoDevice.h"

#include "media/MediaLibrary.h"
#include "media/VideoSource.h"

namespace kestrelon {

namespace {

// A live picture that changes: colour bars with the clock in the top right corner, clear of the
// snapshot's own captions at the bottom. I420 so that the source draws the cheap way.
constexpr const char* kTestPatternDescription =
    "videotestsrc is-live=true pattern=smpte ! "
    "video/x-raw,format=I420,width=640,height=480,framerate=30/1 ! "
    "clockoverlay time-format=\"%H:%M:%S\" halignment=right valignment=top shaded-background=true "
    "font-desc=\"Sans 18\"";

} // namespace

VideoDevice::Source::~Source()
{
    if (device) {
        gst_object_unref(device);
    }
}

GstElement* VideoDevice::Source::createElement(QString& error) const
{
    std::string initError;
    if (!initMediaLibrary(&initError)) {
        error = QString::fromStdString(initError);
        return nullptr;
    }
    if (device) {
        GstElement* element = gst_device_create_element(device, nullptr);
        if (!element) {
            error = QStringLiteral("the device offers no source element");
        }
        return element;
    }
    GError* gerror = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &gerror);
    if (gerror) {
        error = QString::fromUtf8(gerror->message);
        g_error_free(gerror);
        if (bin) {
            gst_object_unref(gst_object_ref_sink(bin));
        }
        return nullptr;
    }
    if (!bin) {
        error = QStringLiteral("the source could not be built");
    }
    return bin;
}

VideoDevice VideoDevice::testPattern()
{
    auto source = std::make_shared<Source>();
    source->name = QString::fromLatin1(kTestPatternName);
    source->description = kTestPatternDescription;
    source->testPattern = true;
    return VideoDevice(std::move(source));
}

VideoDevice VideoDevice::fromDescription(const QString& name, const std::string& sourceDescription)
{
    auto source = std::make_shared<Source>();
    source->name = name;
    source->description = sourceDescription;
    return VideoDevice(std::move(source));
}

QString VideoDevice::name() const
{
    return m_source ? m_source->name : QString();
}

bool VideoDevice::isTestPattern() const
{
    return m_source && m_source->testPattern;
}

std::vector<VideoDevice> enumerateVideoDevices()
{
    std::vector<VideoDevice> devices;
    if (initMediaLibrary()) {
        GstDeviceMonitor* monitor = gst_device_monitor_new();
        gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
        // Not started: asking a stopped monitor probes the hardware once, which is all we need.
        GList* found = gst_device_monitor_get_devices(monitor);
        for (GList* item = found; item; item = item->next) {
            auto* device = GST_DEVICE(item->data);
            gchar* name = gst_device_get_display_name(device);
            if (name && *name) {
                auto source = std::make_shared<VideoDevice::Source>();
                source->name = QString::fromUtf8(name);
                source->device = GST_DEVICE(gst_object_ref(device));
                devices.push_back(VideoDevice(std::move(source)));
            }
            g_free(name);
        }
        g_list_free_full(found, gst_object_unref);
        gst_object_unref(monitor);
    }
    devices.push_back(VideoDevice::testPattern());
    return devices;
}

} // namespace kestrelon
