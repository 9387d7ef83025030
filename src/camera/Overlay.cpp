#include "camera/Overlay.h"

#include "core/Colours.h"
#include "core/DrawingFont.h"

#include <QFontMetrics>
#include <QPainter>

namespace kestrelon {

OverlayStyle OverlayStyle::fromSettings(const ArchiverSettings& archiver)
{
    OverlayStyle s;
    s.font = drawingFont(archiver.FontName, archiver.FontSize, archiver.FontStyle);
    s.colour = QColor::fromRgb(colourToRgb(archiver.Colour1));
    s.background = QColor::fromRgb(colourToRgb(archiver.BackCol));
    s.transparent = archiver.Transp;
    return s;
}

std::string overlayDateText(const std::string& pattern, const DateTimeParts& time)
{
    return formatDateTime(pattern.empty() ? std::string_view("c") : std::string_view(pattern), time);
}

QSize captionSize(const QString& text, const QFont& font)
{
    if (text.isEmpty()) {
        return {0, 0};
    }
    const QFontMetrics metrics(font);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void drawOverlays(Image& image, const OverlayStyle& style, const std::vector<Caption>& captions,
                  QPoint imageOffset)
{
    if (image.empty()) {
        return;
    }
    QImage canvas = image.wrap();
    QPainter painter(&canvas);
    painter.setFont(style.font);
    painter.setPen(style.colour);
    for (const Caption& caption : captions) {
        const QSize size = captionSize(caption.text, style.font);
        if (size.isEmpty()) {
            continue;
        }
        const QRect cell(caption.position - imageOffset, size);
        if (!style.transparent) {
            painter.fillRect(cell, style.background);
        }
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption.text);
    }
}

} // namespace kestrelon
