// the GIF picture model and reader, the block layout of the writer, the whole-image
// operations and the codec's registration.
#include "gif/GIFImage.h"
#include "gif/ColorReduction.h"
#include "gif/GIFPainter.h"
#include "gif/GIFStreamIO.h"

#include "platform/Bitmap.h"
#include "platform/CodePage.h"
#include "platform/MainThreadCalls.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMetaMethod>
#include <QMimeData>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cstring>
#include <new>

bool GIFRenderOnLoad = false;
bool GIFOptimizeOnWrite = false;
bool GIFPaletteDisplay = false;
uint64_t GIFMaxFramePixels = uint64_t(1) << 28;
uint64_t GIFMaxImagePixels = uint64_t(1) << 28;
uint64_t GIFMaxImageItems = uint64_t(1) << 18;
const char *const GIFClipboardMimeType = "image/gif";
const char *const GIFClipboardFormatName = "GIF Image";

int BitsForColors(int count)
{
    if (count <= 0)
        return 0;
    int b = 1;
    while ((1 << b) < count)
        ++b;
    return b;
}

namespace {

TColor ColorOf(const TGIFColor &c) { return TColor(c.Red) | (TColor(c.Green) << 8) | (TColor(c.Blue) << 16); }
TGIFColor EntryOf(TColor color)
{
    return TGIFColor{uint8_t(color & 0xFF), uint8_t((color >> 8) & 0xFF), uint8_t((color >> 16) & 0xFF)};
}

} // namespace

// ---------------------------------------------------------------------------------------
// TGIFItem

TGIFItem::TGIFItem(TGIFImage *image) : image(image) {}

TGIFItem::~TGIFItem()
{
    if (OwnerList)
        OwnerList->Remove(this);
}

void TGIFItem::Warn(int severity, const std::string &message)
{
    if (image)
        image->Warn(this, severity, message);
}

void TGIFItem::SaveToFile(const std::string &fileName)
{
    SaveStreamToFile(fileName, [this](QIODevice &stream) { SaveToStream(stream); });
}

void TGIFItem::LoadFromFile(const std::string &fileName)
{
    LoadStreamFromFile(fileName, [this](QIODevice &stream) { LoadFromStream(stream); });
}

// ---------------------------------------------------------------------------------------
// TGIFList

TGIFList::~TGIFList() { Clear(); }

int TGIFList::Add(TGIFItem *item)
{
    items.push_back(item);
    item->OwnerList = this;
    return int(items.size()) - 1;
}

void TGIFList::Remove(TGIFItem *item)
{
    auto it = std::find(items.begin(), items.end(), item);
    if (it != items.end()) {
        items.erase(it);
        item->OwnerList = nullptr;
    }
}

void TGIFList::Delete(int index)
{
    TGIFItem *item = items.at(size_t(index));
    items.erase(items.begin() + index);
    item->OwnerList = nullptr;
    delete item;
}

void TGIFList::Clear()
{
    // Front to back, without moving the rest of the list each time (a file can hold many items).
    std::vector<TGIFItem *> taken;
    taken.swap(items);
    for (TGIFItem *item : taken) {
        item->OwnerList = nullptr;
        delete item;
    }
}

int TGIFList::IndexOf(const TGIFItem *item) const
{
    auto it = std::find(items.begin(), items.end(), item);
    return it == items.end() ? -1 : int(it - items.begin());
}

void TGIFList::Warn(int severity, const std::string &message)
{
    if (image)
        image->Warn(this, severity, message);
}

void TGIFList::SaveToStream(QIODevice &stream)
{
    for (TGIFItem *item : items)
        item->SaveToStream(stream);
}

TGIFSubImage *TGIFImageList::Frame(int index) const { return static_cast<TGIFSubImage *>(Items(index)); }

void TGIFImageList::LoadFromStream(QIODevice &stream, void *)
{
    char b;
    do {
        if (!stream.getChar(&b))
            return;
    } while (b == 0);
    while (b != ';') {
        GIFStepBack(stream);
        if (b != '!' && b != ',') {
            Warn(1, "Unknown GIF block type");
            break;
        }
        auto *frame = new TGIFSubImage(image);
        try {
            frame->LoadFromStream(stream);
        } catch (...) {
            delete frame;
            throw;
        }
        Add(frame);
        if (image->ProgressWanted()) {
            const qint64 size = stream.size();
            image->Progress(TProgressStage::Running, size > 0 ? int(stream.pos() * 100 / size) : 0, GIFRenderOnLoad,
                            QRect(), "Loading...");
        }
        do {
            if (!stream.getChar(&b))
                return;
        } while (b == 0);
    }
    GIFStepBack(stream);
}

// ---------------------------------------------------------------------------------------
// Colour tables

void TGIFColorMap::Grow(int n)
{
    if (n < capacity)
        return;
    int newCapacity = n <= 16 ? 16 : ((n + 31) / 32) * 32;
    newCapacity = std::min(newCapacity, 256);
    if (newCapacity > capacity) {
        colors.resize(size_t(newCapacity));
        capacity = newCapacity;
    }
}

void TGIFColorMap::Clear()
{
    colors.clear();
    colors.shrink_to_fit();
    count = 0;
    capacity = 0;
    optimized = false;
}

int TGIFColorMap::IndexOf(TColor color) const
{
    const TGIFColor c = EntryOf(color);
    if (optimized) {
        for (int i = 0; i < count; ++i)
            if (colors[size_t(i)] == c)
                return i;
    } else {
        for (int i = count - 1; i >= 0; --i)
            if (colors[size_t(i)] == c)
                return i;
    }
    return -1;
}

int TGIFColorMap::Add(TColor color)
{
    if (count >= 256)
        throw GIFException("Color table overflow");
    Grow(count + 1);
    colors[size_t(count)] = EntryOf(color);
    ++count;
    optimized = false;
    Changed();
    return count - 1;
}

int TGIFColorMap::AddIfAbsent(TColor color)
{
    const int index = IndexOf(color);
    return index >= 0 ? index : Add(color);
}

void TGIFColorMap::Delete(int index)
{
    if (index < 0 || index >= count)
        throw GIFException("Invalid color index");
    for (int i = index; i < count - 1; ++i)
        colors[size_t(i)] = colors[size_t(i) + 1];
    --count;
    optimized = false;
    Changed();
}

TGIFColor TGIFColorMap::Entry(int index)
{
    if (index < 0 || index >= count) {
        Warn(1, "Invalid color index");
        if (count == 0)
            throw GIFException("Color table is empty");
        index = 0;
    }
    return colors[size_t(index)];
}

TColor TGIFColorMap::Colors(int index) { return ColorOf(Entry(index)); }

void TGIFColorMap::SetColors(int index, TColor color)
{
    if (index < 0 || index >= count)
        throw GIFException("Invalid color index");
    colors[size_t(index)] = EntryOf(color);
    Changed();
}

void TGIFColorMap::FromPalette(const TPalette &palette)
{
    Clear();
    const int n = std::min<int>(int(palette.size()), 256);
    Grow(n);
    for (int i = 0; i < n; ++i)
        colors[size_t(i)] = TGIFColor{uint8_t(qRed(palette[i])), uint8_t(qGreen(palette[i])), uint8_t(qBlue(palette[i]))};
    count = n;
    Changed();
}

void TGIFColorMap::FromColorEntries(const uint8_t *entries, int n)
{
    Clear();
    n = std::min(n, 256);
    Grow(n);
    for (int i = 0; i < n; ++i)
        colors[size_t(i)] = TGIFColor{entries[4 * i + 2], entries[4 * i + 1], entries[4 * i]};
    count = n;
    Changed();
}

TPalette TGIFColorMap::ToPalette() const
{
    TPalette palette;
    for (int i = 0; i < count; ++i)
        palette.append(qRgb(colors[size_t(i)].Red, colors[size_t(i)].Green, colors[size_t(i)].Blue));
    return palette;
}

void TGIFColorMap::Assign(const TGIFColorMap &source)
{
    if (&source == this)
        return;
    colors = source.colors;
    count = source.count;
    capacity = source.capacity;
    optimized = source.optimized;
    Changed();
}

void TGIFColorMap::LoadFromStream(QIODevice &stream, int n)
{
    Clear();
    Grow(n);
    if (n > 0)
        GIFReadExact(stream, colors.data(), 3 * qint64(n));
    count = n;
}

void TGIFColorMap::SaveToStream(QIODevice &stream, int colorCount) const
{
    const int written = std::max(count, colorCount);
    const int total = written > 0 ? 1 << BitsForColors(written) : 0;
    std::vector<uint8_t> bytes(size_t(total) * 3, 0);
    if (count > 0)
        std::memcpy(bytes.data(), colors.data(), size_t(count) * 3);
    GIFWriteBytes(stream, bytes.data(), qint64(bytes.size()));
}

bool TGIFColorMap::SortByUse()
{
    if (count <= 1)
        return false;
    optimized = true;
    std::vector<uint32_t> counts(256, 0);
    CountUses(counts);
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        order[size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return counts[size_t(a)] > counts[size_t(b)]; });
    bool changedOrder = false;
    for (int i = 0; i < count; ++i)
        if (order[size_t(i)] != i)
            changedOrder = true;
    if (changedOrder) {
        std::vector<uint8_t> translation(256);
        for (int i = 0; i < 256; ++i)
            translation[size_t(i)] = uint8_t(i);
        for (int newIndex = 0; newIndex < count; ++newIndex)
            translation[size_t(order[size_t(newIndex)])] = uint8_t(newIndex);
        RemapPixels(translation);
        std::vector<TGIFColor> sorted(colors);
        for (int i = 0; i < count; ++i)
            sorted[size_t(i)] = colors[size_t(order[size_t(i)])];
        colors = sorted;
    }
    // Unused entries are dropped also when the order was already right.
    int used = 1;
    while (used < count && counts[size_t(order[size_t(used)])] > 0)
        ++used;
    count = used;
    Changed();
    return true;
}

// Global table
void TGIFGlobalColorMap::Warn(int severity, const std::string &message)
{
    if (header && header->Image())
        header->Image()->Warn(this, severity, message);
}

// Adds the uses of every colour index by one frame's pixels.
static void CountFramePixels(TGIFSubImage &frame, std::vector<uint32_t> &counts)
{
    if (!frame.Data())
        return;
    const uint8_t *p = frame.Data();
    for (uint32_t i = 0; i < frame.DataSize(); ++i)
        counts[p[i]]++;
}

// Rewrites one frame's pixels, and its transparent index, through a translation table.
static void RemapFramePixels(TGIFSubImage &frame, const std::vector<uint8_t> &translation)
{
    if (frame.Data()) {
        uint8_t *p = frame.Data();
        for (uint32_t i = 0; i < frame.DataSize(); ++i)
            p[i] = translation[p[i]];
    }
    if (frame.Transparent && frame.FrameControl)
        frame.FrameControl->TransparentIndexValue = translation[frame.FrameControl->TransparentIndexValue];
}

void TGIFGlobalColorMap::CountUses(std::vector<uint32_t> &counts)
{
    counts.assign(256, 0);
    TGIFImage *image = header->Image();
    if (!image)
        return;
    for (int f = 0; f < image->Images().Count(); ++f) {
        TGIFSubImage *frame = image->Images()[f];
        if (&frame->ActiveColorMap() == this)
            CountFramePixels(*frame, counts);
    }
}

void TGIFGlobalColorMap::RemapPixels(const std::vector<uint8_t> &translation)
{
    // The background index follows its colour.
    header->BackgroundColorIndex = translation[header->BackgroundColorIndex];
    TGIFImage *image = header->Image();
    if (!image)
        return;
    for (int f = 0; f < image->Images().Count(); ++f) {
        TGIFSubImage *frame = image->Images()[f];
        if (&frame->ActiveColorMap() == this)
            RemapFramePixels(*frame, translation);
    }
}

bool TGIFGlobalColorMap::SortByUse()
{
    if (!header->Image() || header->Image()->Images().Count() == 0)
        return false;
    return TGIFColorMap::SortByUse();
}

void TGIFGlobalColorMap::Changed()
{
    if (header && header->Image())
        header->Image()->SetPalette({});
}

// Local table
void TGIFLocalColorMap::Warn(int severity, const std::string &message)
{
    if (frame && frame->Image())
        frame->Image()->Warn(this, severity, message);
}

void TGIFLocalColorMap::CountUses(std::vector<uint32_t> &counts)
{
    counts.assign(256, 0);
    CountFramePixels(*frame, counts);
}

void TGIFLocalColorMap::RemapPixels(const std::vector<uint8_t> &translation)
{
    RemapFramePixels(*frame, translation);
}

void TGIFLocalColorMap::Changed()
{
    if (frame)
        frame->SetPalette({});
}

// ---------------------------------------------------------------------------------------
// TGIFHeader

TGIFHeader::TGIFHeader(TGIFImage *image) : TGIFItem(image), colorTable(std::make_unique<TGIFGlobalColorMap>(this)) {}

TGIFHeader::~TGIFHeader() = default;

void TGIFHeader::Clear()
{
    colorTable->Clear();
    Width = Height = 0;
    Packed = BackgroundColorIndex = AspectRatio = 0;
}

TColor TGIFHeader::BackgroundColor() { return colorTable->Colors(BackgroundColorIndex); }

void TGIFHeader::Prepare()
{
    const int bits = BitsForColors(WrittenColors());
    uint8_t packed = 0;
    if (bits > 0) {
        packed |= 0x80;
        if (colorTable->Optimized())
            packed |= 0x08;
    }
    const int resolution = std::max(bits, WriteBitsPerPixel) - 1;
    packed |= uint8_t((resolution & 7) << 4);
    packed |= uint8_t((bits - 1) & 7);
    Packed = packed;
}

void TGIFHeader::LoadFromStream(QIODevice &stream)
{
    const qint64 start = stream.pos();
    char signature[6] = {};
    auto isGIF = [&](qint64 got) {
        if (got < 3)
            return false;
        return std::toupper(uint8_t(signature[0])) == 'G' && std::toupper(uint8_t(signature[1])) == 'I' &&
               std::toupper(uint8_t(signature[2])) == 'F';
    };
    qint64 got = stream.read(signature, 6);
    if (!isGIF(got)) {
        std::memset(signature, 0, sizeof signature);
        got = stream.size() >= start + 4 && stream.seek(start + 4) ? stream.read(signature, 6) : 0;
        if (!isGIF(got))
            throw GIFException("Invalid GIF signature");
    }
    Version = std::string(signature + 3, 3);
    uint8_t descriptor[7];
    GIFReadExact(stream, descriptor, 7);
    Width = uint16_t(descriptor[0] | (descriptor[1] << 8));
    Height = uint16_t(descriptor[2] | (descriptor[3] << 8));
    Packed = descriptor[4];
    BackgroundColorIndex = descriptor[5];
    AspectRatio = descriptor[6];
    if (Packed & 0x80) {
        colorTable->LoadFromStream(stream, 2 << (Packed & 7));
        colorTable->SetOptimized((Packed & 0x08) != 0);
    } else {
        colorTable->Clear();
    }
}

void TGIFHeader::SaveToStream(QIODevice &stream)
{
    GIFWriteBytes(stream, WriteVersion >= gv89a ? "GIF89a" : "GIF87a", 6);
    Prepare();
    const uint8_t descriptor[7] = {uint8_t(Width), uint8_t(Width >> 8), uint8_t(Height), uint8_t(Height >> 8),
                                   Packed, BackgroundColorIndex, AspectRatio};
    GIFWriteBytes(stream, descriptor, 7);
    if (Packed & 0x80)
        colorTable->SaveToStream(stream, WriteColorCount);
}

// ---------------------------------------------------------------------------------------
// TGIFSubImage

TGIFSubImage::TGIFSubImage(TGIFImage *image)
    : TGIFItem(image), colorTable(std::make_unique<TGIFLocalColorMap>(this)),
      extensions(std::make_unique<TGIFExtensionList>(image))
{
}

TGIFSubImage::~TGIFSubImage()
{
    if (OwnerList) {
        OwnerList->Remove(this);
        OwnerList = nullptr;
    }
    extensions->Clear();
}

TGIFColorMap &TGIFSubImage::ActiveColorMap()
{
    if (colorTable->Count() > 0)
        return *colorTable;
    if (image && image->GlobalColorMap().Count() > 0)
        return image->GlobalColorMap();
    return *colorTable;
}

int TGIFSubImage::TransparentIndex() const
{
    if (Transparent && FrameControl)
        return FrameControl->TransparentIndex();
    return -1;
}

int TGIFSubImage::HighestIndex() const
{
    if (!data || dataSize == 0)
        return -1;
    return *std::max_element(data.get(), data.get() + dataSize);
}

int TGIFSubImage::WrittenLocalColors() const
{
    if (colorTable->Count() == 0)
        return 0;
    return std::max(colorTable->Count(), HighestIndex() + 1);
}

int TGIFSubImage::RequiredVersion() const
{
    // A frame without pixels is written without its table: only its extensions count.
    if ((!Empty() && colorTable->Optimized()) || extensions->Count() > 0)
        return gv89a;
    return gv87a;
}

void TGIFSubImage::Clear()
{
    extensions->Clear();
    FrameControl = nullptr;
    colorTable->Clear();
    data.reset();
    dataSize = 0;
    DropRendering();
    Width = Height = 0;
    Transparent = false;
}

void TGIFSubImage::AllocatePixels()
{
    AllocateUnset();
    if (data)
        std::memset(data.get(), 0, size_t(dataSize) + GIFPixelSlack);
}

void TGIFSubImage::AllocateUnset()
{
    data.reset();
    dataSize = 0;
    const uint64_t n = uint64_t(Width) * Height;
    if (n == 0)
        return;
    if (n > GIFMaxFramePixels)
        throw GIFException("Image dimensions too large");
    try {
        data.reset(new uint8_t[size_t(n) + GIFPixelSlack]);
    } catch (const std::bad_alloc &) {
        throw GIFException("Image dimensions too large");   // too large for this machine
    }
    dataSize = uint32_t(n);
}

void TGIFSubImage::EnsurePixels()
{
    if (!data)
        AllocatePixels();
    if (dataSize == 0)
        throw GIFException("Image is empty");
}

void TGIFSubImage::PlaceFrame(int left, int top, int width, int height)
{
    if (left < 0 || top < 0 || width < 0 || height < 0)
        throw GIFException("Invalid image dimensions");
    // The descriptor and the logical screen hold 16-bit values.
    if (left + int64_t(width) > 65535 || top + int64_t(height) > 65535)
        throw GIFException("Image dimensions too large");
    const bool sizeChanged = width != Width || height != Height;
    Left = uint16_t(left);
    Top = uint16_t(top);
    Width = uint16_t(width);
    Height = uint16_t(height);
    if (sizeChanged) {
        DropRendering();
        AllocatePixels();
    }
    if (!image)
        return;
    bool warned = false;
    TGIFHeader &h = image->Header();
    if (h.Width < left + width) {
        if (h.Width >= 1) {
            Warn(1, "Image width too small for contained frames");
            warned = true;
        }
        h.Width = uint16_t(left + width);
    }
    if (h.Height < top + height) {
        if (h.Height > 0) {
            Warn(1, "Image height too small for contained frames");
            warned = true;
        }
        h.Height = uint16_t(top + height);
    }
    if (warned)
        Warn(1, "Image exceeds Logical Screen size");
}

uint8_t &TGIFSubImage::Pixels(int x, int y)
{
    if (x < 0 || y < 0 || x >= Width || y >= Height)
        throw GIFException("Invalid pixel coordinates");
    EnsurePixels();
    return data[size_t(y) * Width + size_t(x)];
}

uint8_t *TGIFSubImage::Rows(int y)
{
    if (y < 0 || y >= Height)
        throw GIFException("Invalid pixel coordinates");
    EnsurePixels();
    return data.get() + size_t(y) * Width;
}

QImage TGIFSubImage::ToQImage()
{
    if (Empty())
        return {};
    QImage picture(Width, Height, QImage::Format_Indexed8);
    TPalette palette = ActiveColorMap().ToPalette();
    while (palette.size() < 256)
        palette.append(qRgb(0, 0, 0));
    const int transparent = TransparentIndex();
    if (transparent >= 0 && transparent < 256)
        palette[transparent] = qRgba(0, 0, 0, 0);
    picture.setColorTable(palette);
    for (int y = 0; y < Height; ++y)
        std::memcpy(picture.scanLine(y), data.get() + size_t(y) * Width, Width);
    return picture;
}

void TGIFSubImage::Assign(const TGIFSubImage &source)
{
    if (&source == this)
        return;
    Clear();
    Separator = source.Separator;
    Left = source.Left;
    Top = source.Top;
    Width = source.Width;
    Height = source.Height;
    Packed = source.Packed;
    colorTable->Assign(*source.colorTable);
    if (source.data) {
        AllocatePixels();
        if (data)
            std::memcpy(data.get(), source.data.get(), dataSize);
    }
    for (int i = 0; i < source.extensions->Count(); ++i)
        extensions->Add(CopyExtension(*source.extensions->Extension(i), this));
}

TGIFExtension *CopyExtension(TGIFExtension &source, TGIFSubImage *frame)
{
    // Through the extension's own stream form, so that the copy belongs to the new frame.
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    source.SaveToStream(buffer);
    buffer.seek(1);
    const TGIFExtensionClass *cls = TGIFExtension::FindExtensionClass(buffer);
    if (!cls)
        cls = &source.Class();
    buffer.seek(0);
    TGIFExtension *copy = cls->Create(frame);
    try {
        copy->LoadFromStream(buffer);
    } catch (...) {
        delete copy;
        throw;
    }
    return copy;
}

void TGIFSubImage::LoadFromStream(QIODevice &stream)
{
    Clear();
    if (image)
        image->ReserveItem();
    extensions->LoadFromStream(stream, this);
    char b;
    if (!stream.getChar(&b))
        return;
    GIFStepBack(stream);
    if (b == ';' || b == 0)
        return;
    uint8_t descriptor[10];
    GIFReadExact(stream, descriptor, 10);
    Separator = descriptor[0];
    Left = uint16_t(descriptor[1] | (descriptor[2] << 8));
    Top = uint16_t(descriptor[3] | (descriptor[4] << 8));
    Width = uint16_t(descriptor[5] | (descriptor[6] << 8));
    Height = uint16_t(descriptor[7] | (descriptor[8] << 8));
    Packed = descriptor[9];
    if (Width == 0 || Height == 0) {
        if (image) {
            Height = image->Header().Height;
            Width = image->Header().Width;
        }
        Warn(1, "Image exceeds Logical Screen size");
    }
    if (image)
        image->ReservePixels(uint64_t(Width) * Height);
    if (Packed & 0x80) {
        colorTable->LoadFromStream(stream, 2 << (Packed & 7));
        colorTable->SetOptimized((Packed & 0x20) != 0);
    }
    Decompress(stream);
    if (GIFRenderOnLoad)
        EnsureBitmap();
}

void TGIFSubImage::Decompress(QIODevice &stream)
{
    const int transparent = TransparentIndex();
    const uint8_t fill = transparent >= 0 ? uint8_t(transparent) : 0;
    AllocateUnset();
    DecodeLZW(stream, data.get(), Width, Height, Interlaced(), fill,
              [this](const std::string &message) { Warn(1, message); });
}

void TGIFSubImage::SaveToStream(QIODevice &stream)
{
    extensions->SaveToStream(stream);
    if (Empty())
        return;
    // An interlaced frame stays interlaced, with or without a local table.
    const int localColors = WrittenLocalColors();
    if (localColors > 0) {
        Packed = uint8_t(0x80 | (Packed & 0x40) | (colorTable->Optimized() ? 0x20 : 0) |
                         ((BitsForColors(localColors) - 1) & 7));
    } else {
        Packed &= 0x58;
    }
    // The separator is always written as ","; a descriptor read after a stray byte (the extension reader's
    // "Invalid extension introducer" warning) keeps that byte in Separator, which would
    // otherwise make the written file unreadable.
    const uint8_t descriptor[10] = {uint8_t(0x2C),
                                    uint8_t(Left), uint8_t(Left >> 8), uint8_t(Top), uint8_t(Top >> 8),
                                    uint8_t(Width), uint8_t(Width >> 8), uint8_t(Height), uint8_t(Height >> 8),
                                    Packed};
    GIFWriteBytes(stream, descriptor, 10);
    if (Packed & 0x80)
        colorTable->SaveToStream(stream, localColors);
    EncodeFrame(*this, stream);
}

// ---------------------------------------------------------------------------------------
// TGIFTrailer

void TGIFTrailer::LoadFromStream(QIODevice &stream)
{
    char b;
    if (stream.getChar(&b) && b != ';')
        Warn(1, "Invalid Image trailer");
}

void TGIFTrailer::SaveToStream(QIODevice &stream) { GIFWriteByte(stream, ';'); }

// ---------------------------------------------------------------------------------------
// TGIFImage

TGIFImage::TGIFImage()
    : images(std::make_unique<TGIFImageList>(this)), header(std::make_unique<TGIFHeader>(this))
{
    Clear();
}

TGIFImage::~TGIFImage()
{
    StopPainters();
    ReapFinishedPainters(false, this);
    images->Clear();
}

void TGIFImage::Clear()
{
    StopPainters();
    reservedPixels = 0;
    reservedItems = 0;
    images->Clear();
    header->ColorTable().Clear();
    header->Width = 0;
    header->Height = 0;
    header->Prepare();
    SetPalette({});
}

int TGIFImage::Add(TGIFSubImage *frame)
{
    const int index = images->Add(frame);
    DropCachedBitmap();
    Changed();
    return index;
}

int TGIFImage::Add(const TGraphic &source)
{
    auto *frame = new TGIFSubImage(this);
    try {
        frame->Assign(source);
    } catch (...) {
        delete frame;
        throw;
    }
    return Add(frame);
}

int TGIFImage::BitsPerPixel() const
{
    int bits = header->ColorTable().BitsPerPixel();
    for (int i = 0; i < images->Count(); ++i)
        bits = std::max(bits, images->Frame(i)->BitsPerPixel());
    return bits;
}

void TGIFImage::ReservePixels(uint64_t count)
{
    if (count > GIFMaxImagePixels || reservedPixels > GIFMaxImagePixels - count)
        throw GIFException("Image dimensions too large");
    reservedPixels += count;
}

void TGIFImage::ReserveItem()
{
    if (reservedItems >= GIFMaxImageItems)
        throw GIFException("Image dimensions too large");
    ++reservedItems;
}

bool TGIFImage::ProgressWanted() const { return isSignalConnected(QMetaMethod::fromSignal(&TGraphic::progress)); }

void TGIFImage::Warn(void *, int severity, const std::string &message)
{
    if (OnCodecWarning)
        OnCodecWarning(*this, severity, message);
}

void TGIFImage::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    auto *gif = dynamic_cast<const TGIFImage *>(&source);
    if (!gif) {
        Clear();
        auto *frame = new TGIFSubImage(this);
        try {
            frame->Assign(source);
        } catch (const EConvertError &) {
            delete frame;
            TGraphic::Assign(source);
            return;
        } catch (...) {
            delete frame;
            throw;
        }
        Add(frame);
        return;
    }
    Clear();
    // The source's progress and warning events are borrowed for the duration: the "Copying..."
    // reports go to the source's progress listeners (with this picture as the sender) and the
    // warnings to the source's warning handler.
    TGIFWarningEvent saved = OnCodecWarning;
    OnCodecWarning = gif->OnCodecWarning;
    auto *lender = const_cast<TGIFImage *>(gif);
    auto report = [&](TProgressStage stage, int percent) {
        emit lender->progress(this, stage, percent, false, QRect(), QStringLiteral("Copying..."));
    };
    report(TProgressStage::Starting, 0);
    try {
        header->Width = gif->Header().Width;
        header->Height = gif->Header().Height;
        header->Packed = gif->Header().Packed;
        header->BackgroundColorIndex = gif->Header().BackgroundColorIndex;
        header->AspectRatio = gif->Header().AspectRatio;
        header->Version = gif->Header().Version;
        header->ColorTable().Assign(gif->Header().ColorTable());
        PainterPriority = gif->PainterPriority;
        BackdropColor = gif->BackdropColor;
        PaintFlags = gif->PaintFlags;
        ReductionMode = gif->ReductionMode;
        DitherKind = gif->DitherKind;
        const int total = gif->Images().Count();
        for (int i = 0; i < total; ++i) {
            auto *frame = new TGIFSubImage(this);
            try {
                frame->Assign(*gif->Images()[i]);
            } catch (...) {
                delete frame;
                throw;
            }
            Add(frame);
            report(TProgressStage::Running, (i + 1) * 100 / total);
        }
    } catch (...) {
        report(TProgressStage::Ending, 0);
        OnCodecWarning = saved;
        throw;
    }
    report(TProgressStage::Ending, 100);
    OnCodecWarning = saved;
}

bool TGIFImage::GetEmpty() const { return images->Count() == 0; }
int TGIFImage::GetWidth() const { return header->Width; }
int TGIFImage::GetHeight() const { return header->Height; }

// The logical screen holds 16-bit sizes.
static void CheckScreenSize(int size)
{
    if (size < 0)
        throw GIFException("Invalid image dimensions");
    if (size > 65535)
        throw GIFException("Image dimensions too large");
}

void TGIFImage::SetWidth(int width)
{
    CheckScreenSize(width);
    for (int i = 0; i < images->Count(); ++i) {
        const TGIFSubImage *frame = images->Frame(i);
        if (frame->Left + frame->Width > width)
            throw GIFException("Image width too small for contained frames");
    }
    if (width != header->Width) {
        header->Width = uint16_t(width);
        DropCachedBitmap();
        Changed();
    }
}

void TGIFImage::SetHeight(int height)
{
    CheckScreenSize(height);
    for (int i = 0; i < images->Count(); ++i) {
        const TGIFSubImage *frame = images->Frame(i);
        if (frame->Top + frame->Height > height)
            throw GIFException("Image height too small for contained frames");
    }
    if (height != header->Height) {
        header->Height = uint16_t(height);
        DropCachedBitmap();
        Changed();
    }
}

TPalette TGIFImage::GetPalette() const
{
    if (paletteBusy)
        throw GIFException("No global or local color table defined");
    paletteBusy = true;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{paletteBusy};
    if (!imagePalette.isEmpty())
        return imagePalette;
    if (DitheringApplies()) {
        imagePalette = MakeNetscapePalette();
        return imagePalette;
    }
    if (header->ColorTable().Count() > 0) {
        imagePalette = header->ColorTable().ToPalette();
        return imagePalette;
    }
    if (images->Count() > 0)
        return images->Frame(0)->GetPalette();
    return {};
}

void TGIFImage::SetPalette(const TPalette &palette)
{
    if (palette == imagePalette)
        return;
    imagePalette = palette;
    if (!cachedBitmap.isNull()) {
        DropCachedBitmap();
        PaletteModified = true;
        Changed();
    }
}

void TGIFImage::LoadFromStream(QIODevice &stream)
{
    // A file or other random-access device is read into memory first (the decoder reads a
    // memory buffer directly); the device ends where the picture ended, or where it started
    // after a failure.
    if (!qobject_cast<QBuffer *>(&stream) && !stream.isSequential()) {
        const qint64 start = stream.pos();
        QByteArray bytes = stream.readAll();
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        try {
            LoadFromStream(buffer);
        } catch (...) {
            stream.seek(start);
            throw;
        }
        stream.seek(start + buffer.pos());
        return;
    }
    Progress(TProgressStage::Starting, 0, false, QRect(), "Loading...");
    Clear();
    const qint64 start = stream.pos();
    try {
        header->LoadFromStream(stream);
        images->LoadFromStream(stream, this);
        TGIFTrailer trailer(this);
        trailer.LoadFromStream(stream);
    } catch (...) {
        stream.seek(start);
        Progress(TProgressStage::Ending, 0, true, QRect(), "Loading...");
        throw;
    }
    Progress(TProgressStage::Ending, 100, true, QRect(), "Loading...");
}

// Pixels beyond a table are written with black entries added to it: the global table gets as
// many colours as the frames without a table of their own use, and the code sizes follow the
// widest table as written. Frames without pixels are written without their table and count
// for nothing.
static void PlanWrittenTables(const TGIFImageList &images, TGIFHeader &header)
{
    int globalColors = 0, bits = 0;
    for (int i = 0; i < images.Count(); ++i) {
        const TGIFSubImage *frame = images.Frame(i);
        if (frame->Empty())
            continue;
        if (frame->ColorTable().Count() == 0)
            globalColors = std::max(globalColors, frame->HighestIndex() + 1);
        else
            bits = std::max(bits, BitsForColors(frame->WrittenLocalColors()));
    }
    header.WriteColorCount = globalColors;
    header.WriteBitsPerPixel = std::max(bits, BitsForColors(header.WrittenColors()));
}

void TGIFImage::SaveToStream(QIODevice &stream)
{
    Progress(TProgressStage::Starting, 0, false, QRect(), "Saving...");
    try {
        // A picture without frames (a file can hold none) is written as "87a" too.
        int version = gv87a;
        for (int i = 0; i < images->Count() && version < gv89a; ++i)
            version = std::max(version, images->Frame(i)->RequiredVersion());
        header->WriteVersion = version;
        struct WrittenTables {
            TGIFHeader &h;
            ~WrittenTables() { h.WriteColorCount = h.WriteBitsPerPixel = 0; }
        } resetAfterwards{*header};
        PlanWrittenTables(*images, *header);
        header->SaveToStream(stream);
        const int total = images->Count();
        for (int i = 0; i < total; ++i) {
            images->Frame(i)->SaveToStream(stream);
            Progress(TProgressStage::Running, (i + 1) * 100 / total, false, QRect(), "Saving...");
        }
        TGIFTrailer trailer(this);
        trailer.SaveToStream(stream);
    } catch (...) {
        Progress(TProgressStage::Ending, 0, false, QRect(), "Saving...");
        throw;
    }
    Progress(TProgressStage::Ending, 100, false, QRect(), "Saving...");
}

// The application's clipboard, or none without a GUI application.
static QClipboard *Clipboard()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

void TGIFImage::LoadFromClipboardFormat()
{
    QClipboard *clipboard = Clipboard();
    const QMimeData *mime = clipboard ? clipboard->mimeData() : nullptr;
    if (!mime)
        throw GIFException("Unsupported clipboard format");
    // The pasted picture is made apart, so that a paste that fails leaves this one as it was.
    TGIFImage pasted;
    pasted.OnCodecWarning = OnCodecWarning;
    const char *gifFormat = nullptr;
    for (const char *format : {GIFClipboardFormatName, GIFClipboardMimeType})
        if (!gifFormat && mime->hasFormat(format))
            gifFormat = format;
    if (gifFormat) {
        QByteArray bytes = mime->data(gifFormat);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        pasted.LoadFromStream(buffer);
    } else {
        // Any other picture the clipboard offers becomes one frame.
        const QImage picture = mime->hasImage() ? qvariant_cast<QImage>(mime->imageData()) : QImage();
        if (picture.isNull())
            throw GIFException("Unsupported clipboard format");
        pasted.ReductionMode = ReductionMode;
        pasted.DitherKind = DitherKind;
        pasted.PaletteBits = PaletteBits;
        pasted.Assign(*BitmapFromImage(picture));
    }
    // Assign brings the pasted picture's settings along; this picture keeps its own.
    const uint16_t flags = PaintFlags;
    const uint8_t priority = PainterPriority;
    const TColor backdrop = BackdropColor;
    Assign(pasted);
    PaintFlags = flags;
    PainterPriority = priority;
    BackdropColor = backdrop;
}

void TGIFImage::SaveToClipboardFormat()
{
    if (GetEmpty())
        return;
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        SaveToStream(buffer);
    }
    QClipboard *clipboard = Clipboard();
    if (!clipboard)
        throw GIFException("Failed to store GIF on clipboard");
    auto mime = std::make_unique<QMimeData>();
    mime->setData(GIFClipboardFormatName, bytes);
    mime->setData(GIFClipboardMimeType, bytes);
    TGIFSubImage *first = images->Frame(0);
    if (!first->Empty())
        mime->setImageData(first->ToQImage());
    clipboard->setMimeData(mime.release());   // the clipboard owns it from here
}

// ---------------------------------------------------------------------------------------
// Registration

void RegisterGIFCodec()
{
    // A palette display: at most 8 bits per pixel on the primary screen.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) && QGuiApplication::primaryScreen())
        GIFPaletteDisplay = QGuiApplication::primaryScreen()->depth() <= 8;
    RegisterFileFormat("gif", "GIF Image", [] { return std::unique_ptr<TGraphic>(new TGIFImage); });
    // The extension registries are created on first use; touch them now.
    (void)FindExtension(0);
    // Painters hand their steps to the main thread through this queue: it exists from now on.
    TMainThreadCalls::Instance();
}

void UnregisterGIFCodec()
{
    FreeExtensionRegistries();
    UnregisterFileFormat("gif");
}
