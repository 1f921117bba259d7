#include "platform/Icon.h"

#include <QBuffer>
#include <QImageReader>

namespace {
const char *const InvalidIcon = "Icon image is not valid";

quint16 U16(const QByteArray &d, qsizetype at) { return quint16(uchar(d[at]) | uchar(d[at + 1]) << 8); }
quint32 U32(const QByteArray &d, qsizetype at) { return quint32(U16(d, at)) | quint32(U16(d, at + 2)) << 16; }

// The ICONDIR and its entries must be whole and point inside the file.
void CheckIconHeader(const QByteArray &data)
{
    if (data.size() < 6 || U16(data, 0) != 0 || (U16(data, 2) != 1 && U16(data, 2) != 2))
        throw EInvalidGraphic(InvalidIcon);
    const int count = U16(data, 4);
    if (count == 0 || data.size() < 6 + 16LL * count)
        throw EInvalidGraphic(InvalidIcon);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * i;
        const quint32 bytes = U32(data, entry + 8), offset = U32(data, entry + 12);
        if (bytes == 0 || offset < 6u + 16u * count || quint64(offset) + bytes > quint64(data.size()))
            throw EInvalidGraphic(InvalidIcon);
    }
}
} // namespace

void TIcon::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *icon = qobject_cast<const TIcon *>(&source)) {
        image = icon->image;
        original = icon->original;
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TIcon::Draw(TCanvas &canvas, const QRect &rect)
{
    if (!image.isNull())
        canvas.StretchDrawImage(rect, image);
}

void TIcon::LoadFromStream(QIODevice &stream)
{
    const QByteArray data = ReadRestOfStream(stream, InvalidIcon);
    CheckIconHeader(data);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, U16(data, 2) == 2 ? "cur" : "ico");
    reader.setDecideFormatFromContent(false);
    if (!reader.canRead())
        throw EInvalidGraphic(InvalidIcon);
    const int count = qMax(1, reader.imageCount());
    int best = -1;
    long long bestScore = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QSize size = reader.size();
        if (!size.isValid())
            continue;
        CheckGraphicSize(size.width(), size.height(), InvalidIcon);
        // Nearest to 32 x 32 first; more colours (taken from the entry's bit count) next.
        const long long distance = qAbs(size.width() * size.height() - 32 * 32);
        const int bitCount = U16(data, 6 + 16 * i + 6);
        const long long score = distance * 64 - bitCount;
        if (best < 0 || score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    if (best < 0)
        throw EInvalidGraphic(InvalidIcon);
    QImage loaded;
    if (!reader.jumpToImage(best) || !reader.read(&loaded) || loaded.isNull()) {
        // Some readers cannot jump back: read from the start again.
        buffer.seek(0);
        QImageReader again(&buffer, U16(data, 2) == 2 ? "cur" : "ico");
        again.setDecideFormatFromContent(false);
        if ((best > 0 && !again.jumpToImage(best)) || !again.read(&loaded) || loaded.isNull())
            throw EInvalidGraphic(InvalidIcon);
    }
    image = loaded.convertToFormat(QImage::Format_ARGB32);
    original = data;
    Changed();
}

void TIcon::SaveToStream(QIODevice &stream)
{
    if (!original.isEmpty()) {
        if (stream.write(original) != original.size())
            throw EInvalidGraphic("Unable to write icon");
        return;
    }
    if (!image.isNull() && !image.save(&stream, "ICO"))
        throw EInvalidGraphic("Unable to write icon");
}

QImage TIcon::Mask() const
{
    if (image.isNull())
        return {};
    QImage mask(image.size(), QImage::Format_Mono);
    mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mask.fill(0);
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uchar *bits = mask.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) == 0)
                bits[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return mask;
}

void TIcon::SetImage(const QImage &value)
{
    if (!value.isNull())
        CheckGraphicSize(value.width(), value.height(), InvalidIcon);
    image = value.convertToFormat(QImage::Format_ARGB32);
    original.clear();
    Changed();
}
