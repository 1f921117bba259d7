#include "platform/Bitmap.h"

#include <QBuffer>
#include <QPainter>

#include <cstring>

namespace {
const char *const InvalidBitmap = "Bitmap image is not valid";

QImage::Format StorageFormat(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
        return QImage::Format_Mono;
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
        return QImage::Format_Indexed8;
    case TPixelFormat::pf24bit:
        return QImage::Format_BGR888;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf32bit:
        break;
    }
    return QImage::Format_ARGB32;
}

int PaletteSize(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
        return 2;
    case TPixelFormat::pf4bit:
        return 16;
    case TPixelFormat::pf8bit:
        return 256;
    default:
        return 0;
    }
}

TPalette DefaultPalette(TPixelFormat format)
{
    TPalette p;
    switch (format) {
    case TPixelFormat::pf1bit:
        p = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
        break;
    case TPixelFormat::pf4bit:
        p = {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
             qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
             qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
             qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
        break;
    case TPixelFormat::pf8bit:
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    p.append(qRgb(51 * r, 51 * g, 51 * b));
        for (int i = 0; p.size() < 256; ++i)
            p.append(qRgb(i * 255 / 39, i * 255 / 39, i * 255 / 39));
        break;
    default:
        break;
    }
    return p;
}

quint16 U16(const QByteArray &d, int at) { return quint16(uchar(d[at]) | uchar(d[at + 1]) << 8); }
quint32 U32(const QByteArray &d, int at) { return quint32(U16(d, at)) | quint32(U16(d, at + 2)) << 16; }

// Checks the BMP headers before Qt allocates anything; returns the bit count.
int CheckBmpHeader(const QByteArray &data)
{
    if (data.size() < 26 || data[0] != 'B' || data[1] != 'M')
        throw EInvalidGraphic(InvalidBitmap);
    const quint32 offBits = U32(data, 10);
    const quint32 infoSize = U32(data, 14);
    long long width, height;
    int bitCount, compression = 0;
    if (infoSize == 12) {
        width = U16(data, 18);
        height = U16(data, 20);
        bitCount = U16(data, 24);
    } else {
        if (infoSize < 40 || data.size() < 14 + 40)
            throw EInvalidGraphic(InvalidBitmap);
        width = qint32(U32(data, 18));
        height = qint32(U32(data, 22));
        bitCount = U16(data, 28);
        compression = int(U32(data, 30));
    }
    if (height < 0)
        height = -height;
    CheckGraphicSize(width, height, InvalidBitmap);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        throw EInvalidGraphic(InvalidBitmap);
    // Uncompressed pixels must all be there: Qt would keep a half-read picture.
    if (compression == 0 || compression == 3) {
        const long long rowBytes = ((width * bitCount + 31) / 32) * 4;
        if (offBits > quint32(data.size()) || rowBytes * height > data.size() - (long long)offBits)
            throw EInvalidGraphic(InvalidBitmap);
    }
    return bitCount;
}

TPixelFormat FormatForBits(int bits)
{
    switch (bits) {
    case 1:
        return TPixelFormat::pf1bit;
    case 4:
        return TPixelFormat::pf4bit;
    case 8:
        return TPixelFormat::pf8bit;
    case 32:
        return TPixelFormat::pf32bit;
    default:
        return TPixelFormat::pf24bit;
    }
}

// Converts any QImage to the storage of a pixel format, keeping or making a palette.
QImage ToStorage(const QImage &source, TPixelFormat format, const TPalette &palette)
{
    const QImage::Format target = StorageFormat(format);
    if (source.isNull())
        return {};
    const int n = PaletteSize(format);
    if (n == 0)
        return source.format() == target ? source : source.convertToFormat(target);
    TPalette table = palette.isEmpty() ? DefaultPalette(format) : palette;
    if (table.size() > n)
        table.resize(n);
    QImage result;
    const bool sameKind = (target == QImage::Format_Mono && source.depth() == 1) ||
                          (target == QImage::Format_Indexed8 && source.format() == QImage::Format_Indexed8);
    if (sameKind && (format != TPixelFormat::pf4bit || source.colorCount() <= 16)) {
        result = source.format() == target ? source : source.convertToFormat(target);
        if (palette.isEmpty() && result.colorCount() > 0)
            return result;
        // Same indexes, new colour table.
        while (table.size() < result.colorCount())
            table.append(qRgb(0, 0, 0));
        if (result.colorTable() != table)   // setting it copies the pixels of a shared image
            result.setColorTable(table);
        return result;
    }
    result = source.convertToFormat(QImage::Format_RGB32).convertToFormat(target, table, Qt::ThresholdDither);
    return result;
}
} // namespace

// --- TBitmapCanvas ------------------------------------------------------------------------

TBitmapCanvasWork::TBitmapCanvasWork(QImage image) : work(std::move(image)), painter(std::make_unique<QPainter>())
{
    if (!work.isNull())
        painter->begin(&work);
}

QImage TBitmapCanvas::Open(TBitmap &owner)
{
    if (owner.canvasOpen)
        throw Exception("Canvas does not allow drawing");
    owner.canvasOpen = true;
    return owner.image.isNull() ? QImage() : owner.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TBitmapCanvas::TBitmapCanvas(TBitmap &owner_)
    : TBitmapCanvasWork(Open(owner_)), TCanvas(*TBitmapCanvasWork::painter), owner(owner_)
{
}

TBitmapCanvas::~TBitmapCanvas()
{
    if (painter->isActive())
        painter->end();
    owner.canvasOpen = false;
    if (!work.isNull()) {
        owner.image = ToStorage(work.convertToFormat(QImage::Format_ARGB32), owner.format, owner.GetPalette());
        owner.Changed();
    }
}

// --- TBitmap ------------------------------------------------------------------------------

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat pixelFormat) : format(pixelFormat)
{
    SetSize(width, height);
}

int TBitmap::BitsPerPixel(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf24bit:
        return 24;
    default:
        return 32;
    }
}

void TBitmap::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *b = qobject_cast<const TBitmap *>(&source)) {
        image = b->image;
        format = b->format;
        transparentMode = b->transparentMode;
        transparentColor = b->transparentColor;
        explicitMask = b->explicitMask;
        TGraphic::SetTransparent(b->GetTransparent());
        Changed();
        return;
    }
    if (source.GetEmpty()) {
        image = QImage();
    } else {
        image = ToStorage(source.ToImage(), TPixelFormat::pf32bit, {});
        format = TPixelFormat::pf32bit;
    }
    explicitMask = QImage();
    TGraphic::SetTransparent(source.GetTransparent());
    Changed();
}

TPalette TBitmap::GetPalette() const
{
    if (!PaletteSize(format))
        return {};
    return image.isNull() ? pendingPalette : image.colorTable();
}

void TBitmap::SetPalette(const TPalette &palette)
{
    const int n = PaletteSize(format);
    if (n == 0)
        return;
    TPalette table = palette.mid(0, n);
    if (image.isNull()) {
        pendingPalette = table;
        return;
    }
    if (table.isEmpty())
        table = DefaultPalette(format);
    image.setColorTable(table);
    Changed();
}

void TBitmap::SetSize(int width, int height)
{
    if (width == GetWidth() && height == GetHeight())
        return;
    if (width <= 0 || height <= 0) {
        image = QImage();
    } else {
        CheckGraphicSize(width, height, "Bitmap is too large");
        QImage fresh(width, height, StorageFormat(format));
        if (fresh.isNull())
            throw EInvalidGraphic("Out of system resources");
        const int n = PaletteSize(format);
        if (n)
            fresh.setColorTable(!image.isNull()           ? image.colorTable()
                                : !pendingPalette.isEmpty() ? pendingPalette.mid(0, n)
                                                            : DefaultPalette(format));
        fresh.fill(0);
        if (!image.isNull()) {
            // Keep the pixels that fit: copy row bytes, cut to the narrower width.
            const int rows = qMin(height, image.height());
            const int bytes = int(qMin<qsizetype>(fresh.bytesPerLine(), image.bytesPerLine()));
            for (int y = 0; y < rows; ++y)
                std::memcpy(fresh.scanLine(y), image.constScanLine(y), bytes);
        }
        image = fresh;
    }
    explicitMask = QImage();
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat value)
{
    if (value == format)
        return;
    const TPalette keep = PaletteSize(value) && PaletteSize(format) ? image.colorTable() : TPalette{};
    image = ToStorage(image, value, keep);
    format = value;
    Changed();
}

uchar *TBitmap::ScanLine(int row)
{
    if (row < 0 || row >= image.height())
        throw EInvalidGraphic("Scan line index out of range");
    Invalidate();
    return image.scanLine(row);
}

const uchar *TBitmap::ScanLine(int row) const
{
    if (row < 0 || row >= image.height())
        throw EInvalidGraphic("Scan line index out of range");
    return image.constScanLine(row);
}

int TBitmap::PixelIndex(int x, int y) const
{
    if (!image.valid(x, y))
        return -1;
    return PaletteSize(format) ? image.pixelIndex(x, y) : int(image.pixel(x, y));
}

void TBitmap::SetPixelIndex(int x, int y, int index)
{
    if (!image.valid(x, y) || !PaletteSize(format))
        return;
    Invalidate();
    image.setPixel(x, y, uint(index));
}

QRgb TBitmap::Pixel(int x, int y) const { return image.valid(x, y) ? image.pixel(x, y) : 0; }

void TBitmap::SetPixel(int x, int y, QRgb color)
{
    if (!image.valid(x, y))
        return;
    Invalidate();
    if (PaletteSize(format)) {
        // Nearest palette entry.
        const TPalette table = image.colorTable();
        int best = 0, bestDistance = INT_MAX;
        for (int i = 0; i < table.size(); ++i) {
            const int dr = qRed(table[i]) - qRed(color), dg = qGreen(table[i]) - qGreen(color),
                      db = qBlue(table[i]) - qBlue(color);
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        image.setPixel(x, y, uint(best));
    } else {
        image.setPixel(x, y, color);
    }
}

std::unique_ptr<TBitmapCanvas> TBitmap::Canvas() { return std::make_unique<TBitmapCanvas>(*this); }

void TBitmap::SetTransparentMode(TTransparentMode mode)
{
    if (mode != transparentMode) {
        transparentMode = mode;
        if (GetTransparent())
            Changed();
    }
}

QRgb TBitmap::TransparentColor() const
{
    if (transparentMode == TTransparentMode::tmFixed || image.isNull())
        return transparentColor;
    return image.pixel(0, image.height() - 1);
}

void TBitmap::SetTransparentColor(QRgb color)
{
    transparentColor = color;
    transparentMode = TTransparentMode::tmFixed;
    if (GetTransparent())
        Changed();
}

QImage TBitmap::Mask() const
{
    if (image.isNull())
        return {};
    if (!explicitMask.isNull() && explicitMask.size() == image.size())
        return explicitMask.format() == QImage::Format_Mono ? explicitMask : explicitMask.convertToFormat(QImage::Format_Mono);
    QImage mask(image.size(), QImage::Format_Mono);
    mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mask.fill(0);
    const QRgb key = TransparentColor() & 0xFFFFFF;
    const bool alpha = format == TPixelFormat::pf32bit || format == TPixelFormat::pfDevice;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        uchar *bits = mask.scanLine(y);
        for (int x = 0; x < argb.width(); ++x)
            if ((row[x] & 0xFFFFFF) == key || (alpha && qAlpha(row[x]) == 0))
                bits[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return mask;
}

void TBitmap::SetMask(const QImage &mask)
{
    explicitMask = mask;
    Changed();
}

void TBitmap::SetImage(const QImage &value, TPixelFormat pixelFormat)
{
    if (!value.isNull())
        CheckGraphicSize(value.width(), value.height(), "Bitmap is too large");
    const TPalette keep = PaletteSize(pixelFormat) && value.colorCount() ? value.colorTable() : TPalette{};
    image = ToStorage(value, pixelFormat, keep);
    format = pixelFormat;
    if (!explicitMask.isNull() && explicitMask.size() != image.size())
        explicitMask = QImage();
    Changed();
}

void TBitmap::Changed()
{
    Invalidate();
    TGraphic::Changed();
}

QImage TBitmap::Displayable() const
{
    if (image.isNull())
        return {};
    if (!displayValid) {
        displayCache = Render();
        displayValid = true;
    }
    return displayCache;
}

QImage TBitmap::Render() const
{
    if (!GetTransparent())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const QImage mask = Mask();
    for (int y = 0; y < argb.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(argb.scanLine(y));
        const uchar *bits = mask.constScanLine(y);
        for (int x = 0; x < argb.width(); ++x)
            if (bits[x >> 3] & (0x80 >> (x & 7)))
                row[x] = 0;
    }
    return argb;
}

QImage TBitmap::ToImage() const { return Displayable().convertToFormat(QImage::Format_ARGB32); }

void TBitmap::Draw(TCanvas &canvas, const QRect &rect)
{
    if (image.isNull() || rect.isEmpty())
        return;
    canvas.StretchDrawImage(rect, Displayable());
}

void TBitmap::LoadFromStream(QIODevice &stream)
{
    const QByteArray data = ReadRestOfStream(stream, InvalidBitmap);
    const int bits = CheckBmpHeader(data);
    QImage loaded;
    if (!loaded.loadFromData(data, "BMP") || loaded.isNull())
        throw EInvalidGraphic(InvalidBitmap);
    const TPixelFormat pixelFormat = FormatForBits(bits);
    image = ToStorage(loaded, pixelFormat, {});
    format = pixelFormat;
    explicitMask = QImage();
    Changed();
}

void TBitmap::SaveToStream(QIODevice &stream)
{
    // Written by hand so that every pixel format keeps its bit count (Qt's writer knows no
    // 4-bit and no 32-bit BI_RGB bitmaps).
    if (image.isNull())
        return;
    const int w = image.width(), h = image.height();
    const int bits = BitsPerPixel(format);
    const qint64 rowBytes = ((qint64(w) * bits + 31) / 32) * 4;
    const TPalette palette = GetPalette();
    const qint64 offset = 14 + 40 + 4LL * palette.size();
    QByteArray out;
    out.reserve(int(offset + rowBytes * h));
    auto put16 = [&](quint32 v) { out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto put32 = [&](quint32 v) { put16(v & 0xFFFF); put16(v >> 16); };
    out.append("BM");
    put32(quint32(offset + rowBytes * h));
    put32(0);
    put32(quint32(offset));
    put32(40);
    put32(quint32(w));
    put32(quint32(h));
    put16(1);
    put16(quint32(bits));
    put32(0);
    put32(quint32(rowBytes * h));
    put32(3780);   // 96 pixels per inch
    put32(3780);
    put32(quint32(palette.size()));
    put32(0);
    for (QRgb c : palette) {
        out.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c))).append(char(0));
    }
    QByteArray row(int(rowBytes), 0);
    for (int y = h - 1; y >= 0; --y) {
        row.fill(0);
        const uchar *src = image.constScanLine(y);
        switch (format) {
        case TPixelFormat::pf4bit:
            for (int x = 0; x < w; ++x)
                row[x / 2] = char(uchar(row[x / 2]) | ((src[x] & 0x0F) << ((x & 1) ? 0 : 4)));
            break;
        case TPixelFormat::pf1bit:
            std::memcpy(row.data(), src, size_t((w + 7) / 8));
            break;
        case TPixelFormat::pf8bit:
            std::memcpy(row.data(), src, size_t(w));
            break;
        case TPixelFormat::pf24bit:
            std::memcpy(row.data(), src, size_t(w) * 3);
            break;
        default:
            std::memcpy(row.data(), src, size_t(w) * 4);
            break;
        }
        out.append(row);
    }
    if (stream.write(out) != out.size())
        throw EInvalidGraphic("Unable to write bitmap");
}
