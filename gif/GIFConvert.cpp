// Frames made from other pictures, cropped to what they show, and merged with the frame they
// are shown over.
#include "gif/ColorReduction.h"
#include "gif/GIFFrameControl.h"
#include "gif/GIFImage.h"

#include "platform/Bitmap.h"
#include "platform/Icon.h"
#include "platform/Metafile.h"
#include "platform/Picture.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace {

// Wide enough for any sum of positions and sizes a caller may pass.
struct Box {
    int64_t left = 0, top = 0, right = 0, bottom = 0;   // right and bottom exclusive
    bool Empty() const { return right <= left || bottom <= top; }
};

Box FrameBox(const TGIFSubImage &frame)
{
    return {frame.Left, frame.Top, frame.Left + frame.Width, frame.Top + frame.Height};
}

Box Intersection(const Box &a, const Box &b)
{
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool UsesIndex(const TGIFSubImage &frame, int index)
{
    const uint8_t *p = frame.Data();
    return p && std::find(p, p + frame.DataSize(), uint8_t(index)) != p + frame.DataSize();
}

} // namespace

// ---------------------------------------------------------------------------------------
// Frames from bitmaps

namespace {

// Reports "Converting..." progress of one conversion; a conversion that does not finish ends
// it with 0 percent.
class ConvertProgress {
public:
    explicit ConvertProgress(TGIFImage *image) : image(image)
    {
        if (image)
            image->Progress(TProgressStage::Starting, 0, false, QRect(), "Converting...");
    }
    ~ConvertProgress()
    {
        if (image)
            image->Progress(TProgressStage::Ending, finished ? 100 : 0, false, QRect(), "Converting...");
    }
    void Row(int row, int height)
    {
        if (image && row % 32 == 0 && image->ProgressWanted())
            image->Progress(TProgressStage::Running, int(int64_t(row) * 100 / height), false, QRect(),
                            "Converting...");
    }
    void Finish() { finished = true; }

private:
    TGIFImage *image;
    bool finished = false;
};

// The colours of a palette bitmap become the frame's table; pixels beyond it get black entries
// so that every pixel has a colour.
void ImportPalette(TGIFSubImage &frame, const TPalette &palette, int largestIndex)
{
    TPalette table = palette.mid(0, 256);
    while (table.size() <= largestIndex)
        table.append(qRgb(0, 0, 0));
    frame.ColorTable().FromPalette(table);
}

// Pixels of a palette bitmap, 1, 4 or 8 bits per pixel in DIB layout.
void ReadIndexedRows(TGIFSubImage &frame, TDIBReader &reader, int bits, const TPalette &palette,
                     ConvertProgress &progress)
{
    const int width = frame.Width;
    int largest = 0;
    const uint8_t mask = uint8_t((1 << bits) - 1);
    for (int y = 0; y < frame.Height; ++y) {
        progress.Row(y, frame.Height);
        const uint8_t *in = reader.ScanLine(y);
        uint8_t *out = frame.Rows(y);
        if (bits == 8)
            std::memcpy(out, in, size_t(width));
        else
            for (int x = 0; x < width; ++x)
                out[x] = uint8_t((in[x * bits / 8] >> (8 - bits - (x * bits) % 8)) & mask);
        largest = std::max<int>(largest, *std::max_element(out, out + width));
    }
    ImportPalette(frame, palette, largest);
}

// Pixels of a 24-bit picture: each colour gets the table entry of its first appearance. The
// last eight colours met are kept in a ring, searched backwards from the latest hit.
void ReadTrueColorRows(TGIFSubImage &frame, TDIBReader &reader, ConvertProgress &progress)
{
    struct Slot {
        TColor color = 0;
        int index = -1;
    } ring[8];
    int last = 0;
    TGIFColorMap &table = frame.ColorTable();
    for (int y = 0; y < frame.Height; ++y) {
        progress.Row(y, frame.Height);
        const uint8_t *in = reader.ScanLine(y);
        uint8_t *out = frame.Rows(y);
        for (int x = 0; x < frame.Width; ++x, in += 3) {
            const TColor color = TColor(in[2]) | TColor(in[1]) << 8 | TColor(in[0]) << 16;
            int slot = last;
            do {
                if (ring[slot].index < 0 || ring[slot].color == color)
                    break;
                slot = (slot + 7) % 8;
            } while (slot != last);
            if (ring[slot].index >= 0 && ring[slot].color == color) {
                last = slot;
            } else {
                last = (last + 1) % 8;
                ring[last] = {color, table.AddIfAbsent(color)};
            }
            out[x] = uint8_t(ring[last].index);
        }
    }
}

bool MaskBit(const QImage &mask, int x, int y) { return mask.constScanLine(y)[x >> 3] & (0x80 >> (x & 7)); }

// Frees one entry of a full table by merging its least used colour into the nearest other one.
void FreeOneEntry(TGIFSubImage &frame)
{
    TGIFColorMap &table = frame.ColorTable();
    const int victim = table.Count() - 1;   // sorted by use: the least used
    const TGIFColor v = table.Data()[victim];
    int nearest = 0, best = INT32_MAX;
    for (int i = 0; i < victim; ++i) {
        const TGIFColor c = table.Data()[i];
        const int d = (c.Red - v.Red) * (c.Red - v.Red) + (c.Green - v.Green) * (c.Green - v.Green) +
                      (c.Blue - v.Blue) * (c.Blue - v.Blue);
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    uint8_t *p = frame.Data();
    std::replace(p, p + frame.DataSize(), uint8_t(victim), uint8_t(nearest));
    table.Delete(victim);
}

// Makes the pixels under the mask's 1 bits transparent with a black entry of their own.
// Colours that only hidden pixels used leave the table first; a table that the visible
// pixels fill gives up its least used colour, so that the transparency is kept.
void ApplyMask(TGIFSubImage &frame, const QImage &mask)
{
    if (mask.isNull() || mask.width() < frame.Width || mask.height() < frame.Height)
        return;
    const QImage bits = mask.format() == QImage::Format_Mono ? mask : mask.convertToFormat(QImage::Format_Mono);
    auto forEachHidden = [&](auto &&f) {
        for (int y = 0; y < frame.Height; ++y) {
            uint8_t *row = frame.Rows(y);
            for (int x = 0; x < frame.Width; ++x)
                if (MaskBit(bits, x, y))
                    f(row[x]);
        }
    };
    int visible = -1;
    bool hidden = false;
    for (int y = 0; y < frame.Height && visible < 0; ++y)
        for (int x = 0; x < frame.Width && visible < 0; ++x)
            if (!MaskBit(bits, x, y))
                visible = frame.Rows(y)[x];
    forEachHidden([&](uint8_t &pixel) {
        // Hidden pixels take a colour in use anyway until they get their own entry.
        pixel = uint8_t(std::max(visible, 0));
        hidden = true;
    });
    if (!hidden)
        return;
    TGIFColorMap &table = frame.ColorTable();
    table.SortByUse();
    if (table.Count() == 0)
        return;
    if (table.Count() == 256)
        FreeOneEntry(frame);
    const int t = table.Add(0);
    forEachHidden([t](uint8_t &pixel) { pixel = uint8_t(t); });
    auto *control = new TGIFGraphicControlExtension(&frame);
    frame.Extensions().Add(control);
    control->SetTransparentIndex(t);
    control->SetTransparent(true);
}

// A 24-bit copy in which the pixels under the mask take the colour of the visible pixel before
// them (or of the first visible one), so that colours nobody sees take no place in the palette.
std::unique_ptr<TBitmap> HideMasked(const TBitmap &source, const QImage &mask)
{
    QImage pixels = source.Image().convertToFormat(QImage::Format_BGR888);
    const QImage bits = mask.convertToFormat(QImage::Format_Mono);
    auto hidden = [&](int x, int y) { return y < bits.height() && x < bits.width() && MaskBit(bits, x, y); };
    uint8_t fill[3] = {0, 0, 0};
    for (int i = 0; i < pixels.width() * pixels.height(); ++i)
        if (!hidden(i % pixels.width(), i / pixels.width())) {
            std::memcpy(fill, pixels.constScanLine(i / pixels.width()) + 3 * (i % pixels.width()), 3);
            break;
        }
    for (int y = 0; y < pixels.height(); ++y) {
        uint8_t *row = pixels.scanLine(y);
        for (int x = 0; x < pixels.width(); ++x) {
            if (hidden(x, y))
                std::memcpy(row + 3 * x, fill, 3);
            else
                std::memcpy(fill, row + 3 * x, 3);
        }
    }
    auto copy = std::make_unique<TBitmap>();
    copy->SetImage(pixels, TPixelFormat::pf24bit);
    return copy;
}

// A frame of that size at the frame's place would not fit a GIF's 16-bit coordinates.
void RefuseOversizedFrame(const TGIFSubImage &frame, int width, int height)
{
    if (frame.Left + width > 0xFFFF || frame.Top + height > 0xFFFF)
        throw GIFException("Image dimensions too large");
}

void AssignBitmap(TGIFSubImage &frame, const TBitmap &source, const QImage &mask)
{
    frame.Clear();
    if (source.GetEmpty())
        return;
    RefuseOversizedFrame(frame, source.GetWidth(), source.GetHeight());
    TGIFImage *image = frame.Image();
    frame.PlaceFrame(frame.Left, frame.Top, source.GetWidth(), source.GetHeight());
    const int bits = TBitmap::BitsPerPixel(source.PixelFormat());
    std::unique_ptr<TBitmap> reduced;
    const TBitmap *pixels = &source;
    std::unique_ptr<TBitmap> visible;
    if (bits > 8 && !mask.isNull()) {
        visible = HideMasked(source, mask);
        pixels = visible.get();
    }
    if (bits > 8) {
        const int mode = image ? int(image->ReductionMode) : int(redNetscape);
        reduced = ReduceBitmapColors(*pixels, mode, image ? int(image->DitherKind) : int(dkNearest),
                                     image ? image->PaletteBits : 8);
        if (reduced->GetEmpty())
            throw GIFException(mode == redCustomPalette || mode > redBest ? "Invalid reduction method"
                                                                           : "Invalid dither kind");
        pixels = reduced.get();
    }
    frame.AllocatePixels();
    ConvertProgress progress(image);
    const int readBits = TBitmap::BitsPerPixel(pixels->PixelFormat());
    TDIBReader reader(*pixels, pixels->PixelFormat());
    if (readBits <= 8)
        ReadIndexedRows(frame, reader, readBits, pixels->GetPalette(), progress);
    else
        ReadTrueColorRows(frame, reader, progress);
    if (!mask.isNull())
        ApplyMask(frame, mask);
    progress.Finish();
}

// A picture drawn at its own size into a 24-bit bitmap over a background colour.
std::unique_ptr<TBitmap> DrawnBitmap(const TGraphic &source, QRgb background)
{
    auto bitmap = std::make_unique<TBitmap>(source.GetWidth(), source.GetHeight(), TPixelFormat::pf24bit);
    auto canvas = bitmap->Canvas();
    canvas->FillRect(QRect(0, 0, source.GetWidth(), source.GetHeight()), background);
    const_cast<TGraphic &>(source).Draw(*canvas, QRect(0, 0, source.GetWidth(), source.GetHeight()));
    canvas.reset();
    return bitmap;
}

// Where a metafile leaves its background showing: drawn on white and on black, those pixels
// differ.
QImage MetafileMask(const TGraphic &source)
{
    const QImage white = DrawnBitmap(source, qRgb(255, 255, 255))->Image();
    const QImage black = DrawnBitmap(source, qRgb(0, 0, 0))->Image();
    QImage mask(white.size(), QImage::Format_Mono);
    mask.fill(0);
    for (int y = 0; y < white.height(); ++y)
        for (int x = 0; x < white.width(); ++x)
            if (std::memcmp(white.constScanLine(y) + 3 * x, black.constScanLine(y) + 3 * x, 3) != 0)
                mask.scanLine(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
    return mask;
}

// A frame from the first frame of another GIF picture, with that frame's colours as its own.
void AssignGIF(TGIFSubImage &frame, const TGIFImage &source)
{
    frame.Clear();
    if (source.GetEmpty())
        return;
    TGIFSubImage &first = *source.Images()[0];
    frame.Assign(first);
    if (frame.ColorTable().Count() == 0 && !first.Empty())
        frame.ColorTable().Assign(first.ActiveColorMap());
    if (frame.Image() && !frame.Empty())
        frame.PlaceFrame(frame.Left, frame.Top, frame.Width, frame.Height);
}

} // namespace

void TGIFSubImage::Assign(const TGraphic &source)
{
    if (auto *bitmap = qobject_cast<const TBitmap *>(&source)) {
        AssignBitmap(*this, *bitmap, bitmap->GetTransparent() ? bitmap->Mask() : QImage());
        return;
    }
    if (auto *gif = qobject_cast<const TGIFImage *>(&source)) {
        AssignGIF(*this, *gif);
        return;
    }
    if (source.GetEmpty() || source.GetWidth() <= 0 || source.GetHeight() <= 0) {
        Clear();
        return;
    }
    // Refused before a picture is drawn at its own size, which may take long for a frame
    // that could never be stored.
    RefuseOversizedFrame(*this, source.GetWidth(), source.GetHeight());
    if (auto *icon = qobject_cast<const TIcon *>(&source)) {
        AssignBitmap(*this, *DrawnBitmap(source, qRgb(0, 0, 0)), icon->Mask());
    } else if (qobject_cast<const TMetafile *>(&source)) {
        AssignBitmap(*this, *DrawnBitmap(source, qRgb(0, 0, 0)), MetafileMask(source));
    } else {
        TBitmap bitmap;
        try {
            bitmap.Assign(source);
        } catch (const Exception &) {
            AssignBitmap(*this, *DrawnBitmap(source, qRgb(0, 0, 0)), QImage());
            return;
        }
        AssignBitmap(*this, bitmap, bitmap.GetTransparent() ? bitmap.Mask() : QImage());
    }
}

void TGIFSubImage::Assign(const TPicture &source)
{
    if (source.Graphic())
        Assign(*source.Graphic());
    else
        Clear();
}

// ---------------------------------------------------------------------------------------
// Cropping

// The box (in frame coordinates) of the pixels other than the transparent index t; empty
// when every pixel is t.
static Box VisibleBox(const TGIFSubImage &frame, uint8_t t)
{
    const int w = frame.Width, h = frame.Height;
    const uint8_t *data = frame.Data();
    auto columnVisible = [&](int x) {
        for (int y = 0; y < h; ++y)
            if (data[size_t(y) * w + x] != t)
                return true;
        return false;
    };
    Box box;
    for (box.left = 0; box.left < w && !columnVisible(box.left); ++box.left) {
    }
    if (box.left == w)
        return {};
    for (box.right = w; !columnVisible(box.right - 1); --box.right) {
    }
    auto rowVisible = [&](int y) {
        const uint8_t *row = data + size_t(y) * w;
        return std::any_of(row + box.left, row + box.right, [t](uint8_t p) { return p != t; });
    };
    for (box.top = 0; !rowVisible(box.top); ++box.top) {
    }
    for (box.bottom = h; !rowVisible(box.bottom - 1); --box.bottom) {
    }
    return box;
}

void TGIFSubImage::Trim()
{
    const int t = TransparentIndex();
    if (Empty() || t < 0)
        return;
    const Box box = VisibleBox(*this, uint8_t(t));
    if (box.Empty()) {
        Clear();
        return;
    }
    Crop(Left + box.left, Top + box.top, box.right - box.left, box.bottom - box.top);
}

void TGIFSubImage::Crop(int left, int top, int width, int height)
{
    Box box = Intersection(FrameBox(*this), Box{left, top, int64_t(left) + width, int64_t(top) + height});
    // A frame's position is a 16-bit number: pixels right of or below 65535 (which no logical
    // screen shows) are kept rather than moved to a position that cannot be stored.
    box.left = std::min<int64_t>(box.left, 65535);
    box.top = std::min<int64_t>(box.top, 65535);
    if (Empty() || box.Empty() || (box.left == Left && box.top == Top && box.right == Left + Width &&
                                   box.bottom == Top + Height))
        return;
    const std::unique_ptr<uint8_t[]> old = data.release(dataSize);
    const int oldWidth = Width, oldLeft = Left, oldTop = Top;
    Left = uint16_t(box.left);
    Top = uint16_t(box.top);
    Width = uint16_t(box.right - box.left);
    Height = uint16_t(box.bottom - box.top);
    AllocatePixels();
    for (int y = 0; y < Height; ++y)
        std::memcpy(data.get() + size_t(y) * Width,
                    old.get() + size_t(y + Top - oldTop) * oldWidth + (Left - oldLeft), Width);
    DropRendering();
}

// ---------------------------------------------------------------------------------------
// Merging with the frame before

void TGIFSubImage::DropRepeats(TGIFSubImage *previous)
{
    if (!previous || previous == this || Empty() || previous->Empty() || FrameDisposal(*previous) >= 2)
        return;
    const Box overlap = Intersection(FrameBox(*this), FrameBox(*previous));
    if (overlap.Empty())
        return;

    int t = TransparentIndex();
    const bool wasTransparent = t >= 0;
    // Finds an index for the repeated pixels on first use: another frame's transparent entry of
    // the global table when this frame does not use it, else a new black entry.
    auto findIndex = [&]() {
        if (ActiveColorMap().Count() >= 256)
            return false;
        if (colorTable.Count() > 0) {
            t = colorTable.Add(0);
            return true;
        }
        if (!image || image->GlobalColorMap().Count() == 0)
            return false;
        for (int i = 0; i < image->Images().Count(); ++i) {
            const TGIFSubImage *other = image->Images()[i];
            const int index = other->TransparentIndex();
            if (other != this && other->ColorTable().Count() == 0 && index >= 0 &&
                index < image->GlobalColorMap().Count() && !UsesIndex(*this, index)) {
                t = index;
                return true;
            }
        }
        t = image->GlobalColorMap().Add(0);
        return true;
    };

    // What each index shows, as a number: two pixels show the same colour when their keys are
    // equal. With one table the index itself; with two the colour, where the table has one.
    // The pixels under the previous frame's transparent index, and indexes beyond a table,
    // get keys that match nothing.
    TGIFColorMap &mine = ActiveColorMap();
    TGIFColorMap &theirs = previous->ActiveColorMap();
    const bool sameTable = &mine == &theirs;
    auto keys = [sameTable](TGIFColorMap &table, int beyond) {
        std::array<int32_t, 256> key;
        for (int i = 0; i < 256; ++i) {
            const TGIFColor c = i < table.Count() ? table.Data()[i] : TGIFColor();
            key[size_t(i)] = sameTable            ? i
                             : i < table.Count() ? c.Red | c.Green << 8 | c.Blue << 16
                                                  : beyond;
        }
        return key;
    };
    const std::array<int32_t, 256> myKeys = keys(mine, -1);
    std::array<int32_t, 256> theirKeys = keys(theirs, -2);
    if (const int previousTransparent = previous->TransparentIndex(); previousTransparent >= 0)
        theirKeys[size_t(previousTransparent)] = -3;
    bool used = false;
    for (int y = overlap.top; y < overlap.bottom; ++y) {
        uint8_t *row = Rows(y - Top) + (overlap.left - Left);
        const uint8_t *below = previous->Rows(y - previous->Top) + (overlap.left - previous->Left);
        for (int x = 0; x < overlap.right - overlap.left; ++x) {
            if (row[x] == t || myKeys[row[x]] != theirKeys[below[x]])
                continue;
            if (t < 0 && !findIndex())
                return;
            row[x] = uint8_t(t);
            used = true;
        }
    }
    if (!wasTransparent && used) {
        if (!FrameControl)
            extensions.Add(new TGIFGraphicControlExtension(this));
        FrameControl->SetTransparentIndex(t);
        FrameControl->SetTransparent(true);
    }
    DropRendering();
}

// ---------------------------------------------------------------------------------------
// Pictures from elsewhere

std::unique_ptr<TBitmap> BitmapFromImage(const QImage &image)
{
    auto bitmap = std::make_unique<TBitmap>();
    if (image.isNull())
        return bitmap;
    const bool indexed = image.format() == QImage::Format_Indexed8 || image.depth() == 1;
    const QImage pixels = !indexed && image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32) : image;
    const TPixelFormat format = indexed ? (image.depth() == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf8bit)
                                : image.hasAlphaChannel() ? TPixelFormat::pf32bit
                                                          : TPixelFormat::pf24bit;
    bitmap->SetImage(image.depth() == 1 ? image.convertToFormat(QImage::Format_Mono) : pixels, format);
    if (!image.hasAlphaChannel())
        return bitmap;
    // GIF pixels are wholly transparent or opaque: below one half is transparent.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QImage mask(argb.size(), QImage::Format_Mono);
    mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mask.fill(0);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(row[x]) < 128)
                mask.scanLine(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    bitmap->SetMask(mask);
    bitmap->SetTransparent(true);
    return bitmap;
}
