#include "streaming/StreamEncoderBin.h"

#include "streaming/StreamViewers.h"
#include "streaming/WebmTitle.h"

#include <gio/gio.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace kestrelon {

namespace {

constexpr const char* kViewerIdKey = "kestrelon-viewer-id";

using WeakViewers = std::weak_ptr<StreamViewers>;

uint64_t viewerId(GSocket* socket)
{
    return uint64_t(reinterpret_cast<uintptr_t>(g_object_get_data(G_OBJECT(socket), kViewerIdKey)));
}

// client-added and client-removed: the sink's threads, the second under the sink's lock.
void onClientAdded(GstElement*, GSocket* socket, gpointer data)
{
    if (auto viewers = static_cast<WeakViewers*>(data)->lock()) {
        viewers->added(viewerId(socket));
    }
}

void onClientRemoved(GstElement*, GSocket* socket, gint, gpointer data)
{
    if (auto viewers = static_cast<WeakViewers*>(data)->lock()) {
        viewers->removed(viewerId(socket));
    }
}

void deleteWeakViewers(gpointer data, GClosure*)
{
    delete static_cast<WeakViewers*>(data);
}

// Hands one socket to the sink. The GSocket owns fd from here on and closes it when the sink
// lets it go.
bool deliver(GstElement* sink, int fd, uint64_t id)
{
    GError* error = nullptr;
    GSocket* socket = g_socket_new_from_fd(fd, &error);
    if (!socket) {
        g_clear_error(&error);
        ::close(fd);
        return false;
    }
    const int sendBuffer = kViewerSendBuffer;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    g_object_set_data(G_OBJECT(socket), kViewerIdKey, reinterpret_cast<gpointer>(uintptr_t(id)));
    g_signal_emit_by_name(sink, "add", socket);
    g_object_unref(socket);
    return true;
}

struct TitleFix {
    std::string standIn;
    std::string title;
};

// A copy of buffer with the title written in, or null when the stand-in is not in it.
GstBuffer* withTitle(GstBuffer* buffer, const TitleFix& fix)
{
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        return nullptr;
    }
    std::vector<uint8_t> bytes(map.data, map.data + map.size);
    gst_buffer_unmap(buffer, &map);
    if (!replaceTitleStandIn(bytes.data(), bytes.size(), fix.standIn, fix.title)) {
        return nullptr;
    }
    GstBuffer* copy = gst_buffer_new_memdup(bytes.data(), bytes.size());
    gst_buffer_copy_into(copy, buffer, GstBufferCopyFlags(GST_BUFFER_COPY_FLAGS | GST_BUFFER_COPY_TIMESTAMPS),
                         0, gsize(-1));
    return copy;
}

// The muxer's header reaches the viewers twice: as header buffers and as the streamheader of
// the caps, which the socket sink sends to every viewer that joins. Both get the plain title.
GstPadProbeReturn fixTitle(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    const auto& fix = *static_cast<TitleFix*>(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_HEADER)) {
            if (GstBuffer* fixed = withTitle(buffer, fix)) {
                gst_buffer_unref(buffer);
                GST_PAD_PROBE_INFO_DATA(info) = fixed;
            }
        }
        return GST_PAD_PROBE_OK;
    }
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps* caps = nullptr;
    gst_event_parse_caps(event, &caps);
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const GValue* headers = s ? gst_structure_get_value(s, "streamheader") : nullptr;
    if (!headers || !GST_VALUE_HOLDS_ARRAY(headers)) {
        return GST_PAD_PROBE_OK;
    }
    GValue array = G_VALUE_INIT;
    g_value_init(&array, GST_TYPE_ARRAY);
    bool changed = false;
    for (guint i = 0; i < gst_value_array_get_size(headers); ++i) {
        const GValue* item = gst_value_array_get_value(headers, i);
        GstBuffer* buffer = gst_value_get_buffer(item);
        GstBuffer* fixed = buffer ? withTitle(buffer, fix) : nullptr;
        GValue value = G_VALUE_INIT;
        g_value_init(&value, GST_TYPE_BUFFER);
        gst_value_set_buffer(&value, fixed ? fixed : buffer);
        if (fixed) {
            gst_buffer_unref(fixed);
            changed = true;
        }
        gst_value_array_append_and_take_value(&array, &value);
    }
    if (changed) {
        GstCaps* newCaps = gst_caps_copy(caps);
        gst_structure_take_value(gst_caps_get_structure(newCaps, 0), "streamheader", &array);
        gst_event_unref(event);
        GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_caps(newCaps);
        gst_caps_unref(newCaps);
    } else {
        g_value_unset(&array);
    }
    return GST_PAD_PROBE_OK;
}

} // namespace

StreamBin createStreamBin(const StreamProfile& profile, const std::string& utf8Title,
                          const std::shared_ptr<StreamViewers>& viewers)
{
    StreamBin result;
    struct Part {
        const char* factory;
        GstElement* element = nullptr;
    };
    Part parts[] = {{"deinterlace"}, {"videorate"}, {"videoscale"}, {"videoconvert"},
                    {"capsfilter"},  {"vp8enc"},    {"webmmux"},    {"multisocketsink"}};
    bool complete = true;
    for (Part& part : parts) {
        part.element = gst_element_factory_make(part.factory, nullptr);
        if (!part.element && complete) {
            complete = false;
            result.error = QStringLiteral("no element \"%1\"").arg(QString::fromLatin1(part.factory));
            result.deinterlaceFailed = &part == &parts[0];
        }
    }
    if (!complete) {
        for (Part& part : parts) {
            if (part.element) {
                gst_object_unref(gst_object_ref_sink(part.element));
            }
        }
        return result;
    }
    GstElement* deinterlace = parts[0].element;
    GstElement* scale = parts[2].element;
    GstElement* caps = parts[4].element;
    GstElement* encoder = parts[5].element;
    GstElement* muxer = parts[6].element;
    GstElement* sink = parts[7].element;

    // Only an interlaced picture is worked on; a progressive one passes as it is.
    gst_util_set_object_arg(G_OBJECT(deinterlace), "mode", "auto");
    g_object_set(scale, "add-borders", FALSE, nullptr);
    GstCaps* size = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT,
                                        profile.width, "height", G_TYPE_INT, profile.height, "framerate",
                                        GST_TYPE_FRACTION, profile.frameRate, 1, "pixel-aspect-ratio",
                                        GST_TYPE_FRACTION, 1, 1, nullptr);
    g_object_set(caps, "caps", size, nullptr);
    gst_caps_unref(size);

    gst_util_set_object_arg(G_OBJECT(encoder), "end-usage", "cbr");
    g_object_set(encoder, "deadline", gint64(1), "target-bitrate", profile.bitrate, "keyframe-max-dist",
                 profile.keyframeDistance, "min-quantizer", profile.minQuantizer, "max-quantizer", 63,
                 nullptr);

    g_object_set(muxer, "streamable", TRUE, nullptr);
    if (!utf8Title.empty()) {
        auto* fix = new TitleFix{titleStandIn(utf8Title), utf8Title};
        gst_tag_setter_add_tags(GST_TAG_SETTER(muxer), GST_TAG_MERGE_REPLACE, GST_TAG_TITLE,
                                fix->standIn.c_str(), nullptr);
        GstPad* pad = gst_element_get_static_pad(muxer, "src");
        gst_pad_add_probe(pad,
                          GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                          fixTitle, fix, [](gpointer data) { delete static_cast<TitleFix*>(data); });
        gst_object_unref(pad);
    }

    // Sent as soon as encoded, never waiting on the clock; the sink never holds up the pipeline.
    g_object_set(sink, "sync", FALSE, "async", FALSE, "qos", FALSE, "timeout", kViewerTimeout,
                 "units-soft-max", kViewerSoftLag, "units-max", kViewerHardLag, nullptr);
    gst_util_set_object_arg(G_OBJECT(sink), "unit-format", "time");
    gst_util_set_object_arg(G_OBJECT(sink), "sync-method", "latest-keyframe");
    gst_util_set_object_arg(G_OBJECT(sink), "recover-policy", "keyframe");
    g_signal_connect_data(sink, "client-added", G_CALLBACK(onClientAdded), new WeakViewers(viewers),
                          deleteWeakViewers, GConnectFlags(0));
    g_signal_connect_data(sink, "client-removed", G_CALLBACK(onClientRemoved), new WeakViewers(viewers),
                          deleteWeakViewers, GConnectFlags(0));

    GstElement* bin = gst_bin_new("stream");
    for (Part& part : parts) {
        gst_bin_add(GST_BIN(bin), part.element);
    }
    for (size_t i = 0; i + 1 < std::size(parts); ++i) {
        if (!gst_element_link(parts[i].element, parts[i + 1].element)) {
            result.error =
                QStringLiteral("Unable to link %1 to %2")
                    .arg(QString::fromLatin1(parts[i].factory), QString::fromLatin1(parts[i + 1].factory));
            gst_object_unref(gst_object_ref_sink(bin));
            return result;
        }
    }
    GstPad* input = gst_element_get_static_pad(deinterlace, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", input));
    gst_object_unref(input);

    // The hand-over holds the sink for as long as the viewers' book is open.
    gst_object_ref(sink);
    std::shared_ptr<GstElement> held(sink, [](GstElement* e) { gst_object_unref(e); });
    result.deliver = [held](int fd, uint64_t id) { return deliver(held.get(), fd, id); };
    result.bin = bin;
    return result;
}

} // namespace kestrelon
