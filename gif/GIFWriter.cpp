// The block layout of a written GIF file: the version, the logical screen and the colour
// tables as written, each frame's descriptor, and the trailer.
#include "gif/GIFImage.h"
#include "gif/GIFStreamIO.h"

#include <algorithm>
#include <cstring>

void TGIFList::SaveToStream(QIODevice &stream)
{
    for (TGIFItem *item : items)
        item->SaveToStream(stream);
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

void TGIFHeader::Prepare()
{
    const int bits = BitsForColors(WrittenColors());
    uint8_t packed = 0;
    if (bits > 0) {
        packed |= 0x80;
        if (colorTable.Optimized())
            packed |= 0x08;
    }
    const int resolution = std::max(bits, WriteBitsPerPixel) - 1;
    packed |= uint8_t((resolution & 7) << 4);
    packed |= uint8_t((bits - 1) & 7);
    Packed = packed;
}

void TGIFHeader::SaveToStream(QIODevice &stream)
{
    GIFWriteBytes(stream, WriteVersion >= gv89a ? "GIF89a" : "GIF87a", 6);
    Prepare();
    const uint8_t descriptor[7] = {uint8_t(Width), uint8_t(Width >> 8), uint8_t(Height), uint8_t(Height >> 8),
                                   Packed, BackgroundColorIndex, AspectRatio};
    GIFWriteBytes(stream, descriptor, 7);
    if (Packed & 0x80)
        colorTable.SaveToStream(stream, WriteColorCount);
}

void TGIFSubImage::SaveToStream(QIODevice &stream)
{
    extensions.SaveToStream(stream);
    if (Empty())
        return;
    // An interlaced frame stays interlaced, with or without a local table.
    const int localColors = WrittenLocalColors();
    if (localColors > 0) {
        Packed = uint8_t(0x80 | (Packed & 0x40) | (colorTable.Optimized() ? 0x20 : 0) |
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
        colorTable.SaveToStream(stream, localColors);
    EncodeFrame(*this, stream);
}

void TGIFTrailer::SaveToStream(QIODevice &stream) { GIFWriteByte(stream, ';'); }

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
        for (int i = 0; i < images.Count() && version < gv89a; ++i)
            version = std::max(version, images.Frame(i)->RequiredVersion());
        header.WriteVersion = version;
        struct WrittenTables {
            TGIFHeader &h;
            ~WrittenTables() { h.WriteColorCount = h.WriteBitsPerPixel = 0; }
        } resetAfterwards{header};
        PlanWrittenTables(images, header);
        header.SaveToStream(stream);
        const int total = images.Count();
        for (int i = 0; i < total; ++i) {
            images.Frame(i)->SaveToStream(stream);
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
