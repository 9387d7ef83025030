#include "web/CounterImage.h"

#include "core/BmpWriter.h"
#include "core/Colours.h"

#include <QFontMetrics>
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
    return drawingFont(style.fontName, style.fontSize, style.fontStyle);
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
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    const std::string bytes =
        bmpFileBytes(bgr.width(), bgr.height(), bgr.constBits(), size_t(bgr.bytesPerLine()));
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

} // namespace kestrelon
