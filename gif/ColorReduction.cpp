#include "gif/ColorReduction.h"

#include <algorithm>
#include <cstring>

TPalette MakeNetscapePalette()
{
    TPalette palette;
    palette.reserve(216);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette.append(qRgb(51 * r, 51 * g, 51 * b));
    return palette;
}

// ---------------------------------------------------------------------------------------
// TDitherEngine

TDitherEngine::TDitherEngine(int width, TColorLookup &lookup) : lookup(lookup), width(width) {}

uint8_t TDitherEngine::DitherPixel(uint8_t &red, uint8_t &green, uint8_t &blue)
{
    const uint8_t index = lookup.MapColor(red, green, blue);
    column += direction;
    return index;
}

void TDitherEngine::NextRow()
{
    direction = -direction;
    column = direction > 0 ? 0 : width - 1;
}

// ---------------------------------------------------------------------------------------
// TFloydSteinbergDitherer

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup &lookup) : TDitherEngine(width, lookup)
{
    for (Channel &channel : channels)
        channel.cells.assign(size_t(std::max(width, 0)) + 2 * Margin, 0);
}

// The pixel's value corrected by the error that reached it (from the row above and from the
// pixel before it), rounded and kept within 0..255.
uint8_t TFloydSteinbergDitherer::Adjust(Channel &channel, uint8_t value) const
{
    const int32_t error = channel.cells[size_t(column + Margin)] + channel.ahead;
    return uint8_t(std::clamp(value + (error + 8) / 16, 0, 255));
}

// Spreads one channel's error: 7 to the next pixel of the row, 3 behind, 5 below and 1 ahead
// on the next row. The cell below is still this row's input until the pixel is done, so the
// share the previous pixel had for it waits in belowAhead.
void TFloydSteinbergDitherer::Spread(Channel &channel, int error)
{
    int32_t *cells = channel.cells.data() + Margin;
    cells[column] = 5 * error + channel.belowAhead;
    cells[column - direction] += 3 * error;
    channel.belowAhead = error;
    channel.ahead = 7 * error;
}

uint8_t TFloydSteinbergDitherer::DitherPixel(uint8_t &red, uint8_t &green, uint8_t &blue)
{
    const uint8_t wanted[3] = {Adjust(channels[0], red), Adjust(channels[1], green), Adjust(channels[2], blue)};
    red = wanted[0];
    green = wanted[1];
    blue = wanted[2];
    const uint8_t index = lookup.MapColor(red, green, blue);
    const uint8_t chosen[3] = {red, green, blue};
    for (int c = 0; c < 3; ++c)
        Spread(channels[c], wanted[c] - chosen[c]);
    column += direction;
    return index;
}

void TFloydSteinbergDitherer::LeaveOutColumn()
{
    for (Channel &channel : channels) {
        channel.cells[size_t(column + Margin)] = channel.belowAhead;
        channel.belowAhead = 0;
        channel.ahead = 0;
    }
}

void TFloydSteinbergDitherer::NextRow()
{
    for (Channel &channel : channels) {
        // Shares that fell beside the row are dropped.
        channel.cells.front() = 0;
        channel.cells.back() = 0;
        channel.ahead = 0;
        channel.belowAhead = 0;
    }
    TDitherEngine::NextRow();
}

// ---------------------------------------------------------------------------------------
// TDIBWriter

namespace {
constexpr int InfoHeaderSize = 40;
constexpr int ColorTableEntries = 256;

void Put16(char *at, uint32_t value)
{
    at[0] = char(value & 0xFF);
    at[1] = char((value >> 8) & 0xFF);
}

void Put32(char *at, uint32_t value)
{
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

int BitCount(TPixelFormat format) { return format == TPixelFormat::pf8bit ? 8 : 24; }
} // namespace

TDIBWriter::TDIBWriter(TBitmap &bitmap, TPixelFormat format, int width, int height, const TPalette &palette)
    : TDIB(bitmap, format), width(width), height(height), palette(palette.mid(0, ColorTableEntries))
{
    if (format != TPixelFormat::pf8bit && format != TPixelFormat::pf24bit)
        throw EInvalidGraphic("Unsupported PixelFormat");
    if (width <= 0 || height <= 0)
        throw EInvalidGraphic("Invalid image dimensions");
    rowSize = int(((int64_t(width) * BitCount(format) + 31) / 32) * 4);
}

TDIBWriter::~TDIBWriter()
{
    // A writer that could not hand its pixels over leaves the bitmap as it was; callers that
    // must know call Finish themselves.
    try {
        Finish();
    } catch (...) {
    }
}

int TDIBWriter::HeaderSize() const
{
    return InfoHeaderSize + (pixelFormat == TPixelFormat::pf8bit ? 4 * ColorTableEntries : 0);
}

void TDIBWriter::MakeBuffer()
{
    const int64_t pixelBytes = int64_t(rowSize) * height;
    if (int64_t(width) * height > MaxGraphicPixels)
        throw EOutOfMemory("Failed to allocate memory for GIF DIB");
    try {
        dib = QByteArray(qsizetype(HeaderSize() + pixelBytes), '\0');
    } catch (const std::bad_alloc &) {
        dib = QByteArray();
        throw EOutOfMemory("Failed to allocate memory for GIF DIB");
    }
    if (dib.isEmpty())
        throw EInvalidGraphic("Image has no DIB");
    char *header = dib.data();
    Put32(header, InfoHeaderSize);
    Put32(header + 4, uint32_t(width));
    Put32(header + 8, uint32_t(height));   // positive: rows bottom-up
    Put16(header + 12, 1);
    Put16(header + 14, uint32_t(BitCount(pixelFormat)));
    Put32(header + 16, 0);                 // no compression
    Put32(header + 20, uint32_t(pixelBytes));
    if (pixelFormat == TPixelFormat::pf8bit) {
        Put32(header + 32, ColorTableEntries);
        Put32(header + 36, uint32_t(palette.size()));
        char *table = header + InfoHeaderSize;
        for (int i = 0; i < palette.size(); ++i) {
            table[4 * i] = char(qBlue(palette[i]));
            table[4 * i + 1] = char(qGreen(palette[i]));
            table[4 * i + 2] = char(qRed(palette[i]));
        }
    }
}

uint8_t *TDIBWriter::ScanLine(int row)
{
    if (row < 0 || row >= height)
        throw EInvalidGraphicOperation("Scan line index out of range");
    if (dib.isEmpty())
        MakeBuffer();
    return reinterpret_cast<uint8_t *>(dib.data()) + HeaderSize() + int64_t(height - 1 - row) * rowSize;
}

void TDIBWriter::Finish()
{
    if (finished)
        return;
    finished = true;
    if (dib.isEmpty())
        MakeBuffer();
    const bool indexed = pixelFormat == TPixelFormat::pf8bit;
    QImage picture(width, height, indexed ? QImage::Format_Indexed8 : QImage::Format_BGR888);
    if (picture.isNull())
        throw EOutOfMemory("Failed to allocate memory for GIF DIB");
    if (indexed) {
        // Entries beyond the palette's own are black; no pixel of a well-formed picture uses them.
        TPalette table(ColorTableEntries, qRgb(0, 0, 0));
        const auto *entries = reinterpret_cast<const uint8_t *>(dib.constData()) + InfoHeaderSize;
        for (int i = 0; i < ColorTableEntries; ++i)
            table[i] = qRgb(entries[4 * i + 2], entries[4 * i + 1], entries[4 * i]);
        picture.setColorTable(table);
    }
    const size_t usedBytes = size_t(width) * (indexed ? 1 : 3);
    const auto *pixels = reinterpret_cast<const uint8_t *>(dib.constData()) + HeaderSize();
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), pixels + int64_t(height - 1 - y) * rowSize, usedBytes);
    dib = QByteArray();
    bitmap.SetImage(picture, pixelFormat);
}
