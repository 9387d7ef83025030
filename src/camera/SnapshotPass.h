#pragma once

#include "camera/Image.h"
#include "camera/Overlay.h"
#include "camera/OverlayDrag.h"
#include "core/Settings.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace kestrelon {

class ServerBusy;
class SettingsModel;
class SnapshotContext;

// Which control triggered a pass: the window itself (timers, mouse, capture start, the hidden
// "Snapshot" button), one of the adjustment track bars, or tbQuality, whose passes reload the
// window from the file written.
enum class Originator { Window, AdjustmentBar, tbQuality };

// Where a pass ended, for the callers that care (tests, capture scheduling).
enum class PassOutcome {
    PreviewStopped, // the preview does not run: nothing done
    Held,           // a caption is dragged or serverBusy is raised: nothing done
    NoFrame,        // the capture had no frame to give: nothing changed
    Paused,         // a brightness pause test held: the window shows the picture after brightness
    WindowOnly,     // continuous update between timed saves: the window shows it, no file
    NoFile,         // the file was not written and none is there (size 0)
    Saved,          // written (or, for a name that is not .bmp/.gif/.jpg, the file of that name)
    Reloaded,       // written, and the window reloaded from the file
};

// The snapshot pass, btnSnapNowClick: takes the capture's current frame, brings it to the chosen
// size, applies brightness (with the light measurement), the brightness actions, colour,
// contrast, zoom and sharpening, stamps the captions, writes the snapshot file in the format its
// extension names and refreshes the snapshot window. The settings are read at the moment each
// pass runs, so a changed track bar takes effect at the next pass. Owns the captions' drag
// state, whose end asks for a pass. Main thread only.
class SnapshotPass : public QObject {
    Q_OBJECT
public:
    SnapshotPass(SettingsModel& settings, const ServerBusy& busy, SnapshotContext& context,
                 QObject* parent = nullptr);

    PassOutcome btnSnapNowClick(Originator originator = Originator::Window);

    // The next pass is forced (the pass that starts capture): it writes the file even between
    // timed saves of continuous update. The mark stays until a pass reaches the write.
    void markForced() { m_forced = true; }
    bool forced() const { return m_forced; }

    // The snapshot window's picture (Image1): the last pass's result.
    const Image& image() const { return m_image; }
    // The "Brightness now:" figure (Panel65): brightnessTotal div 100 of the last measurement.
    int brightnessFigure() const { return m_brightnessFigure; }
    // Label26: the snapshot file's size in bytes after the last save attempt.
    int64_t fileSizeShown() const { return m_fileSize; }
    // tbQuality and Label24 are usable after a .jpg save, not after a .bmp or .gif save.
    bool qualityEnabled() const { return m_qualityEnabled; }
    // The captions' texts (Label25, Label49): what was drawn last, or what the style shows.
    QString dateCaption() const { return m_dateCaption; }
    QString textCaption() const { return m_textCaption; }

    // Recomputes both captions from the clock, the pattern and edText, as the Overlay page shows
    // them; emits captionsChanged. Runs by itself when the [Archiver] style changes (btnFontClick).
    void refreshCaptions();

    // The drag state of the captions; forward the snapshot window's mouse events to it.
    OverlayDrag& overlayDrag() { return *m_drag; }
    OverlayScene overlayScene() const;

    // The clock of the date/time caption; the system clock unless a test sets another.
    void setClock(std::function<std::chrono::system_clock::time_point()> clock);

Q_SIGNALS:
    // The window's new picture, after every pass that took a frame.
    void imageChanged(const QImage& image);
    void brightnessMeasured(int figure);
    void fileSizeChanged(qint64 bytes);
    void qualityEnabledChanged(bool enabled);
    void captionsChanged(const QString& dateCaption, const QString& textCaption);
    // A .bmp snapshot could not be written: the program's error report shows the message.
    void snapshotWriteFailed(const QString& message);

private:
    void drawCaptions(Image& image, const Settings& settings, QPoint imageOffset);
    // The captions' style, made again only when the [Archiver] settings change (fonts are slow
    // to make, and the pass may run 30 times a second).
    const OverlayStyle& style(const ArchiverSettings& archiver) const;
    void showImage(Image image);
    void setQualityEnabled(bool enabled);
    void saveFile(const Image& image, const std::string& path, int quality);

    SettingsModel& m_settings;
    const ServerBusy& m_busy;
    SnapshotContext& m_context;
    OverlayDrag* m_drag;
    std::function<std::chrono::system_clock::time_point()> m_clock;
    Image m_image;
    bool m_forced = false;
    bool m_qualityEnabled = true;
    int m_brightnessFigure = 0;
    int64_t m_fileSize = 0;
    QString m_dateCaption;
    QString m_textCaption;
    mutable ArchiverSettings m_styleSettings;
    mutable std::optional<OverlayStyle> m_style;
};

} // namespace kestrelon
