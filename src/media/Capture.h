#pragma once

#include "media/FrameSource.h"
#include "media/VideoDevice.h"
#include "media/VideoFrame.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kestrelon {

class CaptureRelay;
class PipelineWorker;
struct CaptureBranchLink;
struct CapturePipeline;

// One of the device's own picture controls (brightness, contrast, ...), as its driver offers it.
struct DeviceControl {
    QString name;
    int minimum = 0;
    int maximum = 0;
    bool operator==(const DeviceControl&) const = default;
};

// The one capture pipeline of a video device, shared by everything that shows or takes its
// pictures. Any number of users attach to it (Use); the pipeline runs while at least one is
// attached and stops when the last one leaves. It keeps the latest frame as 24-bit BGR for the
// snapshot pass (grabFrame), tells the preview of each new frame (frameArrived), and lets the
// live stream hang a branch of its own behind it (CaptureBranch, media/CaptureBranch.h).
//
// Frames come in the size and rate the device gives them. A device that fails or ends (an error,
// the end of its stream, no picture for the stall time-out) stops the capture: state() becomes
// Failed with the reason in statusText(), and the next attach() starts it again.
//
// Threads: the object lives on the main thread and every function not marked otherwise is called
// there. GStreamer's state changes run on a worker thread of the capture's own, so no call here
// waits for the device; the outcome arrives as a signal.
class Capture : public QObject, public FrameSource {
    Q_OBJECT
public:
    enum class State {
        Stopped,  // no pipeline
        Starting, // built, on its way to playing
        Running,  // playing
        Failed,   // stopped by the device; statusText() says why
    };
    Q_ENUM(State)

    // Keeps the capture running while it is held. Move-only; main thread.
    class Use {
    public:
        Use() = default;
        Use(Use&& other) noexcept : m_capture(other.m_capture) { other.m_capture = nullptr; }
        Use& operator=(Use&& other) noexcept;
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        ~Use() { reset(); }
        void reset();
        explicit operator bool() const { return m_capture != nullptr; }
        Capture* capture() const { return m_capture; }

    private:
        friend class Capture;
        explicit Use(Capture* capture) : m_capture(capture) {}
        Capture* m_capture = nullptr;
    };

    // A capture that has not started, or has delivered no frame, for this long has failed.
    static constexpr std::chrono::milliseconds kStallTimeout{10000};

    explicit Capture(VideoDevice device, QObject* parent = nullptr);
    // Stops the pipeline; waits a bounded time for the device to close. Every Use and branch must
    // be gone before.
    ~Capture() override;

    const VideoDevice& device() const { return m_device; }
    void setStallTimeout(std::chrono::milliseconds timeout) { m_watchdog.setInterval(timeout); }

    // Attaches a user; starts the pipeline when none runs (also after a failure). When the
    // pipeline cannot even be built, state() is Failed on return.
    Use attach();
    int users() const { return m_users; }

    State state() const { return m_state; }
    bool running() const { return m_state == State::Starting || m_state == State::Running; }
    // Why the capture last failed ("Camera stopped: ..."); empty while it runs or after a clean stop.
    const QString& statusText() const { return m_statusText; }

    // The latest frame, copied; nothing when none has arrived since the start or the capture is not
    // running. Any thread.
    std::optional<VideoFrame> grabFrame() override;
    // The latest frame without a copy, or null likewise. Any thread.
    std::shared_ptr<const VideoFrame> latestFrame() const;
    // Frames that arrived since the pipeline was started. Any thread.
    uint64_t frameCount() const;

    // The device's own controls: known once the device runs, empty for sources without (the test
    // pattern) and while stopped.
    const std::vector<DeviceControl>& controls() const { return m_controls; }
    std::optional<int> controlValue(const QString& name) const;
    // False when the control is unknown or the device refused; the value is clamped to its range.
    bool setControlValue(const QString& name, int value);

Q_SIGNALS:
    void stateChanged(Capture::State state);
    // A new frame is there for latestFrame(). Several frames that arrive while the main thread is
    // busy give one signal, so a slow receiver never falls behind.
    void frameArrived();
    void controlsChanged();

private:
    friend class CaptureBranch;
    friend class CaptureRelay;

    void release();
    void start();
    // Stops and drops the pipeline (its teardown runs on the worker); branches hear reason.
    void teardown(const QString& reason);
    void fail(const QString& reason);
    void setState(State state);
    void readControls();
    void checkProgress();

    // Messages from the pipeline, queued to the main thread; those of an older pipeline are
    // dropped by generation.
    void onFrameNotice(uint64_t generation);
    void onPlaying(uint64_t generation);
    void onError(uint64_t generation, int branchId, const QString& text);
    void onEnded(uint64_t generation);
    void onStartRefused(uint64_t generation);

    // The branch interface of CaptureBranch.
    void addBranch(const std::shared_ptr<CaptureBranchLink>& link);
    void removeBranch(const std::shared_ptr<CaptureBranchLink>& link);
    void endBranch(const std::shared_ptr<CaptureBranchLink>& link, const QString& reason);
    bool waitForBranch(const std::shared_ptr<CaptureBranchLink>& link, std::chrono::milliseconds timeout,
                       QString& error);

    VideoDevice m_device;
    std::shared_ptr<CaptureRelay> m_relay;
    std::unique_ptr<CapturePipeline> m_pipeline;
    std::vector<std::shared_ptr<CaptureBranchLink>> m_branches;
    std::vector<DeviceControl> m_controls;
    QString m_statusText;
    State m_state = State::Stopped;
    int m_users = 0;
    uint64_t m_lastGeneration = 0;
    int m_lastBranchId = 0;
    QTimer m_watchdog;
    uint64_t m_framesAtLastCheck = 0;
    // Last, so that it is gone (the device closed) before anything else of the capture.
    std::unique_ptr<PipelineWorker> m_worker;
};

} // namespace kestrelon
