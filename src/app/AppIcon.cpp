#include "AppIcon.h"

#include <QDir>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

const std::vector<int>& AppIconSizes()
{
    static const std::vector<int> sizes{16, 24, 32, 48, 256};
    return sizes;
}

// A flash chip on a dark teal tile with an orange arrow pointing into it:
// firmware going into the device. Drawn on a 64-unit grid.
QImage RenderAppIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    // Tile.
    QLinearGradient tile(0, 0, 0, 64);
    tile.setColorAt(0, QColor(0x1F, 0x6F, 0x7A));
    tile.setColorAt(1, QColor(0x0E, 0x3F, 0x4A));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // Chip body with four pins on each side.
    const QColor pin(0xD8, 0xE4, 0xE6);
    painter.setBrush(pin);
    for (int i = 0; i < 4; ++i) {
        const double y = 28 + i * 7;
        painter.drawRect(QRectF(12, y, 6, 3));
        painter.drawRect(QRectF(46, y, 6, 3));
    }
    painter.setBrush(QColor(0x22, 0x2B, 0x30));
    painter.setPen(QPen(pin, 2));
    painter.drawRoundedRect(QRectF(17, 24, 30, 32), 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(pin);
    painter.drawEllipse(QPointF(23, 30), 2, 2);

    // Arrow down into the chip.
    QPainterPath arrow;
    arrow.moveTo(28, 6);
    arrow.lineTo(36, 6);
    arrow.lineTo(36, 22);
    arrow.lineTo(43, 22);
    arrow.lineTo(32, 35);
    arrow.lineTo(21, 22);
    arrow.lineTo(28, 22);
    arrow.closeSubpath();
    painter.setBrush(QColor(0xF2, 0x8C, 0x28));
    painter.setPen(QPen(QColor(0x0E, 0x3F, 0x4A), 1.5));
    painter.drawPath(arrow);
    painter.end();
    return image;
}

QIcon CreateAppIcon()
{
    QIcon icon;
    for (int size : AppIconSizes())
        icon.addPixmap(QPixmap::fromImage(RenderAppIcon(size)));
    return icon;
}

bool WriteAppIcons(const QString& directory)
{
    for (int size : AppIconSizes()) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(directory).arg(size);
        if (!QDir().mkpath(folder) ||
            !RenderAppIcon(size).save(folder + QStringLiteral("/pellaro-update.png"), "PNG"))
            return false;
    }
    return true;
}
