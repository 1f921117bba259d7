#pragma once
// The bitmap: a device-independent picture on a QImage with a pixel format of 1, 4, 8, 24 or
// 32 bits per pixel, a palette for the first three, scanline access, a canvas to draw on and a
// transparency mask. Reads and writes BMP files (Qt's BMP reader, with our own header check).
#include "platform/Graphic.h"

#include <QImage>
#include <QPainter>

#include <memory>

// pfDevice is the screen's format (32 bits here).
enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf24bit, pf32bit };

// Where the transparent colour of a transparent bitmap comes from: the bottom-left pixel
// (tmAuto) or TransparentColor (tmFixed). A 32-bit bitmap with an alpha channel is
// transparent where alpha is 0 whatever the mode.
enum class TTransparentMode { tmAuto, tmFixed };

class TBitmap;

// The canvas of a bitmap while it is being drawn on (TBitmap::Canvas). Drawing happens on a
// 32-bit working copy; when the canvas is destroyed the copy goes back into the bitmap in its
// pixel format (palette formats through the nearest palette colour) and the bitmap reports a
// change.
struct TBitmapCanvasWork {
    explicit TBitmapCanvasWork(QImage image);
    QImage work;
    std::unique_ptr<QPainter> painter;
};

class TBitmapCanvas : private TBitmapCanvasWork, public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap &owner);
    ~TBitmapCanvas();
    TBitmapCanvas(const TBitmapCanvas &) = delete;
    TBitmapCanvas &operator=(const TBitmapCanvas &) = delete;

private:
    static QImage Open(TBitmap &owner);
    TBitmap &owner;
};

class TBitmap : public TGraphic {
    Q_OBJECT
public:
    TBitmap();
    TBitmap(int width, int height, TPixelFormat format = TPixelFormat::pf24bit);

    // TGraphic
    void Assign(const TGraphic &source) override;   // any graphic: drawn into this bitmap
    bool GetEmpty() const override { return image.isNull(); }
    int GetWidth() const override { return image.width(); }
    int GetHeight() const override { return image.height(); }
    void SetWidth(int value) override { SetSize(value, GetHeight()); }
    void SetHeight(int value) override { SetSize(GetWidth(), value); }
    TPalette GetPalette() const override;
    // For 1/4/8 bits: the colour table (cut to 2, 16 or 256 entries; missing entries black).
    // Other formats keep no palette. Set before SetSize, it is kept for the new pixels.
    void SetPalette(const TPalette &palette) override;
    void Draw(TCanvas &canvas, const QRect &rect) override;
    void LoadFromStream(QIODevice &stream) override;   // a BMP file
    void SaveToStream(QIODevice &stream) override;     // a BMP file
    QImage ToImage() const override;

    // Size; growing keeps the pixels that still fit, new ones are 0 (black or palette entry 0).
    // Throws EInvalidGraphic above MaxGraphicPixels.
    void SetSize(int width, int height);
    TPixelFormat PixelFormat() const { return format; }
    // Converts the pixels (palette formats get the palette set before, or a default one: black
    // and white, the 16 VGA colours, or the 6x6x6 cube with greys).
    void SetPixelFormat(TPixelFormat value);
    static int BitsPerPixel(TPixelFormat format);

    // Rows of the pixel buffer, top row 0, in the storage of the format:
    //   pf1bit  packed, most significant bit first (QImage::Format_Mono), index into the palette
    //   pf4bit  one byte per pixel, values 0..15 (Qt has no packed 4-bit format)
    //   pf8bit  one byte per pixel, index into the palette
    //   pf24bit three bytes per pixel in the order blue, green, red (DIB order)
    //   pf32bit four bytes per pixel blue, green, red, alpha (QImage::Format_ARGB32)
    // Writing through ScanLine must be followed by Changed() when listeners should repaint.
    uchar *ScanLine(int row);
    const uchar *ScanLine(int row) const;
    int BytesPerLine() const { return int(image.bytesPerLine()); }
    // Palette index of a pixel (1/4/8 bits), or its colour as 0xAARRGGBB.
    int PixelIndex(int x, int y) const;
    void SetPixelIndex(int x, int y, int index);
    QRgb Pixel(int x, int y) const;
    void SetPixel(int x, int y, QRgb color);

    // Draws on the bitmap; see TBitmapCanvas. Only one canvas at a time.
    std::unique_ptr<TBitmapCanvas> Canvas();

    // Transparency (Transparent() of the base switches it on).
    TTransparentMode TransparentMode() const { return transparentMode; }
    void SetTransparentMode(TTransparentMode mode);
    // The transparent colour: tmFixed's colour, or the bottom-left pixel for tmAuto.
    QRgb TransparentColor() const;
    void SetTransparentColor(QRgb color);   // also sets tmFixed
    // The 1-bit mask of the bitmap's size (QImage::Format_Mono): bit 1 where the pixel is
    // transparent (the transparent colour, or alpha 0 in a 32-bit bitmap), 0 elsewhere.
    QImage Mask() const;
    // An explicit mask (1 = transparent) replaces the computed one until the pixels change
    // size or SetMask({}) is called.
    void SetMask(const QImage &mask);

    // The pixels as a QImage in the storage described above, and a way to take one in
    // (the format follows the image's depth: 1, 8 with up to 16 colours is not told apart
    // from 8, 24 for 24-bit formats, otherwise 32).
    const QImage &Image() const { return image; }
    void SetImage(const QImage &value, TPixelFormat format);

    void Changed() override;

private:
    friend class TBitmapCanvas;
    QImage image;
    TPixelFormat format = TPixelFormat::pf24bit;
    TTransparentMode transparentMode = TTransparentMode::tmAuto;
    QRgb transparentColor = 0;
    QImage explicitMask;
    TPalette pendingPalette;   // set while the bitmap has no pixels yet
    bool canvasOpen = false;

    QImage Displayable() const;   // 32-bit form used for drawing, cached until a change
    QImage Render() const;
    void Invalidate() { displayValid = false; }
    mutable QImage displayCache;
    mutable bool displayValid = false;
};
