#include "media/Capture.h"

#include "media/CaptureBranch.h"
#include "media/MediaLibrary.h"
#include "media/PipelineWorker.h"
#include "media/SampleFrame.h"
#include "media/VideoSource.h"

#include <gst/app/gstappsink.h>
#include <gst/video/colorbalance.h>

#include <QMetaObject>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace kestrelon {

namespace {

const QString kStopped = QStringLiteral("Camera stopped: ");
const QString kNotStarted = QStringLiteral("Camera could not start: ");
const QString kStoppedPlain = QStringLiteral("Camera stopped");
const QString kEnded = QStringLiteral("the device's picture stream ended");
const QString kRefused = QStringLiteral("the device refused to start");

// One buffer, the older one thrown away when a new one comes: whatever sits behind never makes the
// tee wait.
void makeLeaky(GstElement* queue)
{
    g_object_set(queue, "max-size-buffers", 1u, "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);
    gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
}

GstElement* addElement(GstBin* bin, const char* factory, QString& error)
{
    GstElement* element = gst_element_factory_make(factory, nullptr);
    if (!element) {
        error = QStringLiteral("the GStreamer element \"%1\" is missing").arg(QString::fromLatin1(factory));
        return nullptr;
    }
    gst_bin_add(bin, element);
    return element;
}

} // namespace

// The main thread's hold on one running pipeline.
struct CapturePipeline {
    uint64_t generation = 0;
    GstElement* pipeline = nullptr;
    GstElement* tee = nullptr;
    GstColorBalance* balance = nullptr;
    std::vector<GstColorBalanceChannel*> channels;

    CapturePipeline() = default;
    CapturePipeline(const CapturePipeline&) = delete;
    CapturePipeline& operator=(const CapturePipeline&) = delete;
    ~CapturePipeline()
    {
        for (auto* channel : channels) {
            g_object_unref(channel);
        }
        if (balance) {
            gst_object_unref(balance);
        }
        if (tee) {
            gst_object_unref(tee);
        }
        if (pipeline) {
            gst_object_unref(pipeline);
        }
    }
    GstColorBalanceChannel* channel(const QString& name) const
    {
        for (auto* c : channels) {
            if (QString::fromUtf8(c->label) == name) {
                return c;
            }
        }
        return nullptr;
    }
};

CaptureBranchLink::~CaptureBranchLink()
{
    if (teePad) {
        gst_object_unref(teePad);
    }
    if (wrapper) {
        gst_object_unref(wrapper);
    }
    if (element) {
        gst_object_unref(element);
    }
}

// What the streaming threads share with the capture: the latest frame, and the way back to the
// main thread. A capture that goes, or a pipeline that is replaced, is cut off here under the lock,
// so a late callback of an old pipeline never reaches anything.
class CaptureRelay : public std::enable_shared_from_this<CaptureRelay> {
public:
    // What each callback of one pipeline carries.
    struct Tap {
        std::shared_ptr<CaptureRelay> relay;
        uint64_t generation;
        GstElement* pipeline; // not a reference: the pipeline owns the bus and the sink
    };

    struct Guard {
        int id;
        GstElement* wrapper;
        std::shared_ptr<std::atomic<bool>> dropping;
    };

    ~CaptureRelay() { clearGuards(); }

    // Runs f(capture) on the main thread later, while the capture and that pipeline are still there.
    template <class F> void post(uint64_t generation, F f)
    {
        std::lock_guard lock(mutex);
        postLocked(generation, std::move(f));
    }

    void start(uint64_t newGeneration)
    {
        std::lock_guard lock(mutex);
        generation = newGeneration;
        latest.reset();
        frames = 0;
        noticePending = false;
        trouble.clear();
    }

    void stop()
    {
        std::lock_guard lock(mutex);
        generation = 0;
        latest.reset();
        frames = 0;
        noticePending = false;
        trouble.clear();
        clearGuards();
    }

    // The first error, end or refused start of the running pipeline, for a wait on the worker to
    // see at once; the capture itself hears of it through its queued call.
    void noteTrouble(uint64_t forGeneration, const QString& text)
    {
        std::lock_guard lock(mutex);
        if (forGeneration == generation && trouble.isEmpty()) {
            trouble = text;
        }
    }

    void addGuard(uint64_t forGeneration, int id, GstElement* wrapper,
                  std::shared_ptr<std::atomic<bool>> dropping)
    {
        std::lock_guard lock(mutex);
        if (forGeneration == generation) {
            guards.push_back({id, GST_ELEMENT(gst_object_ref(wrapper)), std::move(dropping)});
        }
    }

    void removeGuard(int id)
    {
        std::lock_guard lock(mutex);
        auto it = std::find_if(guards.begin(), guards.end(), [&](const Guard& g) { return g.id == id; });
        if (it != guards.end()) {
            gst_object_unref(it->wrapper);
            guards.erase(it);
        }
    }

    // The branch an object belongs to (0: none); a branch found starts dropping its input at once,
    // before its failure can travel back through the tee.
    int branchOf(GstObject* object)
    {
        std::lock_guard lock(mutex);
        for (auto& guard : guards) {
            if (object == GST_OBJECT(guard.wrapper) ||
                gst_object_has_as_ancestor(object, GST_OBJECT(guard.wrapper))) {
                guard.dropping->store(true);
                return guard.id;
            }
        }
        return 0;
    }

    void storeFrame(uint64_t fromGeneration, std::shared_ptr<const VideoFrame> frame)
    {
        std::lock_guard lock(mutex);
        if (fromGeneration != generation) {
            return;
        }
        latest = std::move(frame);
        ++frames;
        if (!noticePending && owner) {
            noticePending = true;
            postLocked(fromGeneration, [fromGeneration](Capture& c) { c.onFrameNotice(fromGeneration); });
        }
    }

    // A branch's own failure, from a streaming thread.
    void branchFailed(uint64_t forGeneration, int id, const QString& text)
    {
        post(forGeneration, [forGeneration, id, text](Capture& c) { c.onError(forGeneration, id, text); });
    }

    // GStreamer's callbacks, on its streaming threads.
    static GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer data);
    static void onEos(GstAppSink*, gpointer data);
    static void destroyTap(gpointer data) { delete static_cast<Tap*>(data); }

    std::mutex mutex;
    Capture* owner = nullptr;
    uint64_t generation = 0; // of the pipeline that runs; 0 when none
    std::shared_ptr<const VideoFrame> latest;
    uint64_t frames = 0;
    bool noticePending = false;
    QString trouble;
    std::vector<Guard> guards;

private:
    template <class F> void postLocked(uint64_t forGeneration, F f)
    {
        if (!owner || forGeneration != generation) {
            return;
        }
        Capture* capture = owner;
        QMetaObject::invokeMethod(
            capture, [capture, f = std::move(f)]() mutable { f(*capture); }, Qt::QueuedConnection);
    }

    void clearGuards()
    {
        for (auto& guard : guards) {
            gst_object_unref(guard.wrapper);
        }
        guards.clear();
    }
};

GstBusSyncReply CaptureRelay::onBusMessage(GstBus*, GstMessage* message, gpointer data)
{
    auto* tap = static_cast<Tap*>(data);
    const uint64_t generation = tap->generation;
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError* error = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        QString text =
            error && error->message ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
        if (error) {
            g_error_free(error);
        }
        g_free(debug);
        const int branch = tap->relay->branchOf(GST_MESSAGE_SRC(message));
        if (branch == 0) {
            tap->relay->noteTrouble(generation, text);
        }
        tap->relay->post(generation,
                         [generation, branch, text](Capture& c) { c.onError(generation, branch, text); });
        break;
    }
    case GST_MESSAGE_EOS:
        tap->relay->noteTrouble(generation, kEnded);
        tap->relay->post(generation, [generation](Capture& c) { c.onEnded(generation); });
        break;
    case GST_MESSAGE_STATE_CHANGED:
        if (GST_MESSAGE_SRC(message) == GST_OBJECT(tap->pipeline)) {
            GstState previous, now, pending;
            gst_message_parse_state_changed(message, &previous, &now, &pending);
            if (now == GST_STATE_PLAYING) {
                tap->relay->post(generation, [generation](Capture& c) { c.onPlaying(generation); });
            }
        }
        break;
    default:
        break;
    }
    // Everything is handled here; nothing waits on the bus.
    return GST_BUS_DROP;
}

GstFlowReturn CaptureRelay::onNewSample(GstAppSink* sink, gpointer data)
{
    auto* tap = static_cast<Tap*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample) {
        return GST_FLOW_OK;
    }
    std::shared_ptr<const VideoFrame> frame = frameFromSample(sample);
    gst_sample_unref(sample);
    if (frame) {
        tap->relay->storeFrame(tap->generation, std::move(frame));
    }
    return GST_FLOW_OK;
}

void CaptureRelay::onEos(GstAppSink*, gpointer data)
{
    // The frame branch ends when the source does, even if a stalled branch holds back the
    // pipeline's own end-of-stream message.
    auto* tap = static_cast<Tap*>(data);
    const uint64_t generation = tap->generation;
    tap->relay->noteTrouble(generation, kEnded);
    tap->relay->post(generation, [generation](Capture& c) { c.onEnded(generation); });
}

namespace {

// The source, a tee, and the frame branch: leaky queue, conversion to BGR, the frame sink.
std::unique_ptr<CapturePipeline> buildPipeline(const VideoDevice& device,
                                               const std::shared_ptr<CaptureRelay>& relay,
                                               uint64_t generation, QString& error)
{
    std::string initError;
    if (!initMediaLibrary(&initError)) {
        error = QString::fromStdString(initError);
        return nullptr;
    }
    if (!device.source()) {
        error = QStringLiteral("no video device");
        return nullptr;
    }
    GstElement* source = device.source()->createElement(error);
    if (!source) {
        return nullptr;
    }
    auto result = std::make_unique<CapturePipeline>();
    result->generation = generation;
    result->pipeline = GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new(nullptr)));
    GstBin* bin = GST_BIN(result->pipeline);
    gst_bin_add(bin, source);
    GstElement* tee = addElement(bin, "tee", error);
    GstElement* queue = tee ? addElement(bin, "queue", error) : nullptr;
    GstElement* convert = queue ? addElement(bin, "videoconvert", error) : nullptr;
    GstElement* sink = convert ? addElement(bin, "appsink", error) : nullptr;
    if (!sink) {
        return nullptr;
    }
    result->tee = GST_ELEMENT(gst_object_ref(tee));
    g_object_set(tee, "allow-not-linked", TRUE, nullptr);
    makeLeaky(queue);
    GstCaps* bgr = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr);
    // Frames as they come, without waiting on the clock; the newest one only.
    g_object_set(sink, "caps", bgr, "sync", FALSE, "async", FALSE, "max-buffers", 1u, "drop", TRUE,
                 "enable-last-sample", FALSE, nullptr);
    const bool linked = gst_element_link(source, tee) && gst_element_link(tee, queue) &&
                        gst_element_link(queue, convert) && gst_element_link_filtered(convert, sink, bgr);
    gst_caps_unref(bgr);
    if (!linked) {
        error = QStringLiteral("the source gives no video the camera can take");
        return nullptr;
    }

    GstAppSinkCallbacks callbacks{};
    callbacks.eos = &CaptureRelay::onEos;
    callbacks.new_sample = &CaptureRelay::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks,
                               new CaptureRelay::Tap{relay, generation, result->pipeline},
                               &CaptureRelay::destroyTap);
    GstBus* bus = gst_element_get_bus(result->pipeline);
    gst_bus_set_sync_handler(bus, &CaptureRelay::onBusMessage,
                             new CaptureRelay::Tap{relay, generation, result->pipeline},
                             &CaptureRelay::destroyTap);
    gst_object_unref(bus);

    if (GST_IS_COLOR_BALANCE(source)) {
        result->balance = GST_COLOR_BALANCE(gst_object_ref(source));
    } else if (GST_IS_BIN(source)) {
        if (GstElement* found = gst_bin_get_by_interface(GST_BIN(source), GST_TYPE_COLOR_BALANCE)) {
            result->balance = GST_COLOR_BALANCE(found);
        }
    }
    return result;
}

// The way into a branch. Whatever goes wrong behind it stays there: the branch is ended, and the
// tee (and so the device) always hears that all went well. Otherwise a branch that cannot take
// the video, or an encoder that fails, would stop the source for every user.
struct BranchEntrance {
    std::weak_ptr<CaptureRelay> relay;
    uint64_t generation;
    int id;
    std::shared_ptr<std::atomic<bool>> dropping;

    GstFlowReturn outcome(GstFlowReturn result)
    {
        // Flushing is the branch being taken out; anything else but OK ends it.
        if (result != GST_FLOW_OK && result != GST_FLOW_FLUSHING && !dropping->exchange(true)) {
            if (auto owner = relay.lock()) {
                owner->branchFailed(generation, id,
                                    QStringLiteral("the branch stopped taking video (%1)")
                                        .arg(QString::fromLatin1(gst_flow_get_name(result))));
            }
        }
        return GST_FLOW_OK;
    }
    static GstFlowReturn chain(GstPad* pad, GstObject* parent, GstBuffer* buffer)
    {
        auto* self = static_cast<BranchEntrance*>(pad->chaindata);
        if (self->dropping->load()) {
            gst_buffer_unref(buffer);
            return GST_FLOW_OK;
        }
        return self->outcome(gst_proxy_pad_chain_default(pad, parent, buffer));
    }
    static GstFlowReturn chainList(GstPad* pad, GstObject* parent, GstBufferList* list)
    {
        auto* self = static_cast<BranchEntrance*>(pad->chainlistdata);
        if (self->dropping->load()) {
            gst_buffer_list_unref(list);
            return GST_FLOW_OK;
        }
        return self->outcome(gst_proxy_pad_chain_list_default(pad, parent, list));
    }
};

// Worker thread: puts the branch into the pipeline behind its own leaky queue and a new tee pad.
bool linkBranch(GstElement* pipeline, GstElement* tee, CaptureBranchLink& link, CaptureRelay& relay,
                uint64_t generation, QString& error)
{
    GstElement* wrapper = gst_bin_new(nullptr);
    link.wrapper = GST_ELEMENT(gst_object_ref(wrapper));
    gst_bin_add(GST_BIN(pipeline), wrapper);
    relay.addGuard(generation, link.id, wrapper, link.dropping);
    GstElement* queue = addElement(GST_BIN(wrapper), "queue", error);
    if (!queue) {
        return false;
    }
    makeLeaky(queue);
    gst_bin_add(GST_BIN(wrapper), GST_ELEMENT(gst_object_ref(link.element)));
    if (!gst_element_link(queue, link.element)) {
        error = QStringLiteral("the branch does not take the capture's video");
        return false;
    }
    GstPad* queueSink = gst_element_get_static_pad(queue, "sink");
    GstPad* entrance = gst_ghost_pad_new("sink", queueSink);
    gst_object_unref(queueSink);
    auto* guard = new BranchEntrance{relay.weak_from_this(), generation, link.id, link.dropping};
    gst_pad_set_chain_function_full(entrance, &BranchEntrance::chain, guard,
                                    [](gpointer data) { delete static_cast<BranchEntrance*>(data); });
    // The same object; it goes with the chain function's, when the pad does.
    gst_pad_set_chain_list_function_full(entrance, &BranchEntrance::chainList, guard, nullptr);
    gst_element_add_pad(wrapper, entrance);
    if (!gst_element_sync_state_with_parent(wrapper)) {
        error = QStringLiteral("the branch could not be started");
        return false;
    }
    link.teePad = gst_element_request_pad_simple(tee, "src_%u");
    if (!link.teePad || gst_pad_link(link.teePad, entrance) != GST_PAD_LINK_OK) {
        error = QStringLiteral("the branch could not be linked to the capture");
        return false;
    }
    return true;
}

// Worker thread, with the branch stopped: the owner's element leaves the branch's bin, so that it
// may be attached again.
void freeElement(CaptureBranchLink& link)
{
    if (link.wrapper && GST_OBJECT_PARENT(link.element) == GST_OBJECT(link.wrapper)) {
        gst_bin_remove(GST_BIN(link.wrapper), link.element);
    }
}

// Worker thread: takes the branch out again. The tee pad is unlinked while no buffer passes it,
// which never takes long: the leaky queue behind it never blocks.
void unlinkBranch(GstElement* pipeline, GstElement* tee, CaptureBranchLink& link)
{
    if (!link.wrapper) {
        return;
    }
    if (link.teePad) {
        struct Unlinked {
            std::mutex mutex;
            std::condition_variable done;
            bool unlinked = false;
        };
        auto state = std::make_shared<Unlinked>();
        gst_pad_add_probe(
            link.teePad, GST_PAD_PROBE_TYPE_IDLE,
            [](GstPad* pad, GstPadProbeInfo*, gpointer data) {
                auto& s = *static_cast<std::shared_ptr<Unlinked>*>(data);
                if (GstPad* peer = gst_pad_get_peer(pad)) {
                    gst_pad_unlink(pad, peer);
                    gst_object_unref(peer);
                }
                std::lock_guard lock(s->mutex);
                s->unlinked = true;
                s->done.notify_all();
                return GST_PAD_PROBE_REMOVE;
            },
            new std::shared_ptr<Unlinked>(state),
            [](gpointer data) { delete static_cast<std::shared_ptr<Unlinked>*>(data); });
        std::unique_lock lock(state->mutex);
        // Stopping the branch below flushes it should a push still be under way by then.
        state->done.wait_for(lock, std::chrono::seconds(1), [&] { return state->unlinked; });
    }
    gst_element_set_state(link.wrapper, GST_STATE_NULL);
    gst_bin_remove(GST_BIN(pipeline), link.wrapper);
    freeElement(link);
    if (link.teePad) {
        gst_element_release_request_pad(tee, link.teePad);
        gst_object_unref(link.teePad);
        link.teePad = nullptr;
    }
    gst_object_unref(link.wrapper);
    link.wrapper = nullptr;
}

} // namespace

Capture::Use& Capture::Use::operator=(Use&& other) noexcept
{
    if (this != &other) {
        reset();
        m_capture = std::exchange(other.m_capture, nullptr);
    }
    return *this;
}

void Capture::Use::reset()
{
    if (Capture* capture = std::exchange(m_capture, nullptr)) {
        capture->release();
    }
}

Capture::Capture(VideoDevice device, QObject* parent)
    : QObject(parent), m_device(std::move(device)), m_relay(std::make_shared<CaptureRelay>()),
      m_worker(std::make_unique<PipelineWorker>())
{
    m_relay->owner = this;
    m_watchdog.setInterval(kStallTimeout);
    connect(&m_watchdog, &QTimer::timeout, this, &Capture::checkProgress);
}

Capture::~Capture()
{
    {
        std::lock_guard lock(m_relay->mutex);
        m_relay->owner = nullptr;
    }
    teardown({});
    m_worker.reset();
}

Capture::Use Capture::attach()
{
    ++m_users;
    if (!m_pipeline) {
        start();
    }
    return Use(this);
}

void Capture::release()
{
    --m_users;
    if (m_users == 0 && m_pipeline) {
        teardown(kStoppedPlain);
        m_statusText.clear();
        setState(State::Stopped);
    }
}

void Capture::start()
{
    QString error;
    auto pipeline = buildPipeline(m_device, m_relay, ++m_lastGeneration, error);
    if (!pipeline) {
        m_statusText = kNotStarted + error;
        setState(State::Failed);
        return;
    }
    m_pipeline = std::move(pipeline);
    m_statusText.clear();
    const uint64_t generation = m_pipeline->generation;
    m_relay->start(generation);
    m_framesAtLastCheck = 0;
    m_watchdog.start();
    setState(State::Starting);
    m_worker->post(
        [pipeline = GST_ELEMENT(gst_object_ref(m_pipeline->pipeline)), relay = m_relay, generation] {
            if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
                relay->noteTrouble(generation, kRefused);
                relay->post(generation, [generation](Capture& c) { c.onStartRefused(generation); });
            }
            gst_object_unref(pipeline);
        });
}

void Capture::teardown(const QString& reason)
{
    if (!m_pipeline) {
        return;
    }
    m_relay->stop();
    m_watchdog.stop();
    GstElement* pipeline = std::exchange(m_pipeline->pipeline, nullptr);
    m_pipeline.reset();
    auto branches = std::exchange(m_branches, {});
    m_worker->post([pipeline, branches] {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        for (const auto& link : branches) {
            freeElement(*link);
        }
        gst_object_unref(pipeline);
    });
    if (!m_controls.empty()) {
        m_controls.clear();
        Q_EMIT controlsChanged();
    }
    for (const auto& link : branches) {
        endBranch(link, reason);
    }
}

void Capture::fail(const QString& reason)
{
    teardown(reason);
    m_statusText = reason;
    setState(State::Failed);
}

void Capture::setState(State state)
{
    if (m_state != state) {
        m_state = state;
        Q_EMIT stateChanged(state);
    }
}

void Capture::readControls()
{
    if (!m_pipeline->balance) {
        return;
    }
    for (const GList* item = gst_color_balance_list_channels(m_pipeline->balance); item; item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        m_pipeline->channels.push_back(GST_COLOR_BALANCE_CHANNEL(g_object_ref(channel)));
        m_controls.push_back({QString::fromUtf8(channel->label), channel->min_value, channel->max_value});
    }
    if (!m_controls.empty()) {
        Q_EMIT controlsChanged();
    }
}

void Capture::checkProgress()
{
    // A device can stop sending without a word (a stuck driver, a cable half out); the preview
    // would freeze and the snapshots repeat one old picture.
    if (m_state == State::Starting) {
        fail(kNotStarted + QStringLiteral("the device did not start in time"));
        return;
    }
    const uint64_t frames = frameCount();
    if (frames == m_framesAtLastCheck) {
        fail(kStopped + QStringLiteral("no picture from the device"));
        return;
    }
    m_framesAtLastCheck = frames;
}

std::optional<int> Capture::controlValue(const QString& name) const
{
    GstColorBalanceChannel* channel = m_pipeline ? m_pipeline->channel(name) : nullptr;
    if (!channel) {
        return std::nullopt;
    }
    return gst_color_balance_get_value(m_pipeline->balance, channel);
}

bool Capture::setControlValue(const QString& name, int value)
{
    GstColorBalanceChannel* channel = m_pipeline ? m_pipeline->channel(name) : nullptr;
    if (!channel) {
        return false;
    }
    gst_color_balance_set_value(m_pipeline->balance, channel,
                                std::clamp(value, channel->min_value, channel->max_value));
    return true;
}

std::optional<VideoFrame> Capture::grabFrame()
{
    auto frame = latestFrame();
    if (!frame) {
        return std::nullopt;
    }
    return *frame;
}

std::shared_ptr<const VideoFrame> Capture::latestFrame() const
{
    std::lock_guard lock(m_relay->mutex);
    return m_relay->latest;
}

uint64_t Capture::frameCount() const
{
    std::lock_guard lock(m_relay->mutex);
    return m_relay->frames;
}

void Capture::onFrameNotice(uint64_t generation)
{
    {
        std::lock_guard lock(m_relay->mutex);
        m_relay->noticePending = false;
    }
    if (m_pipeline && m_pipeline->generation == generation) {
        Q_EMIT frameArrived();
    }
}

void Capture::onPlaying(uint64_t generation)
{
    if (m_pipeline && m_pipeline->generation == generation && m_state == State::Starting) {
        // The first frame has its full time from here.
        m_framesAtLastCheck = frameCount();
        m_watchdog.start();
        readControls();
        setState(State::Running);
    }
}

void Capture::onError(uint64_t generation, int branchId, const QString& text)
{
    if (!m_pipeline || m_pipeline->generation != generation) {
        return;
    }
    if (branchId != 0) {
        auto it = std::find_if(m_branches.begin(), m_branches.end(),
                               [&](const auto& l) { return l->id == branchId; });
        if (it != m_branches.end()) {
            auto link = *it;
            removeBranch(link);
            endBranch(link, text);
        }
        return;
    }
    fail((m_state == State::Starting ? kNotStarted : kStopped) + text);
}

void Capture::onEnded(uint64_t generation)
{
    if (m_pipeline && m_pipeline->generation == generation) {
        fail(kStopped + kEnded);
    }
}

void Capture::onStartRefused(uint64_t generation)
{
    if (m_pipeline && m_pipeline->generation == generation) {
        fail(kNotStarted + kRefused);
    }
}

void Capture::addBranch(const std::shared_ptr<CaptureBranchLink>& link)
{
    if (!m_pipeline) {
        endBranch(link, m_statusText.isEmpty() ? kStoppedPlain : m_statusText);
        return;
    }
    link->id = ++m_lastBranchId;
    link->attached = true;
    m_branches.push_back(link);
    const uint64_t generation = m_pipeline->generation;
    m_worker->post([pipeline = GST_ELEMENT(gst_object_ref(m_pipeline->pipeline)),
                    tee = GST_ELEMENT(gst_object_ref(m_pipeline->tee)), link, relay = m_relay, generation] {
        QString error;
        if (!linkBranch(pipeline, tee, *link, *relay, generation, error)) {
            link->linkError = error;
            relay->post(generation,
                        [generation, id = link->id, error](Capture& c) { c.onError(generation, id, error); });
        }
        gst_object_unref(tee);
        gst_object_unref(pipeline);
    });
}

void Capture::removeBranch(const std::shared_ptr<CaptureBranchLink>& link)
{
    auto it = std::find(m_branches.begin(), m_branches.end(), link);
    if (it == m_branches.end()) {
        return; // ended already
    }
    m_branches.erase(it);
    link->attached = false;
    m_relay->removeGuard(link->id);
    if (!m_pipeline) {
        return;
    }
    m_worker->post([pipeline = GST_ELEMENT(gst_object_ref(m_pipeline->pipeline)),
                    tee = GST_ELEMENT(gst_object_ref(m_pipeline->tee)), link] {
        unlinkBranch(pipeline, tee, *link);
        gst_object_unref(tee);
        gst_object_unref(pipeline);
    });
}

bool Capture::waitForBranch(const std::shared_ptr<CaptureBranchLink>& link, std::chrono::milliseconds timeout,
                            QString& error)
{
    if (!link->attached) {
        error = m_statusText.isEmpty() ? kStoppedPlain : m_statusText;
        return false;
    }
    if (!m_worker->waitIdle(timeout)) {
        error = kNotStarted + QStringLiteral("the device did not answer in time");
        return false;
    }
    // The worker is idle: what it wrote is there to read.
    {
        std::lock_guard lock(m_relay->mutex);
        if (!m_relay->trouble.isEmpty()) {
            error = kNotStarted + m_relay->trouble;
            return false;
        }
    }
    if (!link->linkError.isEmpty()) {
        error = link->linkError;
        return false;
    }
    return true;
}

void Capture::endBranch(const std::shared_ptr<CaptureBranchLink>& link, const QString& reason)
{
    link->attached = false;
    // Later, so that the owner may drop its branch from inside the call.
    QMetaObject::invokeMethod(
        this,
        [link, reason] {
            if (link->ended) {
                link->ended(reason);
            }
        },
        Qt::QueuedConnection);
}

CaptureBranch::CaptureBranch(Capture& capture, GstElement* element, Ended ended)
    : m_capture(capture), m_link(std::make_shared<CaptureBranchLink>())
{
    m_link->element = GST_ELEMENT(gst_object_ref_sink(element));
    m_link->ended = std::move(ended);
    m_use = capture.attach();
    capture.addBranch(m_link);
}

bool CaptureBranch::waitUntilRunning(std::chrono::milliseconds timeout, QString& error)
{
    return m_capture.waitForBranch(m_link, timeout, error);
}

CaptureBranch::~CaptureBranch()
{
    m_link->ended = nullptr;
    m_capture.removeBranch(m_link);
    m_use.reset();
}

} // namespace kestrelon
