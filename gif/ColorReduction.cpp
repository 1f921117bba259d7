#include "gif/ColorReduction.h"
#include "gif/ColorQuantizer.h"
#include "gif/NearestColorLookup.h"
#include "gif/VarianceQuantizer.h"

#include <algorithm>
#include <cstdlib>
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

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup &lookup)
    : TDitherEngine(width, lookup), cube(dynamic_cast<TNetscapeColorLookup *>(&lookup) != nullptr),
      cells(3 * (size_t(std::max(width, 0)) + 2 * Margin), 0)
{
}

void TFloydSteinbergDitherer::LeaveOutColumn()
{
    int32_t *cell = cells.data() + 3 * (column + Margin);
    for (int c = 0; c < 3; ++c) {
        cell[c] = belowAhead[c];
        belowAhead[c] = 0;
        ahead[c] = 0;
    }
}

namespace {
// The colour cube per channel for every corrected value a pixel can reach: the value is kept
// within 0..255 and mapped to its level, which leaves the difference to the level's value as
// error (also kept times 7, the share for the next pixel). Errors of the cube are at most 50,
// so corrections stay within +-50 and values within -50..305.
struct CubeChannel {
    static constexpr int Low = -64, High = 320;
    int8_t level[High - Low];
    int16_t error[High - Low];
    int16_t error7[High - Low];
    CubeChannel()
    {
        for (int value = Low; value < High; ++value) {
            const int kept = std::clamp(value, 0, 255);
            level[value - Low] = int8_t(TNetscapeColorLookup::Level(kept));
            error[value - Low] = int16_t(kept - 51 * TNetscapeColorLookup::Level(kept));
            error7[value - Low] = int16_t(7 * error[value - Low]);
        }
    }
};
const CubeChannel cubeChannel;
} // namespace

void TFloydSteinbergDitherer::DitherIndexedRow(const uint8_t *indexes, const uint8_t *colors, int leaveOut,
                                               uint8_t *out)
{
    if (cube) {
        if (direction > 0)
            DitherCubeRow<1>(indexes, colors, leaveOut, out);
        else
            DitherCubeRow<-1>(indexes, colors, leaveOut, out);
    } else {
        while (InRow()) {
            const int x = column;
            if (indexes[x] == leaveOut) {
                StepColumn();
                continue;
            }
            const uint8_t *rgb = colors + 3 * indexes[x];
            uint8_t r = rgb[0], g = rgb[1], b = rgb[2];
            out[x] = DitherPixel(r, g, b);
        }
    }
    NextRow();
}

// DitherPixel for the colour cube over a whole row, with the running errors in registers and
// the cube computed from a table.
template <int Direction>
void TFloydSteinbergDitherer::DitherCubeRow(const uint8_t *indexes, const uint8_t *colors, int leaveOut,
                                            uint8_t *out)
{
    // Each channel's running share for the next pixel is the one chain from pixel to pixel:
    // it is looked up from the table already multiplied by 7.
    const int8_t *level = cubeChannel.level - CubeChannel::Low;
    const int16_t *error = cubeChannel.error - CubeChannel::Low;
    const int16_t *error7 = cubeChannel.error7 - CubeChannel::Low;
    int32_t *cells0 = cells.data() + 3 * Margin;
    int32_t ahead0 = ahead[0], ahead1 = ahead[1], ahead2 = ahead[2];
    int32_t below0 = belowAhead[0], below1 = belowAhead[1], below2 = belowAhead[2];
    // (share + 8) div 16, truncated toward zero.
    const auto divide = [](int32_t share) {
        share += 8;
        return (share + ((share >> 31) & 15)) >> 4;
    };
    for (int x = column; x >= 0 && x < width; x += Direction) {
        int32_t *cell = cells0 + 3 * x;
        int32_t *behind = cell - 3 * Direction;
        if (indexes[x] == leaveOut) {
            cell[0] = below0, cell[1] = below1, cell[2] = below2;
            ahead0 = ahead1 = ahead2 = below0 = below1 = below2 = 0;
            continue;
        }
        // The tables seen from the pixel's own value, so that only the correction is added
        // on the chain.
        const uint8_t *rgb = colors + 3 * indexes[x];
        const int v0 = rgb[0], v1 = rgb[1], v2 = rgb[2];
        const int q0 = divide(cell[0] + ahead0), q1 = divide(cell[1] + ahead1), q2 = divide(cell[2] + ahead2);
        ahead0 = (error7 + v0)[q0], ahead1 = (error7 + v1)[q1], ahead2 = (error7 + v2)[q2];
        out[x] = uint8_t(36 * (level + v0)[q0] + 6 * (level + v1)[q1] + (level + v2)[q2]);
        const int32_t e0 = (error + v0)[q0], e1 = (error + v1)[q1], e2 = (error + v2)[q2];
        cell[0] = 5 * e0 + below0, cell[1] = 5 * e1 + below1, cell[2] = 5 * e2 + below2;
        behind[0] += 3 * e0, behind[1] += 3 * e1, behind[2] += 3 * e2;
        below0 = e0, below1 = e1, below2 = e2;
    }
    column = Direction > 0 ? width : -1;
}

void TFloydSteinbergDitherer::NextRow()
{
    // Shares that fell beside the row are dropped.
    std::fill_n(cells.begin(), 3 * Margin, 0);
    std::fill_n(cells.end() - 3 * Margin, 3 * Margin, 0);
    for (int c = 0; c < 3; ++c)
        ahead[c] = belowAhead[c] = 0;
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

// ---------------------------------------------------------------------------------------
// Palettes

const TPalette &SystemPalette20()
{
    static const TPalette palette = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),   qRgb(0, 0, 128),
        qRgb(128, 0, 128),   qRgb(0, 128, 128),   qRgb(192, 192, 192), qRgb(192, 220, 192), qRgb(166, 202, 240),
        qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128), qRgb(255, 0, 0),     qRgb(0, 255, 0),
        qRgb(255, 255, 0),   qRgb(0, 0, 255),     qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255)};
    return palette;
}

TPalette MakeGrayScalePalette()
{
    TPalette palette;
    palette.reserve(256);
    for (int i = 0; i < 256; ++i)
        palette.append(qRgb(i, i, i));
    return palette;
}

TPalette MakeMonochromePalette() { return {qRgb(0, 0, 0), qRgb(255, 255, 255)}; }

TPalette MakeSystemGray4Palette()
{
    return {qRgb(0, 0, 0), qRgb(128, 128, 128), qRgb(192, 192, 192), qRgb(255, 255, 255)};
}

TPalette MakeHalftonePalette()
{
    const TPalette &system = SystemPalette20();
    TPalette palette = system.mid(0, 10);
    for (QRgb c : MakeNetscapePalette())
        if (!system.contains(c))
            palette.append(c);
    // Greys between the cube's levels fill the rest.
    for (int i = 1; palette.size() < 246; ++i) {
        const int level = (i * 255 + 14) / 29;
        palette.append(qRgb(level, level, level));
    }
    return palette + system.mid(10, 10);
}

// ---------------------------------------------------------------------------------------
// Lookups

namespace {
int CacheCell(int red, int green, int blue) { return (blue >> 3) * 1024 + (green >> 3) * 32 + (red >> 3); }
} // namespace

TFastColorLookup::TFastColorLookup(const TPalette &palette)
    : TColorLookup(int(std::min<qsizetype>(palette.size(), 256))), cache(32768, -1)
{
    entries.assign(palette.begin(), palette.begin() + colorCount);
    for (int i = 0; i < colorCount; ++i) {
        int16_t &cell = cache[size_t(CacheCell(qRed(entries[i]), qGreen(entries[i]), qBlue(entries[i])))];
        if (cell < 0)
            cell = int16_t(i);
    }
}

uint8_t TFastColorLookup::MapColor(uint8_t &red, uint8_t &green, uint8_t &blue)
{
    int16_t &cell = cache[size_t(CacheCell(red, green, blue))];
    if (cell < 0) {
        int best = 0x30000;
        cell = 0;
        for (int i = 0; i < colorCount; ++i) {
            const QRgb e = entries[size_t(i)];
            const int distance = std::abs(qRed(e) - red) + std::abs(qGreen(e) - green) + std::abs(qBlue(e) - blue);
            if (distance < best) {
                best = distance;
                cell = int16_t(i);
            }
        }
    }
    const QRgb chosen = entries[size_t(cell)];
    red = uint8_t(qRed(chosen));
    green = uint8_t(qGreen(chosen));
    blue = uint8_t(qBlue(chosen));
    return uint8_t(cell);
}

uint8_t TGrayScaleLookup::MapColor(uint8_t &red, uint8_t &green, uint8_t &blue)
{
    const uint8_t grey = uint8_t((77 * red + 150 * green + 29 * blue) >> 8);
    red = green = blue = grey;
    return grey;
}

uint8_t TMonochromeLookup::MapColor(uint8_t &red, uint8_t &green, uint8_t &blue)
{
    const bool white = 77 * red + 150 * green + 29 * blue > 0x7F00;
    red = green = blue = white ? 255 : 0;
    return white ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
// Error diffusion by kernel

const TDitherKernel StuckiKernel = {
    42, {{1, 0, 8}, {2, 0, 4},
         {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
         {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}}};
const TDitherKernel SierraKernel = {
    32, {{1, 0, 5}, {2, 0, 3},
         {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},
         {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}};
const TDitherKernel JarvisJudiceNinkeKernel = {
    48, {{1, 0, 7}, {2, 0, 5},
         {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
         {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}};
const TDitherKernel StevensonArceKernel = {
    200, {{2, 0, 32},
          {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16},
          {-2, 2, 12}, {0, 2, 26}, {2, 2, 12},
          {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}}};
const TDitherKernel BurkesKernel = {
    32, {{1, 0, 8}, {2, 0, 4},
         {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}};

TKernelDitherer::TKernelDitherer(int width, TColorLookup &lookup, const TDitherKernel &kernel)
    : TDitherEngine(width, lookup), kernel(kernel)
{
    for (const TDitherKernel::Share &share : kernel.shares) {
        margin = std::max(margin, std::abs(share.dx));
        rows = std::max(rows, share.dy + 1);
    }
    stride = std::max(width, 0) + 2 * margin;
    for (auto &channel : cells)
        channel.assign(size_t(stride) * rows, 0);
}

// The cells of the row `rowsBelow` rows below the current one, from its first pixel (margin
// cells lie before and after).
int32_t *TKernelDitherer::Cells(int channel, int rowsBelow)
{
    return cells[channel].data() + size_t((firstRow + rowsBelow) % rows) * stride + margin;
}

uint8_t TKernelDitherer::DitherPixel(uint8_t &red, uint8_t &green, uint8_t &blue)
{
    uint8_t *value[3] = {&red, &green, &blue};
    int wanted[3];
    const int half = kernel.divisor / 2;
    for (int c = 0; c < 3; ++c) {
        wanted[c] = std::clamp(*value[c] + (Cells(c, 0)[column] + half) / kernel.divisor, 0, 255);
        *value[c] = uint8_t(wanted[c]);
    }
    const uint8_t index = lookup.MapColor(red, green, blue);
    for (int c = 0; c < 3; ++c) {
        const int error = wanted[c] - *value[c];
        if (error == 0)
            continue;
        for (const TDitherKernel::Share &share : kernel.shares)
            Cells(c, share.dy)[column + share.dx * direction] += error * share.weight;
    }
    column += direction;
    return index;
}

void TKernelDitherer::NextRow()
{
    // The finished row's cells become the last row's, cleared.
    for (int c = 0; c < 3; ++c)
        std::fill_n(Cells(c, 0) - margin, stride, 0);
    firstRow = (firstRow + 1) % rows;
    TDitherEngine::NextRow();
}

std::unique_ptr<TDitherEngine> CreateDitherer(int kind, int width, TColorLookup &lookup)
{
    switch (kind) {
    case dkNearest:
        return std::make_unique<TDitherEngine>(width, lookup);
    case dkFloydSteinberg:
        return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
    case dkStucki:
        return std::make_unique<TStuckiDitherer>(width, lookup);
    case dkSierra:
        return std::make_unique<TSierraDitherer>(width, lookup);
    case dkJaJuNi:
        return std::make_unique<TJaJuNiDitherer>(width, lookup);
    case dkSteveArche:
        return std::make_unique<TSteveArcheDitherer>(width, lookup);
    case dkBurkes:
        return std::make_unique<TBurkesDitherer>(width, lookup);
    default:
        return nullptr;
    }
}

// ---------------------------------------------------------------------------------------
// TDIBReader

namespace {
TPixelFormat ReadFormat(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit:
        return format;
    default:
        return TPixelFormat::pf24bit;
    }
}
} // namespace

TDIBReader::TDIBReader(const TBitmap &source, TPixelFormat format)
    // The reader only reads: the bitmap keeps its pixels and format.
    : TDIB(const_cast<TBitmap &>(source), ReadFormat(format))
{
    if (source.GetEmpty())
        throw EInvalidGraphic("Image has no DIB");
    if (pixelFormat == source.PixelFormat())
        pixels = source.Image();
    else if (pixelFormat == TPixelFormat::pf24bit)
        pixels = source.Image().convertToFormat(QImage::Format_BGR888);
    else
        throw EInvalidGraphic("Unsupported PixelFormat");
    if (pixelFormat == TPixelFormat::pf4bit)
        packed.assign(size_t(pixels.width() + 1) / 2, 0);
}

uint8_t *TDIBReader::ScanLine(int row)
{
    if (row < 0 || row >= pixels.height())
        throw EInvalidGraphicOperation("Scan line index out of range");
    // A const row: the shared pixels are not detached, nothing writes through it.
    auto *line = const_cast<uint8_t *>(pixels.constScanLine(row));
    if (pixelFormat != TPixelFormat::pf4bit)
        return line;
    std::fill(packed.begin(), packed.end(), 0);
    for (int x = 0; x < pixels.width(); ++x)
        packed[size_t(x) / 2] |= uint8_t((line[x] & 0x0F) << (x % 2 ? 0 : 4));
    return packed.data();
}

// ---------------------------------------------------------------------------------------
// ReduceBitmapColors

namespace {
int PaletteColors(int paletteBits)
{
    if (paletteBits < 0 || paletteBits > 8)
        throw GIFException("Invalid number of palette bits");
    return 1 << paletteBits;
}

// The palette and lookup of a reduction mode (an empty palette for an unknown mode).
TPalette ModePalette(int mode, TDIBReader &reader, int paletteBits, const TPalette &customPalette)
{
    switch (mode) {
    case redSystem20:
        return SystemPalette20();
    case redHalftone:
        return MakeHalftonePalette();
    case redSystemGray4:
        return MakeSystemGray4Palette();
    case redMonochrome:
        return MakeMonochromePalette();
    case redGrayScale:
        return MakeGrayScalePalette();
    case redNetscape:
        return MakeNetscapePalette();
    case redOptimized:
        return MakeOptimizedPalette(reader, reader.Width(), reader.Height(), PaletteColors(paletteBits), 8, false);
    case redOptimizedSystem:
        return MakeOptimizedPalette(reader, reader.Width(), reader.Height(), 236, 8, true);
    case redCustomPalette:
        return customPalette.mid(0, 256);
    case redBest:
        return MakeMinimumErrorPalette(reader, reader.Width(), reader.Height(), PaletteColors(paletteBits));
    default:
        return {};
    }
}

std::unique_ptr<TColorLookup> ModeLookup(int mode, const TPalette &palette)
{
    switch (mode) {
    case redMonochrome:
        return std::make_unique<TMonochromeLookup>();
    case redGrayScale:
        return std::make_unique<TGrayScaleLookup>();
    case redNetscape:
        return std::make_unique<TNetscapeColorLookup>();
    case redBest:
        return std::make_unique<TNearestColorLookup>(palette);
    default:
        return std::make_unique<TFastColorLookup>(palette);
    }
}
} // namespace

std::unique_ptr<TBitmap> ReduceBitmapColors(const TBitmap &source, int mode, int ditherKind, int paletteBits,
                                            const TPalette &customPalette)
{
    auto result = std::make_unique<TBitmap>();
    if (mode == redNone) {
        result->Assign(source);
        result->SetPixelFormat(TPixelFormat::pf24bit);
        return result;
    }
    TDIBReader reader(source, TPixelFormat::pf24bit);
    if (mode < 0 || mode > redBest)
        return result;
    const TPalette palette = ModePalette(mode, reader, paletteBits, customPalette);
    const std::unique_ptr<TColorLookup> lookup = ModeLookup(mode, palette);
    if (palette.isEmpty() || lookup->Colors() == 0)
        return result;
    const std::unique_ptr<TDitherEngine> engine = CreateDitherer(ditherKind, reader.Width(), *lookup);
    if (!engine)
        return result;
    TDIBWriter writer(*result, TPixelFormat::pf8bit, reader.Width(), reader.Height(), palette);
    for (int y = 0; y < reader.Height(); ++y) {
        const uint8_t *in = reader.ScanLine(y);
        uint8_t *out = writer.ScanLine(y);
        while (engine->InRow()) {
            const int x = engine->Column();
            uint8_t red = in[3 * x + 2], green = in[3 * x + 1], blue = in[3 * x];
            out[x] = engine->DitherPixel(red, green, blue);
        }
        engine->NextRow();
    }
    writer.Finish();
    // The result's colour table is the palette itself, not padded to 256 entries.
    result->SetPalette(palette);
    return result;
}
