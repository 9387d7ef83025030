#include "ui/SnapshotView.h"

#include "camera/CameraPreview.h"
#include "camera/OverlayDrag.h"
#include "camera/SnapshotPass.h"
#include "core/SettingsModel.h"
#include "ui/Named.h"
#include "ui/PreviewView.h"

#include <QCursor>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include <algorithm>
#include <tuple>

namespace kestrelon {

namespace {

// Image2: passes its mouse events, in picture coordinates, to the drag state. While a drag
// confines the pointer it is kept inside the picture.
class MouseLayer : public QWidget {
public:
    MouseLayer(OverlayDrag& drag, QWidget* parent) : QWidget(parent), m_drag(drag)
    {
        setMouseTracking(true);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    bool confined = false;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        m_drag.Image2MouseDown(event->position().toPoint(), event->modifiers());
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        QPoint at = event->position().toPoint();
        if (confined && !rect().contains(at)) {
            at = QPoint(std::clamp(at.x(), 0, width() - 1), std::clamp(at.y(), 0, height() - 1));
            QCursor::setPos(mapToGlobal(at));
        }
        m_drag.Image2MouseMove(at, event->buttons(), event->modifiers());
    }
    void mouseReleaseEvent(QMouseEvent* event) override { m_drag.Image2MouseUp(event->modifiers()); }
    void mouseDoubleClickEvent(QMouseEvent*) override { m_drag.Image2DblClick(); }

private:
    OverlayDrag& m_drag;
};

QLabel* captionLabel(QWidget* parent, const char* name)
{
    auto* label = named(new QLabel(parent), name);
    label->setTextFormat(Qt::PlainText);
    label->setContentsMargins(0, 0, 0, 0);
    label->setMargin(0);
    // Not the area's dark roles: the caption's own colours.
    label->setBackgroundRole(QPalette::Window);
    label->setForegroundRole(QPalette::WindowText);
    return label;
}

} // namespace

SnapshotView::SnapshotView(SettingsModel& settings, CameraPreview& preview, SnapshotPass& pass,
                           QWidget* parent)
    : QWidget(parent), m_settings(settings), m_preview(preview), m_pass(pass), m_drag(pass.overlayDrag())
{
    setObjectName("Panel19");
    setMouseTracking(true);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Dark);
    Image1 = named(new QLabel(this), "Image1");
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label25 = captionLabel(this, "Label25");
    Label49 = captionLabel(this, "Label49");
    Panel67 = named(new QFrame(this), "Panel67");
    Panel67->setStyleSheet("background-color: red;");
    Panel67->hide();
    Image2 = named(new MouseLayer(m_drag, this), "Image2");

    connect(&pass, &SnapshotPass::imageChanged, this, &SnapshotView::showImage);
    connect(&pass, &SnapshotPass::captionsChanged, this, &SnapshotView::showCaptions);
    connect(&preview, &CameraPreview::videoSizeChanged, this, &SnapshotView::placePicture);
    settings.watch(
        this,
        [](const Settings& s) {
            const CameraSettings& c = s.Camera;
            return std::tuple(c.X, c.Y, c.Xt, c.Yt, c.Overlay, c.cbText, s.Archiver);
        },
        [this](const Settings&) { showCaptions(); });

    connect(&m_drag, &OverlayDrag::captionRaised, this, [this](OverlayCaption caption) {
        (caption == OverlayCaption::Date ? Label25 : Label49)->raise();
        Panel67->raise();
        Image2->raise();
    });
    connect(&m_drag, &OverlayDrag::cursorChanged, Image2,
            [this](Qt::CursorShape shape) { Image2->setCursor(shape); });
    connect(&m_drag, &OverlayDrag::pointerConfined, this, &SnapshotView::confinePointer);
    connect(&m_drag, &OverlayDrag::markerShown, this, [this](int row) {
        // A 3-pixel line across the area, centred on the row.
        Panel67->setGeometry(0, m_preview.videoSize().imageTop + row - 1, width(), 3);
        Panel67->show();
        Panel67->raise();
        Image2->raise();
    });
    connect(&m_drag, &OverlayDrag::markerHidden, Panel67, &QWidget::hide);

    placePicture();
    showCaptions();
}

void SnapshotView::placePicture()
{
    const VideoSize& size = m_preview.videoSize();
    setFixedSize(displayAreaSize(size));
    const QRect picture(size.imageLeft, size.imageTop, size.videoWidth, size.videoHeight);
    Image1->setGeometry(picture);
    Image2->setGeometry(picture);
}

void SnapshotView::showImage(const QImage& image)
{
    Image1->setPixmap(QPixmap::fromImage(image));
}

void SnapshotView::showCaptions()
{
    const auto s = m_settings.snapshot();
    if (!m_style || !(m_styleOf == s->Archiver)) {
        m_style = OverlayStyle::fromSettings(s->Archiver);
        m_styleOf = s->Archiver;
    }
    const OverlayStyle& style = *m_style;
    auto show = [&](QLabel* label, const QString& text, QPoint at, bool enabled) {
        if (label->font() != style.font) {
            label->setFont(style.font);
        }
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, style.colour);
        palette.setColor(QPalette::Window, style.background);
        label->setPalette(palette);
        label->setAutoFillBackground(!style.transparent);
        label->setText(text);
        // The size the drag rules use for it.
        label->setGeometry(QRect(at, captionSize(text, style.font)));
        label->setVisible(enabled && !text.isEmpty());
    };
    show(Label25, m_pass.dateCaption(), QPoint(s->Camera.X, s->Camera.Y), s->Camera.Overlay);
    show(Label49, m_pass.textCaption(), QPoint(s->Camera.Xt, s->Camera.Yt), s->Camera.cbText);
}

void SnapshotView::confinePointer(bool confined)
{
    static_cast<MouseLayer*>(Image2)->confined = confined;
}

void SnapshotView::mouseMoveEvent(QMouseEvent* event)
{
    m_drag.Panel19MouseMove();
    QWidget::mouseMoveEvent(event);
}

} // namespace kestrelon
