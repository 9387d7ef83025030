#include "camera/OverlayDrag.h"

#include "core/SettingsModel.h"

namespace kestrelon {

namespace {

constexpr int kDateLeft = 4;
constexpr int kTextLeft = 180;
// A caption may reach this far below the picture before it counts as outside.
constexpr int kOutsideSlack = 10;

QSize sizeOf(OverlayCaption caption, const OverlayScene& scene)
{
    return caption == OverlayCaption::Date ? scene.dateCaption : scene.textCaption;
}

// Inside the caption's rectangle in picture coordinates, edges excluded.
bool inside(QPoint pos, QPoint corner, QSize size, const VideoSize& video)
{
    const int left = corner.x() - video.imageLeft;
    const int top = corner.y() - video.imageTop;
    return pos.x() > left && pos.x() < left + size.width() && pos.y() > top && pos.y() < top + size.height();
}

} // namespace

OverlayDrag::OverlayDrag(SettingsModel& settings, std::function<OverlayScene()> scene, QObject* parent)
    : QObject(parent), m_settings(settings), m_scene(std::move(scene))
{
}

QPoint OverlayDrag::position(OverlayCaption caption) const
{
    const auto s = m_settings.snapshot();
    return caption == OverlayCaption::Date ? QPoint(s->Camera.X, s->Camera.Y)
                                           : QPoint(s->Camera.Xt, s->Camera.Yt);
}

void OverlayDrag::move(OverlayCaption caption, QPoint to)
{
    if (position(caption) == to) {
        return;
    }
    m_settings.update([&](Settings& s) {
        if (caption == OverlayCaption::Date) {
            s.Camera.X = to.x();
            s.Camera.Y = to.y();
        } else {
            s.Camera.Xt = to.x();
            s.Camera.Yt = to.y();
        }
    });
}

bool OverlayDrag::putBackIfOutside(OverlayCaption caption, const OverlayScene& scene)
{
    const QPoint at = position(caption);
    const QSize size = sizeOf(caption, scene);
    const int bottom = scene.size.videoHeight - size.height();
    if (at.x() <= scene.size.videoWidth && at.y() <= bottom + kOutsideSlack) {
        return false;
    }
    move(caption, {caption == OverlayCaption::Date ? kDateLeft : scene.dateCaption.width() + 10, bottom});
    return true;
}

void OverlayDrag::resetToBottom(const OverlayScene& scene, int textLeft)
{
    move(OverlayCaption::Date, {kDateLeft, scene.size.videoHeight - scene.dateCaption.height()});
    move(OverlayCaption::Text, {textLeft, scene.size.videoHeight - scene.textCaption.height()});
}

void OverlayDrag::Image2MouseDown(QPoint pos, Qt::KeyboardModifiers modifiers)
{
    const OverlayScene scene = m_scene();
    for (OverlayCaption caption : {OverlayCaption::Text, OverlayCaption::Date}) {
        const QPoint corner = position(caption);
        if (!inside(pos, corner, sizeOf(caption, scene), scene.size)) {
            continue;
        }
        m_grab = pos - corner;
        Q_EMIT captionRaised(caption);
        if (!scene.pictureEmpty) {
            m_dragText = caption == OverlayCaption::Text;
            m_dragDate = caption == OverlayCaption::Date;
        }
        if (caption == OverlayCaption::Text) {
            return; // a press on the text caption never sets the measurement row
        }
        break;
    }
    if (modifiers & Qt::ControlModifier) {
        m_settings.update([&](Settings& s) { s.Camera.DarkLine = pos.y(); });
        Q_EMIT markerShown(pos.y());
    }
    if (modifiers & Qt::AltModifier) {
        Q_EMIT markerShown(m_settings.snapshot()->Camera.DarkLine);
    }
}

void OverlayDrag::Image2MouseMove(QPoint pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    const OverlayScene scene = m_scene();
    const bool leftHeld = buttons & Qt::LeftButton;
    for (OverlayCaption caption : {OverlayCaption::Text, OverlayCaption::Date}) {
        if (scene.captureRunning && putBackIfOutside(caption, scene)) {
            return;
        }
        const bool dragged = caption == OverlayCaption::Text ? m_dragText : m_dragDate;
        if (leftHeld && dragged) {
            if (!(modifiers & Qt::ShiftModifier) && !m_confined) {
                m_confined = true;
                Q_EMIT pointerConfined(true);
            }
            move(caption, pos - m_grab);
            Q_EMIT cursorChanged(Qt::DragMoveCursor);
            return;
        }
    }
}

void OverlayDrag::Image2MouseUp(Qt::KeyboardModifiers modifiers)
{
    if (m_confined) {
        m_confined = false;
        Q_EMIT pointerConfined(false);
    }
    m_dragDate = false;
    m_dragText = false;
    Q_EMIT cursorChanged(Qt::ArrowCursor);
    if (modifiers & Qt::ShiftModifier) {
        const OverlayScene scene = m_scene();
        resetToBottom(scene, scene.dateCaption.width() + 10);
    }
    Q_EMIT snapshotRequested();
    Q_EMIT markerHidden();
}

void OverlayDrag::Image2DblClick()
{
    resetToBottom(m_scene(), kTextLeft);
    Q_EMIT snapshotRequested();
}

void OverlayDrag::Panel19MouseMove()
{
    const OverlayScene scene = m_scene();
    if (!scene.captureRunning) {
        return;
    }
    putBackIfOutside(OverlayCaption::Text, scene);
    putBackIfOutside(OverlayCaption::Date, scene);
}

} // namespace kestrelon
