#include "ui/PreviewView.h"

#include "camera/CameraPreview.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

#include <algorithm>

namespace kestrelon {

QSize displayAreaSize(const VideoSize& size)
{
    return {std::max(CameraPreview::kDisplayWidth, size.imageLeft + size.videoWidth),
            std::max(CameraPreview::kDisplayHeight, size.imageTop + size.videoHeight)};
}

PreviewView::PreviewView(CameraPreview& preview, bool fullScreenView, QWidget* parent)
    : QWidget(parent), m_preview(preview), m_fullScreenView(fullScreenView)
{
    setObjectName(fullScreenView ? "FullScreenPreview" : "VideoWindow");
    setAttribute(Qt::WA_OpaquePaintEvent);
    PopupMenu3 = new QMenu(this);
    PopupMenu3->setObjectName("PopupMenu3");
    popScreen = PopupMenu3->addAction(QString::fromLatin1(CameraPreview::kFullScreen));
    popScreen->setObjectName("popScreen");
    connect(PopupMenu3, &QMenu::aboutToShow, this, &PreviewView::PopupMenu3Popup);
    connect(popScreen, &QAction::triggered, this, &PreviewView::popScreenClick);
    // Several frames that arrive while the window is busy come as one notice.
    connect(&preview, &CameraPreview::frameArrived, this, qOverload<>(&QWidget::update));
    connect(&preview, &CameraPreview::previewChanged, this, qOverload<>(&QWidget::update));
    connect(&preview, &CameraPreview::videoSizeChanged, this, &PreviewView::fitDisplayArea);
    fitDisplayArea();
}

void PreviewView::fitDisplayArea()
{
    if (!m_fullScreenView) {
        setFixedSize(displayAreaSize(m_preview.videoSize()));
    }
    update();
}

void PreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_fullScreenView ? Qt::black : palette().color(QPalette::Dark));
    const std::shared_ptr<const VideoFrame> frame = m_preview.latestFrame();
    if (!frame || frame->empty()) {
        return;
    }
    // The frame's rows are packed blue, green, red: drawn straight from its pixels.
    const QImage image(frame->bgr.data(), frame->width, frame->height, frame->width * 3,
                       QImage::Format_BGR888);
    QRect target;
    if (m_fullScreenView) {
        const QSize scaled = image.size().scaled(size(), Qt::KeepAspectRatio);
        target = QRect(QPoint((width() - scaled.width()) / 2, (height() - scaled.height()) / 2), scaled);
    } else {
        const VideoSize& video = m_preview.videoSize();
        target = QRect(video.imageLeft, video.imageTop, video.videoWidth, video.videoHeight);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
}

void PreviewView::PopupMenu3Popup()
{
    popScreen->setEnabled(m_preview.popScreenEnabled());
    popScreen->setText(m_preview.popScreenCaption());
}

void PreviewView::popScreenClick()
{
    m_preview.popScreenClick();
}

void PreviewView::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu3->popup(event->globalPos());
}

void PreviewView::keyPressEvent(QKeyEvent* event)
{
    if (m_fullScreenView && event->key() == Qt::Key_Escape && m_preview.fullScreen()) {
        m_preview.popScreenClick();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace kestrelon
