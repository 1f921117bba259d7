#include "platform/ProgramIcons.h"

#include <QBuffer>
#include <QPainter>

namespace {
void Card(QPainter &p, QRectF rect, QColor fill, const QString &letter)
{
    p.setPen(QPen(QColor(30, 60, 140), rect.width() / 24.0));
    p.setBrush(fill);
    p.drawRoundedRect(rect, rect.width() / 10.0, rect.width() / 10.0);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(int(rect.height() * 0.6));
    p.setFont(font);
    p.setPen(QColor(30, 60, 140));
    p.drawText(rect, Qt::AlignCenter, letter);
}
} // namespace

QImage ProgramIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    Card(p, QRectF(s * 0.05, s * 0.08, s * 0.62, s * 0.5), QColor(200, 230, 120), QString());
    Card(p, QRectF(s * 0.2, s * 0.25, s * 0.62, s * 0.5), QColor(250, 240, 110), QStringLiteral("Q"));
    Card(p, QRectF(s * 0.33, s * 0.44, s * 0.62, s * 0.5), QColor(255, 255, 255), QStringLiteral("A"));
    return image;
}

QImage DeckFileIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(QPen(QColor(90, 90, 90), s / 32.0));
    p.setBrush(QColor(252, 252, 246));
    p.drawPolygon(QPolygonF({{s * 0.18, s * 0.04}, {s * 0.64, s * 0.04}, {s * 0.84, s * 0.24},
                             {s * 0.84, s * 0.96}, {s * 0.18, s * 0.96}}));
    Card(p, QRectF(s * 0.28, s * 0.4, s * 0.46, s * 0.36), QColor(250, 240, 110), QStringLiteral("Q"));
    return image;
}

QByteArray PngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
