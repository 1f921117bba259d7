#pragma once
// The GIF codec: the picture model of a GIF file, the reader that
// builds it from a stream, the extension blocks, the writer with its LZW and run-length
// encoders, the drawing of frames with the animation painter, and the making of GIF pictures
// from other pictures.
//
// Source files: GIFImage.cpp (the model and whole-picture operations), GIFColorMap.cpp
// (colour tables), GIFReader.cpp (reading blocks), GIFWriter.cpp (the written block layout),
// GIFClipboard.cpp, GIFRegistration.cpp, GIFDecoder.cpp (LZW decoding),
// GIFExtensions.cpp (extension blocks and their registries), GIFEncoder.cpp (frame encoding),
// GIFRender.cpp (frame bitmaps, masks, drawing), GIFPainter.cpp (the animation thread),
// ColorReduction.cpp (palettes, lookups, dithering, pixel buffers), ColorQuantizer.cpp (the
// octree), GIFConvert.cpp (frames from other pictures, cropping, merging), GIFOptimize.cpp
// (the whole-picture optimiser).
#include "platform/Exceptions.h"
#include "platform/Graphic.h"

#include <QIODevice>
#include <QImage>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TGIFImage;
class TGIFPainter;
class TPainterClock;
class TGIFSubImage;
class TGIFExtension;
class TGIFList;
class TBitmap;
class TPicture;
class TGIFInput;

// A colour outside a table: a 24-bit RGB number with red in the low byte.
using TColor = uint32_t;
constexpr TColor GIFNoColor = 0x1FFFFFFF;

// The GIF versions: 0 unknown, 1 "87a", 2 "89a".
enum TGIFVersion { gvUnknown = 0, gv87a = 1, gv89a = 2 };

// Encoding of saved frames: any value other than encRunLength selects LZW.
enum TGIFEncoding : uint8_t { encLZW = 0, encRunLength = 1 };

// Warnings of the codec: severity 1 and a message.
using TGIFWarningEvent = std::function<void(TGIFImage &sender, int severity, const std::string &message)>;
// The animation painter's events, raised with the painter as sender.
using TGIFPainterEvent = std::function<void(TGIFPainter &sender)>;

// Drawing options of a picture (PaintFlags), initially 0x060F.
constexpr uint16_t DrawAsync = 0x0001;          // the painter runs in a thread of its own
constexpr uint16_t DrawTransparent = 0x0002;    // transparent frames are drawn through their mask
constexpr uint16_t DrawAnimate = 0x0004;        // several frames are played by a painter
constexpr uint16_t DrawLoop = 0x0008;           // the painter repeats the frames
constexpr uint16_t DrawLoopForever = 0x0010;    // ... whatever the loop count says
constexpr uint16_t DrawValidateCanvas = 0x0020; // the painter ends when its widget goes
constexpr uint16_t DrawDirect = 0x0040;         // paint onto the caller's canvas, not the full-size bitmap
constexpr uint16_t DrawClearOnLoop = 0x0080;    // restore the background before each pass
constexpr uint16_t DrawTile = 0x0100;           // repeat the picture at its own size
constexpr uint16_t DrawDither = 0x0200;         // render dithered to the 216-colour cube
constexpr uint16_t DrawAutoDither = 0x0400;     // ... only on a palette display
constexpr uint16_t DefaultPaintFlags = 0x060F;

// Codec-wide settings.
extern bool GIFRenderOnLoad;
extern bool GIFOptimizeOnWrite;
extern bool GIFPaletteDisplay;
// Largest frame (width x height pixels) the reader allocates; larger frames fail with
// "Image dimensions too large" instead of exhausting memory and time. Default MaxGraphicPixels,
// the limit of the other picture formats.
extern uint64_t GIFMaxFramePixels;
// Largest number of pixels the frames of one picture may hold together when it is read, and
// largest number of frames and extensions it may hold (each takes memory besides its pixels).
// A file that asks for more fails with "Image dimensions too large" before the memory is
// allocated. Defaults 1 << 28 and 1 << 18.
extern uint64_t GIFMaxImagePixels;
extern uint64_t GIFMaxImageItems;
// Bytes after a frame's pixels that decoding may write into (wide copies).
constexpr int GIFPixelSlack = 16;

// Number of bits for n colours: 0 for 0, else the smallest b >= 1 with 2^b >= n.
int BitsForColors(int count);

// ---------------------------------------------------------------------------------------
// Items and lists

class TGIFItem {
public:
    explicit TGIFItem(TGIFImage *image) : image(image) {}
    virtual ~TGIFItem();
    TGIFItem(const TGIFItem &) = delete;
    TGIFItem &operator=(const TGIFItem &) = delete;

    TGIFImage *Image() const { return image; }
    virtual int RequiredVersion() const { return gv87a; }
    virtual void Warn(int severity, const std::string &message);
    virtual void SaveToStream(QIODevice &stream) = 0;
    // Reads the item from the stream's bytes (through Read); the stream is left after them.
    virtual void LoadFromStream(QIODevice &stream);
    // Reads the item from the bytes of a file in memory.
    virtual void Read(TGIFInput &input) = 0;
    virtual void SaveToFile(const std::string &fileName);
    virtual void LoadFromFile(const std::string &fileName);

    // The list that holds the item, if any (items remove themselves when destroyed).
    TGIFList *OwnerList = nullptr;

protected:
    TGIFImage *image;
};

class TGIFList {
public:
    explicit TGIFList(TGIFImage *image) : image(image) {}
    virtual ~TGIFList();
    TGIFList(const TGIFList &) = delete;
    TGIFList &operator=(const TGIFList &) = delete;

    int Count() const { return int(items.size()); }
    TGIFItem *Items(int index) const;
    int Add(TGIFItem *item);
    void Remove(TGIFItem *item);   // takes it out of the list without freeing it
    void Delete(int index);        // frees the item
    void Clear();
    int IndexOf(const TGIFItem *item) const;
    TGIFImage *Image() const { return image; }

    virtual void Warn(int severity, const std::string &message);
    virtual void SaveToStream(QIODevice &stream);
    // Reads the items from the stream's bytes (through Read); the stream is left after them.
    virtual void LoadFromStream(QIODevice &stream, void *parent);
    virtual void Read(TGIFInput &input, void *parent) = 0;

protected:
    TGIFImage *image;
    // Most lists hold one to three items: those stay inside the list, without an allocation.
    QVarLengthArray<TGIFItem *, 4> items;
};

class TGIFImageList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFSubImage *Frame(int index) const;
    TGIFSubImage *operator[](int index) const { return Frame(index); }
    void Read(TGIFInput &input, void *parent) override;
};

class TGIFExtensionList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFExtension *Extension(int index) const;
    TGIFExtension *operator[](int index) const { return Extension(index); }
    // parent: the TGIFSubImage the extensions belong to.
    void Read(TGIFInput &input, void *parent) override;
};

// ---------------------------------------------------------------------------------------
// Colour tables

struct TGIFColor {
    uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const TGIFColor &) const = default;
};
// Three plain bytes: a table's entries are copied and set as bytes (see TGIFColorMap::Grow).
Q_DECLARE_TYPEINFO(TGIFColor, Q_PRIMITIVE_TYPE);

class TGIFColorMap {
public:
    TGIFColorMap() = default;
    virtual ~TGIFColorMap() = default;
    TGIFColorMap(const TGIFColorMap &) = delete;
    TGIFColorMap &operator=(const TGIFColorMap &) = delete;

    int Count() const { return count; }
    int Capacity() const { return capacity; }
    bool Optimized() const { return optimized; }
    void SetOptimized(bool value) { optimized = value; }
    int BitsPerPixel() const { return BitsForColors(count); }
    const TGIFColor *Data() const { return colors.data(); }

    void Clear();
    int IndexOf(TColor color) const;
    int Add(TColor color);
    int AddIfAbsent(TColor color);
    void Delete(int index);
    // Reading an entry: outside the table warns "Invalid color index" and uses entry 0; an
    // empty table raises "Color table is empty".
    TColor Colors(int index);
    TGIFColor Entry(int index);
    void SetColors(int index, TColor color);
    void FromPalette(const TPalette &palette);
    // Platform colour-table entries in blue, green, red, reserved order.
    void FromColorEntries(const uint8_t *entries, int n);
    TPalette ToPalette() const;
    void Assign(const TGIFColorMap &source);
    // Reads exactly n triples ("Premature end of data" when short).
    void Read(TGIFInput &input, int n);
    // Writes the colours, then black entries up to colorCount (when that is more than Count),
    // then zero triples up to the next power of two.
    void SaveToStream(QIODevice &stream, int colorCount = 0) const;

    virtual void Warn(int severity, const std::string &message) = 0;
    virtual void CountUses(std::vector<uint32_t> &counts) = 0;
    virtual void RemapPixels(const std::vector<uint8_t> &translation) = 0;
    virtual bool SortByUse();
    virtual void Changed() = 0;

protected:
    // The entries kept for n colours.
    static int CapacityFor(int n);
    void Grow(int n);
    // size() is the capacity. Tables of up to 16 colours, those of most small pictures, are
    // kept inside the map.
    QVarLengthArray<TGIFColor, 16> colors;
    int count = 0;
    int capacity = 0;
    bool optimized = false;
};

class TGIFHeader;

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader *header) : header(header) {}
    TGIFHeader *Header() const { return header; }
    void Warn(int severity, const std::string &message) override;
    void CountUses(std::vector<uint32_t> &counts) override;
    void RemapPixels(const std::vector<uint8_t> &translation) override;
    bool SortByUse() override;
    void Changed() override;

private:
    TGIFHeader *header;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage *frame) : frame(frame) {}
    TGIFSubImage *Frame() const { return frame; }
    void Warn(int severity, const std::string &message) override;
    void CountUses(std::vector<uint32_t> &counts) override;
    void RemapPixels(const std::vector<uint8_t> &translation) override;
    void Changed() override;

private:
    TGIFSubImage *frame;
};

// ---------------------------------------------------------------------------------------
// Header, frames, trailer

class TGIFHeader : public TGIFItem {
public:
    explicit TGIFHeader(TGIFImage *image);
    ~TGIFHeader() override;

    uint16_t Width = 0, Height = 0;
    uint8_t Packed = 0;
    uint8_t BackgroundColorIndex = 0;
    uint8_t AspectRatio = 0;
    TGIFGlobalColorMap &ColorTable() { return colorTable; }
    const TGIFGlobalColorMap &ColorTable() const { return colorTable; }
    // The version characters as read ("87a", "89a" or anything else).
    std::string Version;

    void Clear();
    TColor BackgroundColor();
    // Recomputes the packed byte from the tables.
    void Prepare();
    void Read(TGIFInput &input) override;
    void SaveToStream(QIODevice &stream) override;   // writes version 87a or 89a as set by the image
    int WriteVersion = gv87a;
    // While the image is written: the colours the frames without a local table need (their
    // highest index + 1), so that the global table is written with at least that many; and the
    // largest bits per pixel of the tables as they are written.
    int WriteColorCount = 0;
    int WriteBitsPerPixel = 0;
    int WrittenColors() const { return std::max(colorTable.Count(), WriteColorCount); }

private:
    TGIFGlobalColorMap colorTable;
};

// The graphic control extension, declared below.
class TGIFGraphicControlExtension;

// A frame's pixel store: the pixels and GIFPixelSlack bytes beyond them. A frame of a few
// pixels keeps them inside itself, without an allocation of its own (small animations and
// test pictures are full of such frames).
class TFramePixels {
public:
    TFramePixels() = default;
    TFramePixels(const TFramePixels &) = delete;   // it may point into itself
    TFramePixels &operator=(const TFramePixels &) = delete;

    uint8_t *get() const { return pointer; }
    explicit operator bool() const { return pointer != nullptr; }
    void reset()
    {
        heap.reset();
        pointer = nullptr;
    }
    // Room for `bytes` bytes, not set yet.
    void allocate(size_t bytes)
    {
        reset();
        if (bytes <= sizeof(inside)) {
            pointer = inside;
        } else {
            heap.reset(new uint8_t[bytes]);
            pointer = heap.get();
        }
    }
    // The first `bytes` bytes as a buffer of their own; the store is empty after.
    std::unique_ptr<uint8_t[]> release(size_t bytes)
    {
        std::unique_ptr<uint8_t[]> taken;
        if (pointer == inside) {
            taken.reset(new uint8_t[bytes]);
            std::memcpy(taken.get(), inside, bytes);
        } else {
            taken = std::move(heap);
        }
        pointer = nullptr;
        return taken;
    }

private:
    std::unique_ptr<uint8_t[]> heap;
    uint8_t *pointer = nullptr;
    alignas(8) uint8_t inside[48];
};

class TGIFSubImage : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage *image);
    ~TGIFSubImage() override;

    // Image descriptor, kept as read.
    uint8_t Separator = 0x2C;
    uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
    uint8_t Packed = 0;

    TGIFLocalColorMap &ColorTable() { return colorTable; }
    const TGIFLocalColorMap &ColorTable() const { return colorTable; }
    TGIFExtensionList &Extensions() { return extensions; }
    const TGIFExtensionList &Extensions() const { return extensions; }
    // The colour table in use: local when it has colours, else global when that has colours,
    // else the (empty) local one.
    TGIFColorMap &ActiveColorMap();

    bool Transparent = false;
    TGIFGraphicControlExtension *FrameControl = nullptr;
    bool MaskPending = true;
    // The cached rendering: 8 bits per pixel with the frame's palette (or the colour cube),
    // none when null; and its mask, 1 bit per pixel, 1 where the pixel is transparent, rows
    // padded to 16 bits, none when no pixel is transparent.
    QImage Bitmap;
    QImage Mask;
    TPalette Palette;   // cached palette, none when empty

    uint8_t *Data() { return data.get(); }
    const uint8_t *Data() const { return data.get(); }
    uint32_t DataSize() const { return dataSize; }
    bool Empty() const { return !data || dataSize == 0 || Width == 0 || Height == 0; }
    bool Interlaced() const { return (Packed & 0x40) != 0; }
    void SetInterlaced(bool value) { Packed = value ? (Packed | 0x40) : (Packed & ~0x40); }
    // The highest pixel index, or -1 without pixels.
    int HighestIndex() const;
    // The colours the local table is written with: its own, or more when the pixels go beyond
    // it (written black); 0 without a local table.
    int WrittenLocalColors() const;
    int BitsPerPixel() const { return colorTable.BitsPerPixel(); }
    int ColorResolution() const { return BitsPerPixel() - 1; }
    // The transparent colour index of the frame control, or -1.
    int TransparentIndex() const;

    int RequiredVersion() const override;
    void Clear();
    void AllocatePixels();
    void EnsurePixels();
    void PlaceFrame(int left, int top, int width, int height);
    uint8_t &Pixels(int x, int y);
    uint8_t *Rows(int y);
    // Copies another frame: descriptor, local table, pixels and extensions.
    void Assign(const TGIFSubImage &source);
    // A frame made from another picture (GIFConvert.cpp): bitmaps of 1, 4 and 8 bits keep their
    // palette, deeper ones are reduced with the picture's ReductionMode, DitherKind and
    // PaletteBits; icons and metafiles bring their transparency, other graphics are drawn.
    // "Color table overflow" when an unreduced picture has more than 256 colours.
    void Assign(const TGraphic &source);
    void Assign(const TPicture &source);
    // Crops a transparent frame to the box of its visible pixels; with none it becomes empty.
    void Trim();
    // Keeps the pixels inside the rectangle (in picture coordinates); nothing changes when the
    // rectangle misses the frame.
    void Crop(int left, int top, int width, int height);
    // Makes transparent the pixels that show the same colour as `previous` (the frame shown
    // before this one) shows there.
    void DropRepeats(TGIFSubImage *previous);
    TPalette GetPalette();
    void SetPalette(const TPalette &palette);
    // Renders the bitmap (and the mask) when none is cached; none for an empty frame.
    QImage EnsureBitmap();
    // Renders again when a mask is still to be made; true when the frame has a mask.
    bool MaskReady();
    // Forgets the rendering (bitmap, mask and palette) after a change of the pixels.
    void DropRendering();
    // The frame's area when the logical screen is mapped onto rect (rounded products).
    QRect MapArea(const QRect &rect) const;
    // Draws the frame where it lies on the logical screen mapped onto rect (with tile, at its
    // own size in tiles from rect's corner).
    void Draw(TCanvas &canvas, const QRect &rect, bool transparent, bool tile);
    void PaintFrame(TCanvas &canvas, const QRect &rect, bool tile, bool transparent);

    void Read(TGIFInput &input) override;
    void SaveToStream(QIODevice &stream) override;
    // decodes the frame's pixel data.
    void Decompress(TGIFInput &input);

private:
    // Allocates Width x Height pixels, not set yet (none when that is 0).
    void AllocateUnset();
    TFramePixels data;
    uint32_t dataSize = 0;
    TGIFLocalColorMap colorTable;
    TGIFExtensionList extensions;
};

class TGIFTrailer : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    void Read(TGIFInput &input) override;
    void SaveToStream(QIODevice &stream) override;
};

// ---------------------------------------------------------------------------------------
// Extensions

// A class of extension: how to create one, and its class-level ResolveClass.
struct TGIFExtensionClass {
    const char *Name;
    TGIFExtension *(*Create)(TGIFSubImage *frame);
    // May look ahead in the stream and name a more specific class; returns nullptr for "no
    // class". Null means the class names itself.
    const TGIFExtensionClass *(*ResolveClass)(TGIFInput &input);
};

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage *frame) : TGIFItem(frame ? frame->Image() : nullptr), frame(frame) {}
    ~TGIFExtension() override;
    int RequiredVersion() const override { return gv89a; }
    virtual uint8_t LabelByte() const = 0;
    virtual const TGIFExtensionClass &Class() const = 0;
    TGIFSubImage *OwnerFrame() const { return frame; }
    void SaveToStream(QIODevice &stream) override;   // the common header
    void Read(TGIFInput &input) override;            // the common header

    // FindExtensionClass: the input stands just after the "!"; it is set back afterwards.
    static const TGIFExtensionClass *FindExtensionClass(TGIFInput &input);

protected:
    TGIFSubImage *frame;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    explicit TGIFGraphicControlExtension(TGIFSubImage *frame);
    ~TGIFGraphicControlExtension() override;
    static const TGIFExtensionClass ClassInfo;
    const TGIFExtensionClass &Class() const override { return ClassInfo; }
    uint8_t LabelByte() const override { return 0xF9; }

    // The block size as read; the block is always written with its 4 bytes.
    uint8_t BlockSize = 4;
    uint8_t Packed = 0;
    uint16_t DelayValue = 0;
    uint8_t TransparentIndexValue = 0;
    uint8_t Terminator = 0;

    bool Transparent() const { return Packed & 1; }
    void SetTransparent(bool value);
    uint8_t TransparentIndex() const { return TransparentIndexValue; }
    void SetTransparentIndex(int index);
    uint16_t Delay() const { return DelayValue; }
    void SetDelay(uint16_t value) { DelayValue = value; }
    bool WaitForInput() const { return Packed & 2; }
    void SetWaitForInput(bool value) { Packed = value ? (Packed | 2) : (Packed & ~2); }
    int Disposal() const { return (Packed >> 2) & 7; }
    void SetDisposal(int value) { Packed = uint8_t((Packed & ~0x1C) | ((value & 7) << 2)); }

    void SaveToStream(QIODevice &stream) override;
    void Read(TGIFInput &input) override;
};

class TGIFTextExtension : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    static const TGIFExtensionClass ClassInfo;
    const TGIFExtensionClass &Class() const override { return ClassInfo; }
    uint8_t LabelByte() const override { return 0x01; }

    uint8_t BlockSize = 12;
    uint16_t GridLeft = 0, GridTop = 0, GridWidth = 0, GridHeight = 0;
    uint8_t CellWidth = 0, CellHeight = 0, ForegroundColorIndex = 0, BackgroundColorIndex = 0;
    std::vector<std::string> Text;

    void SaveToStream(QIODevice &stream) override;
    void Read(TGIFInput &input) override;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    static const TGIFExtensionClass ClassInfo;
    const TGIFExtensionClass &Class() const override { return ClassInfo; }
    uint8_t LabelByte() const override { return 0xFE; }
    std::vector<std::string> Text;

    void SaveToStream(QIODevice &stream) override;
    void Read(TGIFInput &input) override;
};

class TGIFApplicationExtension : public TGIFExtension {
public:
    using TGIFExtension::TGIFExtension;
    static const TGIFExtensionClass ClassInfo;
    const TGIFExtensionClass &Class() const override { return ClassInfo; }
    uint8_t LabelByte() const override { return 0xFF; }
    // 8 identifier bytes and 3 authentication code bytes.
    std::array<uint8_t, 11> Identifier{};
    std::string IdentifierText() const { return std::string(Identifier.begin(), Identifier.end()); }
    void SetIdentifier(const std::string &text);
    // The first block as read: its size (the identifier's first BlockSize bytes when it is
    // shorter than 11) and the bytes beyond the identifier when it is longer; written back so.
    uint8_t BlockSize = 11;
    std::vector<uint8_t> BlockTail;

    void SaveToStream(QIODevice &stream) override;
    void Read(TGIFInput &input) override;
    virtual void WriteBody(QIODevice &stream) = 0;
    virtual void ReadBody(TGIFInput &input) = 0;
};

// One data sub-block: 1..255 bytes.
struct TGIFBlock {
    // Most sub-blocks are a few bytes: those stay inside the block.
    QVarLengthArray<uint8_t, 16> Data;
};
// An extension's sub-blocks: most have one or two, kept inside the list.
using TGIFBlocks = QVarLengthArray<TGIFBlock, 2>;

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    using TGIFApplicationExtension::TGIFApplicationExtension;
    static const TGIFExtensionClass ClassInfo;
    const TGIFExtensionClass &Class() const override { return ClassInfo; }
    TGIFBlocks Blocks;
    void WriteBody(QIODevice &stream) override;
    void ReadBody(TGIFInput &input) override;
};

class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    explicit TGIFAppExtNSLoop(TGIFSubImage *frame);
    static const TGIFExtensionClass ClassInfo;
    const TGIFExtensionClass &Class() const override { return ClassInfo; }
    uint16_t Loops = 0;
    uint32_t BufferSize = 0;
    // The sub-blocks as read (loop count, buffer size and any others); written back with the
    // current Loops and BufferSize in the last sub-block of each kind.
    TGIFBlocks SubBlocks;
    void WriteBody(QIODevice &stream) override;
    void ReadBody(TGIFInput &input) override;
};

// A copy of an extension that belongs to `frame` (not yet in its list).
TGIFExtension *CopyExtension(TGIFExtension &source, TGIFSubImage *frame);

// The registries: look-ups find the registered classes first, from the last registered pair to
// the first, then the built-in ones. Registrations are kept until FreeExtensionRegistries
// (UnregisterGIFCodec calls it).
void RegisterExtension(uint8_t label, const TGIFExtensionClass *cls);
void RegisterAppExtension(const std::string &identifier11, const TGIFExtensionClass *cls);
const TGIFExtensionClass *FindExtension(uint8_t label);
const TGIFExtensionClass *FindAppExtension(const uint8_t *identifier11);
void FreeExtensionRegistries();

// ---------------------------------------------------------------------------------------
// The picture

class TGIFImage : public TGraphic {
    Q_OBJECT
public:
    TGIFImage();
    ~TGIFImage() override;

    TGIFImageList &Images() { return images; }
    const TGIFImageList &Images() const { return images; }
    TGIFHeader &Header() { return header; }
    const TGIFHeader &Header() const { return header; }
    TGIFGlobalColorMap &GlobalColorMap() { return header.ColorTable(); }

    // Settings.
    uint16_t PaintFlags = DefaultPaintFlags;
    uint8_t ReductionMode = 6;
    int PaletteBits = 8;
    uint8_t DitherKind = 0;
    uint8_t Encoding = encLZW;
    uint8_t PainterPriority = 3;
    int SpeedPercent = 100;
    TColor BackdropColor = GIFNoColor;
    TGIFWarningEvent OnCodecWarning;
    // The painter's events, copied into each painter when it is made.
    TGIFPainterEvent OnAnimationStart, OnFramePaint, OnFramePainted, OnAnimationLoop, OnAnimationEnd;
    // The clock painters time their delays with; none: the machine's clock.
    TPainterClock *PainterClock = nullptr;
    // Set when a change of palette dropped a rendering; the next rendering asks for a redraw
    // and clears it. Painter threads render too.
    std::atomic<bool> PaletteModified{false};

    void Clear();
    int Add(TGIFSubImage *frame);        // appended as it is
    int Add(const TGraphic &source);     // any other graphic becomes a new frame
    // The largest bits per pixel of the global table and of every frame.
    int BitsPerPixel() const;
    int ColorResolution() const { return BitsPerPixel() - 1; }
    bool IsAnimated() const { return images.Count() > 1; }
    // Count the pixels, frames and extensions that reading adds to the picture since it was
    // cleared; raise "Image dimensions too large", before the memory is allocated, beyond
    // GIFMaxImagePixels or GIFMaxImageItems.
    void ReservePixels(uint64_t count);
    void ReserveItem();
    void Warn(void *sender, int severity, const std::string &message);

    void Assign(const TGraphic &source) override;
    bool GetEmpty() const override;
    int GetWidth() const override;
    int GetHeight() const override;
    // Refuse sizes outside 0..65535, and sizes smaller than a frame's right or bottom edge.
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    TPalette GetPalette() const override;
    void SetPalette(const TPalette &palette) override;
    void Draw(TCanvas &canvas, const QRect &rect) override;
    void LoadFromStream(QIODevice &stream) override;
    // The same from bytes already in memory, read where they are: no device is needed around
    // them (for a small picture, a QBuffer costs as much as the reading).
    void LoadFromBytes(const QByteArray &bytes);
    void SaveToStream(QIODevice &stream) override;

    // Shrinks the picture (GIFOptimize.cpp): the options are a set of TCompactOption. The
    // reduction mode is only checked; no colours are reduced here.
    void Compact(uint8_t options, uint8_t reductionMode = 0, uint8_t ditherKind = 0, int paletteBits = 8);
    // Set by Compact until the picture is cleared or loaded: frames on the global table are then
    // written with codes only as wide as their pixels need, not as wide as the picture's table.
    bool NarrowCodeSizes() const { return narrowCodeSizes; }
    // The component-stream form: optimised first when GIFOptimizeOnWrite is set.
    void WriteData(QIODevice &stream);

    // The clipboard format "GIF Image" (the whole file, under that name and as
    // GIFClipboardMimeType). Pasting takes a GIF first, else any picture the clipboard offers,
    // converted into one frame.
    void LoadFromClipboardFormat();
    void SaveToClipboardFormat();

    // Drawing (GIFRender.cpp).
    // True when frames are rendered dithered to the colour cube.
    bool DitheringApplies() const;
    // The full-size bitmap (32 bits per pixel): what the picture shows, made from the first
    // frame when no painter paints into it; none for an empty picture.
    QImage Bitmap();
    // Forgets the full-size bitmap and stops the current painter.
    void DropCachedBitmap();
    // The painter the last Draw started, while it runs.
    TGIFPainter *CurrentPainter() const;
    int PainterCount() const;
    // Stops every painter and waits until they have ended.
    void StopPainters();
    // Stops the animation keeping the frame it reached (StopAnimation), or so that the next
    // Draw plays it from the start (RewindAnimation).
    void StopAnimation() override;
    void RewindAnimation() override;
    // The full-size bitmap as it stands, or drawn afresh without keeping it (a kept one would
    // hold an animation that was not drawn yet on its first frame). A bitmap assigned from the
    // picture and the clipboard's image get this.
    QImage ToImage() const override;
    // The lock of rendering: the painter renders the next frame in its own thread.
    std::recursive_mutex &RenderLock() const { return renderLock; }

private:
    friend class TGIFPainter;
    // A load: the picture emptied, read by `read`, progress reported; on a failure `undo` runs
    // before the exception goes on.
    void Load(const std::function<void()> &read, const std::function<void()> &undo);
    void ReadPicture(TGIFInput &input);
    // A painter for the target, started from a Draw on the caller's canvas and rectangle. A
    // painter without DrawAsync runs to its end here, and none is returned.
    TGIFPainter *StartPainter(TCanvas &target, const QRect &targetRect, const TCanvas &caller, const QRect &callerRect);
    void StopCurrentPainter(bool keepBitmap);
    void ShowBitmap(TCanvas &canvas, const QRect &rect);
    // The logical screen with the first frame drawn into it without transparency.
    QImage DrawFullSize();
    // Waits until no asynchronous painter other than those running a step is listed.
    void WaitForPainters();
    // Called by painters on the main thread: a frame was painted; the painter ends.
    void PainterPainted(TGIFPainter &painter);
    void PainterEnded(TGIFPainter &painter);

    TGIFImageList images;
    TGIFHeader header;
    mutable TPalette imagePalette;
    mutable bool paletteBusy = false;
    bool drawing = false;
    QImage cachedBitmap;
    std::unique_ptr<TImageCanvas> bitmapCanvas;
    mutable std::mutex painterLock;
    std::vector<TGIFPainter *> painterList;
    std::atomic<bool> painterStarted{false};   // a painter was ever listed
    TGIFPainter *currentPainter = nullptr;
    mutable std::recursive_mutex renderLock;
    uint64_t reservedPixels = 0;
    bool narrowCodeSizes = false;
    uint64_t reservedItems = 0;
};

extern const char *const GIFClipboardMimeType;   // "image/gif"
extern const char *const GIFClipboardFormatName; // "GIF Image", offered beside it

// What TGIFImage::Compact does.
enum TCompactOption : uint8_t {
    CompactTrim = 0x01,      // crop transparent frames, drop frames that become empty
    CompactRepeats = 0x02,   // make each frame transparent where it repeats the frame it is shown over
    CompactCleanup = 0x04,   // drop unused transparency, needless disposal, non-display extensions, empty frames
    CompactTables = 0x08,    // sort colour tables by use and drop unused entries
    CompactColors = 0x10,    // only checked: a caller-given palette needs CompactCleanup
    CompactAll = 0x1F,
};

// A bitmap of a picture that another program made (a pasted or loaded QImage): 32-bit when it
// has an alpha channel, with a mask (alpha below one half is transparent) and Transparent set;
// otherwise 24-bit, or 8-bit for indexed pictures.
std::unique_ptr<TBitmap> BitmapFromImage(const QImage &image);

// Start-up and shutdown of the codec: registers ".gif" as "GIF Image" with the picture loader.
void RegisterGIFCodec();
void UnregisterGIFCodec();

// ---------------------------------------------------------------------------------------
// Decoding and encoding

// Decodes one frame's LZW data from the stream into pixels (width x height bytes, and
// GIFPixelSlack bytes beyond them); pixels the data does not reach get the fill value. Leaves
// the stream after the data's terminator. warn receives the warnings.
void DecodeLZW(TGIFInput &input, uint8_t *pixels, int width, int height, bool interlaced, uint8_t fill,
               const std::function<void(const std::string &)> &warn);
// The same on the stream's bytes, leaving the stream after them.
void DecodeLZW(QIODevice &stream, uint8_t *pixels, int width, int height, bool interlaced,
               uint8_t fill, const std::function<void(const std::string &)> &warn);

// A stream used only for writing GIF blocks: every operation of the base raises
// "Invalid stream operation".
class TGIFStream {
public:
    virtual ~TGIFStream() = default;
    virtual int64_t Read(void *buffer, int64_t count);
    virtual int64_t Write(const void *buffer, int64_t count);
    virtual int64_t Seek(int64_t offset, int origin);
};

// Packs bytes into data sub-blocks of at most 255 bytes on an underlying stream.
class TGIFWriter : public TGIFStream {
public:
    explicit TGIFWriter(QIODevice &stream);
    ~TGIFWriter() override;
    int64_t Write(const void *buffer, int64_t count) override;
    void WriteByte(uint8_t b)
    {
        dirty = true;
        block[fill++] = b;
        if (fill == 256)
            Flush();
    }
    void Flush();

private:
    QIODevice &out;
    uint8_t block[256];
    int fill = 1;
    bool dirty = false;
};

// The highest of n pixel indexes, -1 for none.
int HighestOf(const uint8_t *pixels, size_t n);

// The LZW minimum code size a frame is written with.
int FrameCodeSize(const TGIFSubImage &frame);
// Writes one frame's image data (code size byte, sub-blocks, terminator) with the encoder the
// image's Encoding chooses.
void EncodeFrame(TGIFSubImage &frame, QIODevice &stream);
// Encodes pixels with LZW (encoding != encRunLength) or run-length codes.
void EncodePixels(QIODevice &stream, int minCodeSize, int colorCount, const uint8_t *pixels, bool interlaced,
                  int height, int width, int encoding = encLZW);
