#pragma once

#include "camera/Overlay.h"
#include "core/Settings.h"

#include <QWidget>

#include <optional>

class QFrame;
class QLabel;

namespace kestrelon {

class CameraPreview;
class OverlayDrag;
class SettingsModel;
class SnapshotPass;

// The snapshot window (Panel19): the display area with the last pass's picture (Image1) at the
// chosen size and offsets, the two captions (Label25 date/time, Label49 text) where the pass
// stamps them, the measurement row's marker (Panel67) and, on top of the picture, the transparent
// mouse layer (Image2) whose events go to the captions' drag state. Main thread.
class SnapshotView : public QWidget {
    Q_OBJECT
public:
    SnapshotView(SettingsModel& settings, CameraPreview& preview, SnapshotPass& pass,
                 QWidget* parent = nullptr);

    QLabel* Image1;
    QLabel* Label25;
    QLabel* Label49;
    QWidget* Image2;
    QFrame* Panel67;

protected:
    // Panel19MouseMove: the pointer over the area around the picture.
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void placePicture();
    void showCaptions();
    void showImage(const QImage& image);
    void confinePointer(bool confined);

    SettingsModel& m_settings;
    CameraPreview& m_preview;
    SnapshotPass& m_pass;
    OverlayDrag& m_drag;
    // The captions' style, made again only when [Archiver] changes: the pass announces its
    // captions up to 30 times a second.
    ArchiverSettings m_styleOf;
    std::optional<OverlayStyle> m_style;
};

} // namespace kestrelon
