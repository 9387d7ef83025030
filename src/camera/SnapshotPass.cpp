#include "camera/SnapshotPass.h"

#include "camera/Adjustments.h"
#include "camera/Overlay.h"
#include "camera/Resize.h"
#include "camera/SnapshotContext.h"
#include "camera/SnapshotFile.h"
#include "core/FileStatus.h"
#include "core/ServerBusy.h"
#include "core/SettingsModel.h"
#include "media/FrameSource.h"

#include <QMetaMethod>

#include <algorithm>

namespace kestrelon {

namespace {

// A stored value as its track bar shows it: held to the bar's range.
int trackBar(int32_t value, int min, int max)
{
    return std::clamp<int>(value, min, max);
}

} // namespace

SnapshotPass::SnapshotPass(SettingsModel& settings, const ServerBusy& busy, SnapshotContext& context,
                           QObject* parent)
    : QObject(parent), m_settings(settings), m_busy(busy), m_context(context),
      m_clock([] { return std::chrono::system_clock::now(); })
{
    m_drag = new OverlayDrag(
        settings, [this] { return overlayScene(); }, this);
    connect(m_drag, &OverlayDrag::snapshotRequested, this, [this] { btnSnapNowClick(Originator::Window); });
    // A new font or colour shows on both captions at once, as the font dialog's confirmation does.
    settings.watch(this, &Settings::Archiver, [this](const Settings&) { refreshCaptions(); });
    refreshCaptions();
}

void SnapshotPass::setClock(std::function<std::chrono::system_clock::time_point()> clock)
{
    m_clock = std::move(clock);
}

void SnapshotPass::refreshCaptions()
{
    const auto s = m_settings.snapshot();
    m_dateCaption =
        QString::fromStdString(overlayDateText(s->Camera.OvText, DateTimeParts::fromLocalTime(m_clock())));
    m_textCaption = QString::fromStdString(s->Camera.Text);
    Q_EMIT captionsChanged(m_dateCaption, m_textCaption);
}

OverlayScene SnapshotPass::overlayScene() const
{
    const auto s = m_settings.snapshot();
    const QFont& font = style(s->Archiver).font;
    OverlayScene scene;
    scene.size = m_context.videoSize();
    scene.dateCaption = captionSize(m_dateCaption, font);
    scene.textCaption = captionSize(m_textCaption, font);
    scene.pictureEmpty = m_image.empty();
    scene.captureRunning = m_context.captureRunning();
    return scene;
}

PassOutcome SnapshotPass::btnSnapNowClick(Originator originator)
{
    // Nothing at all while the preview is stopped, a caption is dragged or the server is busy.
    if (!m_context.previewRunning()) {
        return PassOutcome::PreviewStopped;
    }
    if (m_drag->dragging() || m_busy.serverBusy()) {
        return PassOutcome::Held;
    }
    // A capture without a frame ends the pass; adjusting the window's picture again would apply
    // every adjustment twice.
    FrameSource* source = m_context.frameSource();
    std::optional<VideoFrame> frame = source ? source->grabFrame() : std::nullopt;
    if (!frame || frame->empty()) {
        return PassOutcome::NoFrame;
    }
    const auto settings = m_settings.snapshot();
    const CameraSettings& cam = settings->Camera;
    const VideoSize video = m_context.videoSize();
    const Image grabbed = Image::fromFrame(std::move(*frame));

    // Rescale to the chosen size unless told not to; the measurement reads the rescaled picture
    // before brightness changes it.
    const bool resize =
        !cam.DontResize && (grabbed.width != video.videoWidth || grabbed.height != video.videoHeight);
    const int bright = trackBar(cam.Bright, -200, 200);
    m_brightnessFigure =
        measureResizedBrightness(grabbed, resize, video.videoWidth, video.videoHeight, cam.DarkLine) / 100;
    Q_EMIT brightnessMeasured(m_brightnessFigure);

    // A pause test that holds ends the pass with the picture as far as it got.
    if (m_context.brightnessActions(m_brightnessFigure)) {
        showImage(resizeMapZoom(grabbed, resize, video.videoWidth, video.videoHeight,
                                brightnessTables(bright), 30));
        return PassOutcome::Paused;
    }

    // Brightness, colour, contrast and zoom in one copy: the first three change each channel
    // value on its own, so their tables run during the rescale and the zoom.
    const ChannelTables tables =
        brightnessTables(bright)
            .then(colourTables(trackBar(cam.Red, -100, 100), trackBar(cam.Green, -100, 100),
                               trackBar(cam.Blue, -100, 100)))
            .then(contrastTables(trackBar(cam.Contrast, -100, 0)));
    Image image = resizeMapZoom(grabbed, resize, video.videoWidth, video.videoHeight, tables,
                                trackBar(cam.Zoom, 9, 30));
    // Sharpening, then the captions.
    if (image.height > 3) {
        Sharpen(image, trackBar(cam.Sharpness, 1, 15));
    }
    drawCaptions(image, *settings, QPoint(video.imageLeft, video.imageTop));

    // Continuous update refreshes the window on every pass and writes only the timed and the
    // forced ones; a request that began since the start of the pass stops the write too.
    if (cam.Update && ((m_context.captureCountdown() > 0 && !m_forced) || m_busy.serverBusy())) {
        showImage(std::move(image));
        return PassOutcome::WindowOnly;
    }
    // Write, then show the file's size.
    m_forced = false;
    saveFile(image, cam.File, trackBar(cam.Quality, 1, 100));
    m_fileSize = fileSize(cam.File);
    Q_EMIT fileSizeChanged(m_fileSize);
    if (m_fileSize <= 0) {
        showImage(std::move(image));
        return PassOutcome::NoFile;
    }
    // The timed pass and tbQuality show the file as saved, compression included.
    if (originator != Originator::tbQuality && m_context.captureCountdown() != 0) {
        showImage(std::move(image));
        return PassOutcome::Saved;
    }
    const QImage saved(QString::fromStdString(cam.File));
    showImage(saved.isNull() ? std::move(image) : Image::fromQImage(saved));
    return PassOutcome::Reloaded;
}

void SnapshotPass::drawCaptions(Image& image, const Settings& settings, QPoint imageOffset)
{
    const CameraSettings& cam = settings.Camera;
    std::vector<Caption> captions;
    if (cam.Overlay) {
        m_dateCaption =
            QString::fromStdString(overlayDateText(cam.OvText, DateTimeParts::fromLocalTime(m_clock())));
        captions.push_back({m_dateCaption, QPoint(cam.X, cam.Y)});
    }
    if (cam.cbText) {
        m_textCaption = QString::fromStdString(cam.Text);
        captions.push_back({m_textCaption, QPoint(cam.Xt, cam.Yt)});
    }
    if (captions.empty()) {
        return;
    }
    drawOverlays(image, style(settings.Archiver), captions, imageOffset);
    Q_EMIT captionsChanged(m_dateCaption, m_textCaption);
}

const OverlayStyle& SnapshotPass::style(const ArchiverSettings& archiver) const
{
    if (!m_style || !(m_styleSettings == archiver)) {
        m_style = OverlayStyle::fromSettings(archiver);
        m_styleSettings = archiver;
    }
    return *m_style;
}

void SnapshotPass::saveFile(const Image& image, const std::string& path, int quality)
{
    std::string error;
    switch (snapshotFormat(path)) {
    case SnapshotFormat::Bmp:
        setQualityEnabled(false);
        if (!writeSnapshot(image, path, quality, error)) {
            Q_EMIT snapshotWriteFailed(QStringLiteral("Unable to write %1: %2")
                                           .arg(QString::fromStdString(path), QString::fromStdString(error)));
        }
        break;
    case SnapshotFormat::Gif:
        // GIF and JPEG write errors are silent; the size shown tells what is there.
        setQualityEnabled(false);
        writeSnapshot(image, path, quality, error);
        break;
    case SnapshotFormat::Jpeg:
        setQualityEnabled(true);
        writeSnapshot(image, path, quality, error);
        break;
    case SnapshotFormat::None:
        break;
    }
}

void SnapshotPass::setQualityEnabled(bool enabled)
{
    if (m_qualityEnabled != enabled) {
        m_qualityEnabled = enabled;
        Q_EMIT qualityEnabledChanged(enabled);
    }
}

void SnapshotPass::showImage(Image image)
{
    m_image = std::move(image);
    if (isSignalConnected(QMetaMethod::fromSignal(&SnapshotPass::imageChanged))) {
        Q_EMIT imageChanged(m_image.toQImage());
    }
}

} // namespace kestrelon
