#include "platform/MetafileRecords.h"

#include "platform/Graphic.h"
#include "platform/LittleEndian.h"

#include <cstdlib>
#include <string>

namespace {

const char *const InvalidMetafile = "Metafile is not valid";

// Counts records and points against the budget.
class Budget {
public:
    void Record()
    {
        if (++records > MaxMetafileRecords)
            throw EInvalidGraphic("Metafile has too many records (more than " + std::to_string(MaxMetafileRecords) + ")");
    }
    void Points(long long count)
    {
        points += count;
        if (points > MaxMetafilePoints)
            throw EInvalidGraphic("Metafile has too many points (more than " + std::to_string(MaxMetafilePoints) + ")");
    }

private:
    long long records = 0, points = 0;
};

// A device-independent bitmap that fills `size` bytes from `at`: a header of a known kind,
// a sensible size and depth, and its colours and rows inside those bytes.
void CheckBitmap(const QByteArray &file, qsizetype at, qsizetype size)
{
    if (size < 12)
        throw EInvalidGraphic(InvalidMetafile);
    const quint32 headerSize = Le32(file, at);
    long long width, height;
    int planes, bits;
    quint32 compression = 0, colorsUsed = 0;
    if (headerSize == 12) {
        width = Le16(file, at + 4);
        height = Le16(file, at + 6);
        planes = Le16(file, at + 8);
        bits = Le16(file, at + 10);
    } else if ((headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 || headerSize == 108 ||
                headerSize == 124) && headerSize <= size) {
        width = LeI32(file, at + 4);
        height = std::llabs(LeI32(file, at + 8));
        planes = Le16(file, at + 12);
        bits = Le16(file, at + 14);
        compression = Le32(file, at + 16);
        colorsUsed = Le32(file, at + 32);
    } else {
        throw EInvalidGraphic(InvalidMetafile);
    }
    const bool knownDepth = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (width <= 0 || height <= 0 || width * height > MaxGraphicPixels || planes != 1 || !knownDepth ||
        compression > 3 || colorsUsed > 256)
        throw EInvalidGraphic(InvalidMetafile);
    const long long entry = headerSize == 12 ? 3 : 4;
    const long long colors = colorsUsed ? colorsUsed : bits <= 8 ? 1LL << bits : 0;
    const long long masks = compression == 3 && headerSize == 40 ? 12 : 0;   // later headers hold them
    const long long rows = compression == 1 || compression == 2 ? 0 : (width * bits + 31) / 32 * 4 * height;
    if (headerSize + masks + colors * entry + rows > size)
        throw EInvalidGraphic(InvalidMetafile);
}

// Where the bitmap of a Windows metafile record starts (bytes from the record's start), or 0
// for a record without one.
qsizetype BitmapOffset(quint16 function, quint32 sizeInWords)
{
    // A blit "without bitmap" is one word longer than its parameters and ends there.
    const bool withoutBitmap = sizeInWords == quint32(function >> 8) + 3;
    switch (function) {
    case 0x0142:   // META_DIBCREATEPATTERNBRUSH: style, colour usage
        return 10;
    case 0x0940:   // META_DIBBITBLT
        return withoutBitmap ? 0 : 22;
    case 0x0B41:   // META_DIBSTRETCHBLT
        return withoutBitmap ? 0 : 26;
    case 0x0F43:   // META_STRETCHDIB
        return 28;
    case 0x0D33:   // META_SETDIBTODEV
        return 24;
    default:
        return 0;
    }
}

// The points of a Windows metafile record that draws lines or shapes.
long long WmfPoints(const QByteArray &file, qsizetype record, qsizetype size, quint16 function)
{
    if ((function == 0x0324 || function == 0x0325) && size >= 8)   // META_POLYGON, META_POLYLINE
        return Le16(file, record + 6);
    if (function == 0x0538 && size >= 8) {   // META_POLYPOLYGON: the polygons' point counts
        const qsizetype polygons = Le16(file, record + 6);
        if (8 + 2 * polygons > size)
            throw EInvalidGraphic(InvalidMetafile);
        long long points = 0;
        for (qsizetype i = 0; i < polygons; ++i)
            points += Le16(file, record + 8 + 2 * i);
        return points;
    }
    return 0;
}

// The points of an enhanced metafile record that draws lines or shapes (the count sits in the
// same place in all of them).
long long EmfPoints(const QByteArray &file, qsizetype record, qsizetype size, quint32 type)
{
    switch (type) {
    case 2: case 3: case 4: case 5: case 6:         // poly-Bézier, polygon, polyline (and "to")
    case 56:                                        // EMR_POLYDRAW
    case 85: case 86: case 87: case 88: case 89:    // their 16-bit forms
    case 92:                                        // EMR_POLYDRAW16
        return size >= 28 ? Le32(file, record + 24) : 0;
    case 7: case 8: case 90: case 91:               // poly-polylines and poly-polygons
        return size >= 32 ? Le32(file, record + 28) : 0;
    default:
        return 0;
    }
}

} // namespace

void CheckWmfRecords(const QByteArray &file, qsizetype start)
{
    Budget budget;
    const qsizetype end = file.size();
    for (qsizetype record = start + 2 * qsizetype(Le16(file, start + 2)); record + 6 <= end;) {
        const quint32 words = Le32(file, record);
        const quint16 function = Le16(file, record + 4);
        if (function == 0)   // META_EOF
            return;
        const qsizetype size = 2 * qsizetype(words);
        if (words < 3 || size > end - record)
            throw EInvalidGraphic(InvalidMetafile);
        budget.Record();
        budget.Points(WmfPoints(file, record, size, function));
        if (const qsizetype bitmap = BitmapOffset(function, words))
            CheckBitmap(file, record + bitmap, size - bitmap);
        record += size;
    }
}

void CheckEmfRecords(const QByteArray &file, qsizetype bytes)
{
    Budget budget;
    for (qsizetype record = 0; record + 8 <= bytes;) {
        const quint32 type = Le32(file, record);
        const quint32 size = Le32(file, record + 4);
        if (size < 8 || size % 4 != 0 || size > quint64(bytes - record))
            throw EInvalidGraphic(InvalidMetafile);
        budget.Record();
        budget.Points(EmfPoints(file, record, qsizetype(size), type));
        if (type == 14)   // EMR_EOF
            return;
        record += size;
    }
}
