// Reading a GIF file's blocks: the logical screen, the colour tables, the frames with their
// extensions, and the trailer. Everything reads the file's bytes in memory.
#include "gif/GIFImage.h"
#include "gif/GIFStreamIO.h"

#include <cstring>

void TGIFItem::LoadFromStream(QIODevice &stream)
{
    GIFReadDevice(stream, [this](TGIFInput &input) { Read(input); });
}

void TGIFList::LoadFromStream(QIODevice &stream, void *parent)
{
    GIFReadDevice(stream, [&](TGIFInput &input) { Read(input, parent); });
}

namespace {
// The next byte that is not 0, or -1 at the end.
int SkipZeros(TGIFInput &input)
{
    int b;
    do
        b = input.ReadByte();
    while (b == 0);
    return b;
}
} // namespace

void TGIFImageList::Read(TGIFInput &input, void *)
{
    int b = SkipZeros(input);
    if (b < 0)
        return;
    while (b != ';') {
        input.StepBack();
        if (b != '!' && b != ',') {
            Warn(1, "Unknown GIF block type");
            break;
        }
        auto *frame = new TGIFSubImage(image);
        try {
            frame->Read(input);
        } catch (...) {
            delete frame;
            throw;
        }
        Add(frame);
        if (image->ProgressWanted()) {
            const qint64 size = input.Size();
            image->Progress(TProgressStage::Running, size > 0 ? int(input.Pos() * 100 / size) : 0, GIFRenderOnLoad,
                            QRect(), "Loading...");
        }
        b = SkipZeros(input);
        if (b < 0)
            return;
    }
    input.StepBack();
}

void TGIFColorMap::Read(TGIFInput &input, int n)
{
    static_assert(sizeof(TGIFColor) == 3, "a table entry is the file's three bytes");
    Clear();
    if (n <= 0)
        return;
    const uint8_t *from = input.Here();
    if (input.Skip(3 * qint64(n)) < 3 * qint64(n))
        throw GIFException("Premature end of data");
    Grow(n);   // the entries beyond n: black
    std::memcpy(colors.data(), from, 3 * size_t(n));
    count = n;
}

void TGIFHeader::Read(TGIFInput &input)
{
    const qint64 start = input.Pos();
    char signature[6] = {};
    auto isGIF = [&](qint64 got) {
        if (got < 3)
            return false;
        // Any letter case: a lower-case letter is its capital with bit 5 set.
        return (signature[0] | 0x20) == 'g' && (signature[1] | 0x20) == 'i' && (signature[2] | 0x20) == 'f';
    };
    qint64 got = input.Read(signature, 6);
    if (!isGIF(got)) {
        std::memset(signature, 0, sizeof signature);
        got = 0;
        if (input.Size() >= start + 4) {
            input.Seek(start + 4);
            got = input.Read(signature, 6);
        }
        if (!isGIF(got))
            throw GIFException("Invalid GIF signature");
    }
    Version.assign(signature + 3, 3);
    uint8_t descriptor[7];
    input.ReadExact(descriptor, 7);
    Width = LittleEndian16(descriptor);
    Height = LittleEndian16(descriptor + 2);
    Packed = descriptor[4];
    BackgroundColorIndex = descriptor[5];
    AspectRatio = descriptor[6];
    if (Packed & 0x80) {
        colorTable.Read(input, 2 << (Packed & 7));
        colorTable.SetOptimized((Packed & 0x08) != 0);
    } else {
        colorTable.Clear();
    }
}

void TGIFSubImage::Read(TGIFInput &input)
{
    Clear();
    if (image)
        image->ReserveItem();
    extensions.Read(input, this);
    const int b = input.PeekByte();
    if (b < 0 || b == ';' || b == 0)
        return;
    uint8_t descriptor[10];
    input.ReadExact(descriptor, 10);
    Separator = descriptor[0];
    Left = LittleEndian16(descriptor + 1);
    Top = LittleEndian16(descriptor + 3);
    Width = LittleEndian16(descriptor + 5);
    Height = LittleEndian16(descriptor + 7);
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
        colorTable.Read(input, 2 << (Packed & 7));
        colorTable.SetOptimized((Packed & 0x20) != 0);
    }
    Decompress(input);
    if (GIFRenderOnLoad)
        EnsureBitmap();
}

void TGIFSubImage::Decompress(TGIFInput &input)
{
    const int transparent = TransparentIndex();
    const uint8_t fill = transparent >= 0 ? uint8_t(transparent) : 0;
    AllocateUnset();
    DecodeLZW(input, data.get(), Width, Height, Interlaced(), fill,
              [this](const std::string &message) { Warn(1, message); });
}

void TGIFTrailer::Read(TGIFInput &input)
{
    const int b = input.ReadByte();
    if (b >= 0 && b != ';')
        Warn(1, "Invalid Image trailer");
}

void TGIFImage::LoadFromStream(QIODevice &stream)
{
    // The device is read as a whole: it ends where the picture ended, or where it started after
    // a failure.
    const qint64 start = stream.pos();
    Load([&] { GIFReadDevice(stream, [this](TGIFInput &input) { ReadPicture(input); }); },
         [&] {
             if (!stream.isSequential())
                 stream.seek(start);
         });
}

void TGIFImage::LoadFromBytes(const QByteArray &bytes)
{
    // Held, not just referred to: a warning handler may change the caller's array meanwhile.
    const QByteArray held = bytes;
    Load(
        [&] {
            TGIFInput input(reinterpret_cast<const uint8_t *>(held.constData()), held.size(), 0);
            ReadPicture(input);
        },
        [] {});
}

void TGIFImage::Load(const std::function<void()> &read, const std::function<void()> &undo)
{
    Progress(TProgressStage::Starting, 0, false, QRect(), "Loading...");
    Clear();
    try {
        read();
    } catch (...) {
        undo();
        Progress(TProgressStage::Ending, 0, true, QRect(), "Loading...");
        throw;
    }
    Progress(TProgressStage::Ending, 100, true, QRect(), "Loading...");
}

void TGIFImage::ReadPicture(TGIFInput &input)
{
    header.Read(input);
    images.Read(input, this);
    TGIFTrailer trailer(this);
    trailer.Read(input);
}
