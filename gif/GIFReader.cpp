// Reading a GIF file's blocks: the logical screen, the colour tables, the frames with their
// extensions, and the trailer.
#include "gif/GIFImage.h"
#include "gif/GIFStreamIO.h"

#include <QBuffer>

#include <cctype>
#include <cstring>

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

void TGIFColorMap::LoadFromStream(QIODevice &stream, int n)
{
    Clear();
    Grow(n);
    if (n > 0)
        GIFReadExact(stream, colors.data(), 3 * qint64(n));
    count = n;
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

void TGIFTrailer::LoadFromStream(QIODevice &stream)
{
    char b;
    if (stream.getChar(&b) && b != ';')
        Warn(1, "Invalid Image trailer");
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
