#pragma once

#include "camera/VideoSize.h"

#include <QObject>
#include <QPoint>
#include <QSize>

#include <functional>

namespace kestrelon {

class SettingsModel;

// What the drag rules need to know about the snapshot window at the moment of a mouse event.
struct OverlayScene {
    VideoSize size;
    QSize dateCaption; // the captions' sizes (their texts' extent in the overlay font)
    QSize textCaption;
    bool pictureEmpty = true;
    bool captureRunning = false; // the camera status reads "Running"
};

enum class OverlayCaption { Date, Text };

// Dragging the date/time caption (Label25) and the text caption (Label49) over the snapshot
// picture, and the clicks that set the brightness measurement row. The captions' positions are
// the [Camera] X, Y (date/time) and Xt, Yt (text) settings in display-area coordinates; this
// object reads and changes them in the settings model, so the snapshot pass and the window both
// see one place. The window only forwards its mouse events (positions in picture coordinates)
// and follows the signals. While dragDate() or dragText() is raised the snapshot pass does
// nothing. Main thread.
class OverlayDrag : public QObject {
    Q_OBJECT
public:
    OverlayDrag(SettingsModel& settings, std::function<OverlayScene()> scene, QObject* parent = nullptr);

    // Image2MouseDown: a press on a caption starts dragging it (the text caption first); Ctrl
    // sets the measurement row to the press's row, Alt shows the row marker where it is.
    void Image2MouseDown(QPoint pos, Qt::KeyboardModifiers modifiers);
    // Image2MouseMove: a caption that lies outside the picture during capture goes back to the
    // bottom; with the left button held the dragged caption follows the pointer.
    void Image2MouseMove(QPoint pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    // Image2MouseUp: ends the drag (Shift first puts both captions back at the bottom) and asks
    // for a snapshot pass.
    void Image2MouseUp(Qt::KeyboardModifiers modifiers);
    // Image2DblClick: both captions back to their default places at the bottom; a snapshot pass.
    void Image2DblClick();
    // Panel19MouseMove: the pointer over the area around the picture; during capture a caption
    // outside the picture goes back to the bottom.
    void Panel19MouseMove();

    bool dragDate() const { return m_dragDate; }
    bool dragText() const { return m_dragText; }
    bool dragging() const { return m_dragDate || m_dragText; }

Q_SIGNALS:
    // The caption pressed goes in front of the other (the mouse layer stays on top).
    void captionRaised(OverlayCaption caption);
    // RestrictCursorToDrawingArea: keep the pointer inside the picture while dragging, or let it go.
    void pointerConfined(bool confined);
    void cursorChanged(Qt::CursorShape shape);
    // The row marker (Panel67) at a picture row, or hidden.
    void markerShown(int row);
    void markerHidden();
    // A drag ended or the captions were reset: the pass takes a new snapshot.
    void snapshotRequested();

private:
    bool putBackIfOutside(OverlayCaption caption, const OverlayScene& scene);
    QPoint position(OverlayCaption caption) const;
    void move(OverlayCaption caption, QPoint to);
    void resetToBottom(const OverlayScene& scene, int textLeft);

    SettingsModel& m_settings;
    std::function<OverlayScene()> m_scene;
    bool m_dragDate = false;
    bool m_dragText = false;
    bool m_confined = false;
    QPoint m_grab; // grabX, grabY
};

} // namespace kestrelon
