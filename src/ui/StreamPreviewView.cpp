#include "ui/StreamPreviewView.h"

#include "streaming/CapturePreview.h"

#include <QImage>
#include <QPainter>

namespace kestrelon {

StreamPreviewView::StreamPreviewView(CapturePreview& preview, QWidget* parent)
    : QWidget(parent), m_preview(preview)
{
    setObjectName("VideoWindow1");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(kWidth, kHeight);
    // Several frames that arrive while the window is busy come as one notice.
    connect(&preview, &CapturePreview::frameArrived, this, qOverload<>(&QWidget::update));
    connect(&preview, &CapturePreview::runningChanged, this, qOverload<>(&QWidget::update));
}

void StreamPreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Dark));
    const std::shared_ptr<const VideoFrame> frame = m_preview.latestFrame();
    if (!frame || frame->empty()) {
        return;
    }
    // The frame's rows are packed blue, green, red: drawn straight from its pixels.
    const QImage image(frame->bgr.data(), frame->width, frame->height, frame->width * 3,
                       QImage::Format_BGR888);
    const QSize scaled = image.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - scaled.width()) / 2, (height() - scaled.height()) / 2), scaled);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
}

} // namespace kestrelon
