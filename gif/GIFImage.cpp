// The GIF picture model: items and lists, the logical screen, the frames and the whole
// picture's operations.
#include "gif/GIFImage.h"
#include "gif/ColorReduction.h"
#include "gif/GIFPainter.h"
#include "gif/GIFStreamIO.h"

#include <QBuffer>

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

bool GIFRenderOnLoad = false;
bool GIFOptimizeOnWrite = false;
bool GIFPaletteDisplay = false;
uint64_t GIFMaxFramePixels = uint64_t(MaxGraphicPixels);
uint64_t GIFMaxImagePixels = uint64_t(1) << 28;
uint64_t GIFMaxImageItems = uint64_t(1) << 18;

int BitsForColors(int count)
{
    if (count <= 0)
        return 0;
    int b = 1;
    while ((1 << b) < count)
        ++b;
    return b;
}

// ---------------------------------------------------------------------------------------
// TGIFItem

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

TGIFItem *TGIFList::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("TGIFList::Items: index out of range");
    return items[index];
}

int TGIFList::Add(TGIFItem *item)
{
    items.append(item);
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
    TGIFItem *item = Items(index);
    items.erase(items.begin() + index);
    item->OwnerList = nullptr;
    delete item;
}

void TGIFList::Clear()
{
    if (items.isEmpty())
        return;
    // Front to back, without moving the rest of the list each time (a file can hold many items);
    // an item taken out of the list first does not look for itself in it when it is freed.
    for (TGIFItem *item : items) {
        item->OwnerList = nullptr;
        delete item;
    }
    items.clear();
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

TGIFSubImage *TGIFImageList::Frame(int index) const { return static_cast<TGIFSubImage *>(Items(index)); }

// ---------------------------------------------------------------------------------------
// TGIFHeader

TGIFHeader::TGIFHeader(TGIFImage *image) : TGIFItem(image), colorTable(this) {}

TGIFHeader::~TGIFHeader() = default;

void TGIFHeader::Clear()
{
    colorTable.Clear();
    Width = Height = 0;
    Packed = BackgroundColorIndex = AspectRatio = 0;
}

TColor TGIFHeader::BackgroundColor() { return colorTable.Colors(BackgroundColorIndex); }

// ---------------------------------------------------------------------------------------
// TGIFSubImage

TGIFSubImage::TGIFSubImage(TGIFImage *image)
    : TGIFItem(image), colorTable(this), extensions(image)
{
}

TGIFSubImage::~TGIFSubImage()
{
    if (OwnerList) {
        OwnerList->Remove(this);
        OwnerList = nullptr;
    }
    extensions.Clear();
}

TGIFColorMap &TGIFSubImage::ActiveColorMap()
{
    if (colorTable.Count() > 0)
        return colorTable;
    if (image && image->GlobalColorMap().Count() > 0)
        return image->GlobalColorMap();
    return colorTable;
}

int TGIFSubImage::TransparentIndex() const
{
    if (Transparent && FrameControl)
        return FrameControl->TransparentIndex();
    return -1;
}

int HighestOf(const uint8_t *pixels, size_t n)
{
    if (n == 0)
        return -1;
    // Blocks of a fixed length, which the compiler turns into vector instructions.
    constexpr size_t Block = 64;
    uint8_t highest = 0;
    size_t i = 0;
    for (; i + Block <= n && highest < 255; i += Block)
        for (size_t k = 0; k < Block; ++k)
            highest = std::max(highest, pixels[i + k]);
    for (; i < n && highest < 255; ++i)
        highest = std::max(highest, pixels[i]);
    return highest;
}

int TGIFSubImage::HighestIndex() const
{
    return data ? HighestOf(data.get(), size_t(dataSize)) : -1;
}

int TGIFSubImage::WrittenLocalColors() const
{
    if (colorTable.Count() == 0)
        return 0;
    return std::max(colorTable.Count(), HighestIndex() + 1);
}

int TGIFSubImage::RequiredVersion() const
{
    // A frame without pixels is written without its table: only its extensions count.
    if ((!Empty() && colorTable.Optimized()) || extensions.Count() > 0)
        return gv89a;
    return gv87a;
}

void TGIFSubImage::Clear()
{
    extensions.Clear();
    FrameControl = nullptr;
    colorTable.Clear();
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
        data.allocate(size_t(n) + GIFPixelSlack);
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
    return data.get()[size_t(y) * Width + size_t(x)];
}

uint8_t *TGIFSubImage::Rows(int y)
{
    if (y < 0 || y >= Height)
        throw GIFException("Invalid pixel coordinates");
    EnsurePixels();
    return data.get() + size_t(y) * Width;
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
    colorTable.Assign(source.colorTable);
    if (source.data) {
        AllocatePixels();
        if (data)
            std::memcpy(data.get(), source.data.get(), dataSize);
    }
    for (int i = 0; i < source.extensions.Count(); ++i)
        extensions.Add(CopyExtension(*source.extensions.Extension(i), this));
}

TGIFExtension *CopyExtension(TGIFExtension &source, TGIFSubImage *frame)
{
    // Through the extension's own stream form, so that the copy belongs to the new frame.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    source.SaveToStream(buffer);
    TGIFInput input(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size(), 1);
    const TGIFExtensionClass *cls = TGIFExtension::FindExtensionClass(input);
    if (!cls)
        cls = &source.Class();
    input.Seek(0);
    TGIFExtension *copy = cls->Create(frame);
    try {
        copy->Read(input);
    } catch (...) {
        delete copy;
        throw;
    }
    return copy;
}

// ---------------------------------------------------------------------------------------
// TGIFImage

TGIFImage::TGIFImage()
    : images(this), header(this)
{
    // A new picture is empty already: only the screen's packed byte is that of an empty one.
    header.Prepare();
}

TGIFImage::~TGIFImage()
{
    StopPainters();
    // (Only a picture that started a painter can have finished ones waiting.)
    if (painterStarted.load(std::memory_order_acquire))
        ReapFinishedPainters(false, this);
    images.Clear();
}

void TGIFImage::Clear()
{
    StopPainters();
    reservedPixels = 0;
    reservedItems = 0;
    narrowCodeSizes = false;
    images.Clear();
    header.ColorTable().Clear();
    header.Width = 0;
    header.Height = 0;
    header.Prepare();
    if (!imagePalette.isEmpty())
        SetPalette({});
}

int TGIFImage::Add(TGIFSubImage *frame)
{
    const int index = images.Add(frame);
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
    int bits = header.ColorTable().BitsPerPixel();
    for (int i = 0; i < images.Count(); ++i)
        bits = std::max(bits, images.Frame(i)->BitsPerPixel());
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
        header.Width = gif->Header().Width;
        header.Height = gif->Header().Height;
        header.Packed = gif->Header().Packed;
        header.BackgroundColorIndex = gif->Header().BackgroundColorIndex;
        header.AspectRatio = gif->Header().AspectRatio;
        header.Version = gif->Header().Version;
        header.ColorTable().Assign(gif->Header().ColorTable());
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

bool TGIFImage::GetEmpty() const { return images.Count() == 0; }
int TGIFImage::GetWidth() const { return header.Width; }
int TGIFImage::GetHeight() const { return header.Height; }

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
    for (int i = 0; i < images.Count(); ++i) {
        const TGIFSubImage *frame = images.Frame(i);
        if (frame->Left + frame->Width > width)
            throw GIFException("Image width too small for contained frames");
    }
    if (width != header.Width) {
        header.Width = uint16_t(width);
        DropCachedBitmap();
        Changed();
    }
}

void TGIFImage::SetHeight(int height)
{
    CheckScreenSize(height);
    for (int i = 0; i < images.Count(); ++i) {
        const TGIFSubImage *frame = images.Frame(i);
        if (frame->Top + frame->Height > height)
            throw GIFException("Image height too small for contained frames");
    }
    if (height != header.Height) {
        header.Height = uint16_t(height);
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
    if (header.ColorTable().Count() > 0) {
        imagePalette = header.ColorTable().ToPalette();
        return imagePalette;
    }
    if (images.Count() > 0)
        return images.Frame(0)->GetPalette();
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
