#include "platform/RasterImage.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

TRasterImage::TRasterImage(const QByteArray &format)
    : TBitmap(), format(format), invalid(format.toUpper().toStdString() + " image is not valid")
{
}

void TRasterImage::Draw(TCanvas &canvas, const QRect &rect)
{
    if (!GetEmpty() && !rect.isEmpty())
        canvas.StretchDrawImage(rect, Image());
}

QImage TRasterImage::ToImage() const { return Image().convertToFormat(QImage::Format_ARGB32); }

void TRasterImage::LoadFromStream(QIODevice &stream)
{
    QByteArray data = ReadRestOfStream(stream, invalid);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    // The size comes from the header: a picture too large is refused before its pixels are.
    const QSize size = reader.size();
    if (!size.isValid())
        throw EInvalidGraphic(invalid);
    CheckGraphicSize(size.width(), size.height(), invalid);
    const QImage image = reader.read();
    if (image.isNull())
        throw EInvalidGraphic(invalid);
    SetImage(image.convertToFormat(QImage::Format_ARGB32), TPixelFormat::pf32bit);
}

void TRasterImage::SaveToStream(QIODevice &stream)
{
    QImageWriter writer(&stream, format);
    if (!writer.write(Image()))
        throw EInvalidGraphic("Unable to write " + format.toUpper().toStdString() + " image");
}
