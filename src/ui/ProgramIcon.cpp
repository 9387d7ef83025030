#include "ui/ProgramIcon.h"

#include <QPainter>
#include <QPixmap>

namespace kestrelon {

namespace {

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 128), size / 16.0));
    painter.setBrush(QColor(0, 0, 255));
    const double margin = size / 16.0;
    painter.drawEllipse(QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(size * 5 / 8);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, "K");
    return pixmap;
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        icon.addPixmap(drawIcon(size));
    }
    // An installed program has its icon in the icon theme, the one its menu entry shows.
    return QIcon::fromTheme("kestrelon", icon);
}

} // namespace kestrelon
