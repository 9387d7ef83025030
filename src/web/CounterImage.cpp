#include "web/CounterImage.h"

#include "core/Colours.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImageWriter>
#include <QPainter>

#include <cmath>

namespace kestrelon {

CounterStyle CounterStyle::fromSettings(const WebServeSettings& web, int counter)
{
    CounterStyle s;
    if (counter == 2) {
        s.fontName = web.CounterFontName2;
        s.fontSize = web.CounterFontSize2;
        s.fontStyle = web.CounterFontStyle2;
        s.textColour = web.TextColour2;
        s.backColour = web.Colour2;
    } else {
        s.fontName = web.CounterFontName;
        s.fontSize = web.CounterFontSize;
        s.fontStyle = web.CounterFontStyle;
        s.textColour = web.TextColour;
        s.backColour = web.Colour1;
    }
    return s;
}

QFont counterFont(const CounterStyle& style)
{
    QFont font(QString::fromStdString(style.fontName));
    // A stored size below 1 point would give no font at all.
    int points = std::max(1, std::min(style.fontSize, 1000));
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(points * kCounterDpi / 72.0))));
    font.setBold(style.fontStyle & 1);
    font.setItalic(style.fontStyle & 2);
    font.setUnderline(style.fontStyle & 4);
    font.setStrikeOut(style.fontStyle & 8);
    return font;
}

QImage drawCounterImage(const std::string& text, const CounterStyle& style)
{
    const QFont font = counterFont(style);
    const QString qtext = QString::fromStdString(text);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(qtext);
    const int height = qtext.isEmpty() ? 0 : metrics.height();
    if (width <= 0 || height <= 0) {
        return {};
    }
    QImage image(width, height, QImage::Format_RGB32);
    const int dotsPerMeter = static_cast<int>(std::lround(kCounterDpi / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(QColor::fromRgb(colourToRgb(style.backColour)));
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(colourToRgb(style.textColour)));
    painter.drawText(QRect(0, 0, width, height), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, qtext);
    painter.end();
    return image;
}

QByteArray bmpBytes(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    writer.write(image.convertToFormat(QImage::Format_RGB888));
    return bytes;
}

} // namespace kestrelon
