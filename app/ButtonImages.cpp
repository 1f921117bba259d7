#include "app/ButtonImages.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QPixmap>

QImage DrawButtonImage(ButtonImageKind kind, QColor ground)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(ground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink(0, 0, 0);
    p.setPen(ink);
    switch (kind) {
    case ButtonImageKind::New:
        p.setBrush(QColor(255, 255, 240));
        p.drawPolygon(QPolygon({{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}}));
        p.drawLine(10, 1, 10, 4);
        p.drawLine(10, 4, 13, 4);
        break;
    case ButtonImageKind::Open:
        p.setBrush(QColor(230, 190, 60));
        p.drawPolygon(QPolygon({{1, 4}, {5, 4}, {6, 5}, {13, 5}, {13, 13}, {1, 13}}));
        p.setBrush(QColor(250, 220, 110));
        p.drawPolygon(QPolygon({{3, 7}, {15, 7}, {13, 13}, {1, 13}}));
        break;
    case ButtonImageKind::Random:
        p.setBrush(QColor(255, 255, 255));
        p.drawRoundedRect(2, 2, 11, 11, 2, 2);
        p.setBrush(ink);
        for (QPoint pip : {QPoint(5, 5), QPoint(10, 10), QPoint(7, 7)})
            p.drawRect(pip.x(), pip.y(), 1, 1);
        break;
    case ButtonImageKind::Order:
        p.setBrush(ink);
        for (int row = 0; row < 3; ++row) {
            p.drawRect(2, 3 + 4 * row, 1, 1);
            p.drawLine(5, 3 + 4 * row, 13, 3 + 4 * row);
        }
        break;
    case ButtonImageKind::Frequency:
        p.setBrush(QColor(0, 0, 160));
        p.drawRect(2, 9, 2, 5);
        p.drawRect(6, 6, 2, 8);
        p.drawRect(10, 2, 2, 12);
        break;
    case ButtonImageKind::ShowAnswer:
        p.setBrush(QColor(255, 255, 0));
        p.drawEllipse(2, 2, 11, 11);
        p.drawText(QRect(2, 2, 12, 12), Qt::AlignCenter, QStringLiteral("A"));
        break;
    case ButtonImageKind::Spaced:
        // A clock: the Item comes back when its time has come.
        p.setBrush(QColor(255, 255, 255));
        p.drawEllipse(1, 1, 13, 13);
        p.drawLine(7, 7, 7, 3);
        p.drawLine(7, 7, 10, 9);
        break;
    }
    return image;
}

QIcon ButtonIcon(const QImage &image, QColor transparentColor)
{
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setMask(pixmap.createMaskFromColor(transparentColor, Qt::MaskInColor));
    return QIcon(pixmap);
}
