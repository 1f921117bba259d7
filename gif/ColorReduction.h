#pragma once
// Colour reduction: fixed palettes, colour lookups (colour -> palette index), dither engines
// that walk a picture row by row, and the device-independent pixel buffer that rendered and
// reduced pictures are written through.
//
// A lookup maps one colour; an engine decides which colour to look up for each pixel (the
// pixel's own, or one corrected by the error its neighbours left) and in which order the
// pixels of a row are visited. Engines take any lookup, so every palette can be combined with
// every kind of dithering.
#include "platform/Bitmap.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

// How a true-colour picture is reduced to a palette (the GIF picture's ReductionMode).
enum TReductionMode : uint8_t {
    redNone = 0,
    redSystem20 = 1,
    redHalftone = 2,
    redSystemGray4 = 3,
    redMonochrome = 4,
    redGrayScale = 5,
    redNetscape = 6,
    redOptimized = 7,
    redOptimizedSystem = 8,
    redCustomPalette = 9,
    // Ours: 2^PaletteBits colours chosen to keep the squared error small (VarianceQuantizer.h),
    // each pixel mapped to the exactly nearest of them (NearestColorLookup.h).
    redBest = 10,
};

// How each pixel is mapped to the palette (the GIF picture's DitherKind).
enum TDitherKind : uint8_t {
    dkNearest = 0,
    dkFloydSteinberg = 1,
    dkStucki = 2,
    dkSierra = 3,
    dkJaJuNi = 4,
    dkSteveArche = 5,
    dkBurkes = 6,
};

// The 216-colour cube: entry 36r + 6g + b (r, g, b in 0..5) is (51r, 51g, 51b).
TPalette MakeNetscapePalette();

// ---------------------------------------------------------------------------------------
// Colour lookups

class TColorLookup {
public:
    explicit TColorLookup(int colors) : colorCount(colors) {}
    virtual ~TColorLookup() = default;
    TColorLookup(const TColorLookup &) = delete;
    TColorLookup &operator=(const TColorLookup &) = delete;

    // The number of colours the lookup can return (0: it maps nothing).
    int Colors() const { return colorCount; }
    // The palette index for a colour; red, green and blue receive that entry's colour.
    virtual uint8_t MapColor(uint8_t &red, uint8_t &green, uint8_t &blue) = 0;

protected:
    int colorCount;
};

// The colour cube: each channel's level is (value + 3) div 51, computed without a search.
class TNetscapeColorLookup final : public TColorLookup {
public:
    TNetscapeColorLookup() : TColorLookup(216) {}
    uint8_t MapColor(uint8_t &red, uint8_t &green, uint8_t &blue) override
    {
        const int r = Level(red), g = Level(green), b = Level(blue);
        red = uint8_t(51 * r);
        green = uint8_t(51 * g);
        blue = uint8_t(51 * b);
        return uint8_t(36 * r + 6 * g + b);
    }
    static int Level(int value) { return (value + 3) / 51; }
};

// ---------------------------------------------------------------------------------------
// Dither engines

// The nearest-colour engine and the base of the error-diffusing ones. Rows are visited
// alternately left to right and right to left, the first row left to right; DitherPixel maps
// the pixel at the current column and moves one column on in the current direction.
class TDitherEngine {
public:
    TDitherEngine(int width, TColorLookup &lookup);
    virtual ~TDitherEngine() = default;
    TDitherEngine(const TDitherEngine &) = delete;
    TDitherEngine &operator=(const TDitherEngine &) = delete;

    // Maps one pixel; red, green and blue receive the chosen colour.
    virtual uint8_t DitherPixel(uint8_t &red, uint8_t &green, uint8_t &blue);
    // Turns round for the next row: the direction reverses and the column goes to that
    // row's first pixel.
    virtual void NextRow();
    // Passes over the current pixel without mapping it: it spreads no error, and the error
    // that reached it is not used.
    void StepColumn()
    {
        LeaveOutColumn();
        column += direction;
    }

    int Width() const { return width; }
    int Direction() const { return direction; }
    int Column() const { return column; }
    // True while the current column lies inside the row.
    bool InRow() const { return column >= 0 && column < width; }

protected:
    // What an engine with running errors must settle when a pixel is left out.
    virtual void LeaveOutColumn() {}

    TColorLookup &lookup;
    int width;
    int direction = 1;
    int column = 0;
};

// Floyd-Steinberg error diffusion (weights 7 ahead; 3, 5, 1 on the next row; divisor 16).
// One row of error cells (three channels side by side per column) holds, behind the scan, the
// errors for the next row and, ahead of it, the errors this row received; the share for the
// next pixel in the row and the next row's share that still waits for its cell are carried in
// running values. Frames are dithered through this engine pixel by pixel, so DitherPixel is
// inline, and the colour cube's lookup is computed here without a call.
class TFloydSteinbergDitherer final : public TDitherEngine {
public:
    TFloydSteinbergDitherer(int width, TColorLookup &lookup);
    uint8_t DitherPixel(uint8_t &red, uint8_t &green, uint8_t &blue) override
    {
        int32_t *cell = cells.data() + 3 * (column + Margin);
        // The pixel corrected by the error that reached it, rounded and kept within 0..255.
        int wanted[3] = {red, green, blue};
        for (int c = 0; c < 3; ++c)
            wanted[c] = std::clamp(wanted[c] + (cell[c] + ahead[c] + 8) / 16, 0, 255);
        uint8_t chosen[3], index;
        if (cube) {
            const int r = TNetscapeColorLookup::Level(wanted[0]), g = TNetscapeColorLookup::Level(wanted[1]),
                      b = TNetscapeColorLookup::Level(wanted[2]);
            chosen[0] = uint8_t(51 * r), chosen[1] = uint8_t(51 * g), chosen[2] = uint8_t(51 * b);
            index = uint8_t(36 * r + 6 * g + b);
        } else {
            chosen[0] = uint8_t(wanted[0]), chosen[1] = uint8_t(wanted[1]), chosen[2] = uint8_t(wanted[2]);
            index = lookup.MapColor(chosen[0], chosen[1], chosen[2]);
        }
        // The error goes 7 to the next pixel, 3 behind, 5 below and 1 ahead on the next row.
        // The cell below is this row's input until now, so the share the pixel before had for
        // it waited in belowAhead.
        int32_t *behind = cell - 3 * direction;
        for (int c = 0; c < 3; ++c) {
            const int32_t error = wanted[c] - chosen[c];
            cell[c] = 5 * error + belowAhead[c];
            behind[c] += 3 * error;
            belowAhead[c] = error;
            ahead[c] = 7 * error;
        }
        red = chosen[0], green = chosen[1], blue = chosen[2];
        column += direction;
        return index;
    }
    void NextRow() override;
    // Dithers the rest of the current row of an indexed picture and turns round for the next:
    // indexes holds the row's palette indexes, colors the palette's red, green, blue triples
    // (256 of them). A pixel whose index is leaveOut (-1: none) is passed over as StepColumn
    // does, and its byte of out is left as it was. The same as DitherPixel and StepColumn pixel
    // by pixel, only faster.
    void DitherIndexedRow(const uint8_t *indexes, const uint8_t *colors, int leaveOut, uint8_t *out);

protected:
    void LeaveOutColumn() override;

private:
    static constexpr int Margin = 1;
    template <int Direction>
    void DitherCubeRow(const uint8_t *indexes, const uint8_t *colors, int leaveOut, uint8_t *out);
    bool cube;
    std::vector<int32_t> cells;   // (width + 2) x 3, one margin column each side
    int32_t ahead[3] = {}, belowAhead[3] = {};
};

// ---------------------------------------------------------------------------------------
// Pixel buffers

// A pixel buffer over a bitmap, in the bitmap's own row order (0 = top).
class TDIB {
public:
    TDIB(TBitmap &bitmap, TPixelFormat format) : bitmap(bitmap), pixelFormat(format) {}
    virtual ~TDIB() = default;
    TDIB(const TDIB &) = delete;
    TDIB &operator=(const TDIB &) = delete;

    TPixelFormat PixelFormat() const { return pixelFormat; }
    virtual uint8_t *ScanLine(int row) = 0;

protected:
    TBitmap &bitmap;
    TPixelFormat pixelFormat;
};

// Collects the pixels of a new picture in a device-independent bitmap (40-byte header, for
// 8 bits a colour table of 256 entries, rows padded to 32 bits and stored bottom-up) and hands
// them to the bitmap when it is destroyed (or at Finish). 8-bit rows hold palette indexes,
// 24-bit rows blue, green, red.
class TDIBWriter : public TDIB {
public:
    // Raises "Unsupported PixelFormat" for other formats than 8 and 24 bits per pixel and
    // "Invalid image dimensions" for a width or height of 0.
    TDIBWriter(TBitmap &bitmap, TPixelFormat format, int width, int height, const TPalette &palette);
    ~TDIBWriter() override;

    // The row's pixels (0 = top). "Scan line index out of range" outside the picture; the
    // buffer is made on first use ("Failed to allocate memory for GIF DIB" when it cannot be).
    uint8_t *ScanLine(int row) override;
    // Loads the bitmap from the buffer now; later calls and the destructor do nothing.
    void Finish();

    int Width() const { return width; }
    int Height() const { return height; }
    int RowSize() const { return rowSize; }
    // The whole buffer: header, colour table and rows (empty until a row was asked for).
    const QByteArray &Buffer() const { return dib; }

private:
    void MakeBuffer();
    int HeaderSize() const;
    int width, height, rowSize;
    TPalette palette;
    QByteArray dib;
    bool finished = false;
};

// ---------------------------------------------------------------------------------------
// The palettes of the reduction modes

// The 20 static colours of the desktop's default palette: ten dark and pastel colours, then ten
// bright ones (the last is white).
const TPalette &SystemPalette20();
TPalette MakeGrayScalePalette();     // 256 greys (i, i, i)
TPalette MakeMonochromePalette();    // black, white
TPalette MakeSystemGray4Palette();   // greys 0, 128, 192, 255
// 256 different colours: the first ten static colours, the colour cube without the static
// colours, 28 greys between the cube's levels, the last ten static colours.
TPalette MakeHalftonePalette();

// ---------------------------------------------------------------------------------------
// More lookups

// The nearest palette entry (smallest sum of channel differences, the lowest index winning a
// tie), searched once per 5-5-5 colour cell: later colours of a cell get the same entry.
class TFastColorLookup final : public TColorLookup {
public:
    explicit TFastColorLookup(const TPalette &palette);
    uint8_t MapColor(uint8_t &red, uint8_t &green, uint8_t &blue) override;

private:
    std::vector<QRgb> entries;
    std::vector<int16_t> cache;   // 32768 cells, -1 when empty
};

// 256 greys: grey = (77 red + 150 green + 29 blue) >> 8.
class TGrayScaleLookup final : public TColorLookup {
public:
    TGrayScaleLookup() : TColorLookup(256) {}
    uint8_t MapColor(uint8_t &red, uint8_t &green, uint8_t &blue) override;
};

// Black (0) or white (1): white when 77 red + 150 green + 29 blue is above 0x7F00.
class TMonochromeLookup final : public TColorLookup {
public:
    TMonochromeLookup() : TColorLookup(2) {}
    uint8_t MapColor(uint8_t &red, uint8_t &green, uint8_t &blue) override;
};

// ---------------------------------------------------------------------------------------
// Error diffusion by kernel

// Where the error of a pixel goes: shares of weight/divisor to the pixels at (dx, dy), dx
// counted in the scan direction of the row, dy in rows below (0: the same row, ahead only).
struct TDitherKernel {
    struct Share {
        int dx, dy, weight;
    };
    int divisor;
    std::vector<Share> shares;
};

// An error-diffusing engine for any kernel. Per channel it keeps one row of error cells for the
// current row and for each row below that the kernel reaches, each with margin cells beside the
// row that take the shares falling outside the picture and are never read.
class TKernelDitherer : public TDitherEngine {
public:
    TKernelDitherer(int width, TColorLookup &lookup, const TDitherKernel &kernel);
    uint8_t DitherPixel(uint8_t &red, uint8_t &green, uint8_t &blue) override;
    void NextRow() override;

private:
    int32_t *Cells(int channel, int rowsBelow);
    const TDitherKernel &kernel;
    int margin = 0, rows = 1, stride = 0, firstRow = 0;
    std::vector<int32_t> cells[3];
};

extern const TDitherKernel StuckiKernel, SierraKernel, JarvisJudiceNinkeKernel, StevensonArceKernel, BurkesKernel;

class TStuckiDitherer final : public TKernelDitherer {
public:
    TStuckiDitherer(int width, TColorLookup &lookup) : TKernelDitherer(width, lookup, StuckiKernel) {}
};
class TSierraDitherer final : public TKernelDitherer {
public:
    TSierraDitherer(int width, TColorLookup &lookup) : TKernelDitherer(width, lookup, SierraKernel) {}
};
class TJaJuNiDitherer final : public TKernelDitherer {
public:
    TJaJuNiDitherer(int width, TColorLookup &lookup) : TKernelDitherer(width, lookup, JarvisJudiceNinkeKernel) {}
};
class TSteveArcheDitherer final : public TKernelDitherer {
public:
    TSteveArcheDitherer(int width, TColorLookup &lookup) : TKernelDitherer(width, lookup, StevensonArceKernel) {}
};
class TBurkesDitherer final : public TKernelDitherer {
public:
    TBurkesDitherer(int width, TColorLookup &lookup) : TKernelDitherer(width, lookup, BurkesKernel) {}
};

// The engine of a dither kind, or none for an unknown kind.
std::unique_ptr<TDitherEngine> CreateDitherer(int kind, int width, TColorLookup &lookup);

// ---------------------------------------------------------------------------------------
// Reading pixels, and reducing a picture to a palette

// The rows of a bitmap in DIB layout: 1 bit (most significant first), 4 bits (two pixels a
// byte, high half first), 8 bits (indexes), or 24 bits (blue, green, red) for every other
// format. The bitmap itself is left as it is; deeper pictures are read from a 24-bit copy.
// "Image has no DIB" for an empty bitmap, "Scan line index out of range" outside it.
class TDIBReader : public TDIB {
public:
    explicit TDIBReader(const TBitmap &bitmap, TPixelFormat format = TPixelFormat::pf24bit);
    uint8_t *ScanLine(int row) override;
    int Width() const { return pixels.width(); }
    int Height() const { return pixels.height(); }

private:
    QImage pixels;
    std::vector<uint8_t> packed;   // the row of a 4-bit picture, packed
};

// A new 8-bit bitmap with the source's pixels reduced to the palette of `mode`, each pixel
// mapped by the engine of `ditherKind`; redNone gives a 24-bit copy. An unknown mode or dither
// kind or a palette without colours give an empty bitmap. redOptimized and redBest make up to
// 2^paletteBits colours: paletteBits outside 0..8 raise "Invalid number of palette bits".
std::unique_ptr<TBitmap> ReduceBitmapColors(const TBitmap &source, int mode, int ditherKind, int paletteBits,
                                            const TPalette &customPalette = {});
