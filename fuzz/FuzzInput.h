#pragma once
// What the GIF fuzz targets share: the limits that keep pictures within the fuzzer's memory
// and speed, loading the input, and the choice of options an input makes.
#include "gif/GIFImage.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

inline void Check(bool condition)
{
    if (!condition)
        std::abort();
}

inline void LimitPictureSizes()
{
    GIFMaxFramePixels = uint64_t(1) << 20;
    GIFMaxImagePixels = uint64_t(1) << 21;
}

// Reads the input into the picture; false when the reader refuses it (then the stream must be
// back at its start).
inline bool LoadInput(TGIFImage &image, const uint8_t *data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        image.LoadFromStream(buffer);
    } catch (const GIFException &) {
        Check(buffer.pos() == 0);
        return false;
    }
    return true;
}

// Options chosen by the input's last byte: 0 for a file that ends with the trailer, as the
// files of the seed corpus do, so that they run with the defaults.
inline uint8_t InputChoice(const uint8_t *data, size_t size)
{
    return size > 0 ? uint8_t(data[size - 1] ^ ';') : 0;
}
