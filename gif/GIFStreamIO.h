#pragma once
// Byte-level reading and writing of GIF blocks. Reading works on the file's bytes in memory
// (TGIFInput), shared by the reader, the extensions and the decoder; writing goes to a stream.
#include "platform/Exceptions.h"

#include <QIODevice>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

// A 16-bit number as GIF stores it: the low byte first.
inline uint16_t LittleEndian16(const uint8_t *bytes) { return uint16_t(bytes[0] | (bytes[1] << 8)); }

// The bytes of a GIF file being read, and the position reading has reached.
class TGIFInput {
public:
    TGIFInput(const uint8_t *data, qint64 size, qint64 pos = 0)
        : data(data), size(std::max<qint64>(size, 0)), pos(std::clamp<qint64>(pos, 0, this->size))
    {
    }
    qint64 Pos() const { return pos; }
    qint64 Size() const { return size; }
    qint64 Left() const { return size - pos; }
    // Positions outside the bytes are taken as their start or end.
    void Seek(qint64 to) { pos = std::clamp<qint64>(to, 0, size); }
    // Steps back one byte (not before the start).
    void StepBack() { pos -= pos > 0; }
    // A byte, or -1 at the end.
    int ReadByte() { return pos < size ? data[pos++] : -1; }
    int PeekByte() const { return pos < size ? data[pos] : -1; }
    // The bytes from the position on (Left() of them).
    const uint8_t *Here() const { return data + pos; }
    // Up to count bytes; how many there were.
    qint64 Read(void *to, qint64 count)
    {
        count = std::clamp<qint64>(count, 0, size - pos);
        std::memcpy(to, data + pos, size_t(count));
        pos += count;
        return count;
    }
    // Exactly count bytes, or "Premature end of data" (after taking what there was).
    void ReadExact(void *to, qint64 count)
    {
        if (Read(to, count) < count)
            throw GIFException("Premature end of data");
    }
    // Passes over up to count bytes; how many there were.
    qint64 Skip(qint64 count)
    {
        count = std::clamp<qint64>(count, 0, size - pos);
        pos += count;
        return count;
    }

private:
    const uint8_t *data;
    qint64 size, pos;
};

// Runs read over the device's bytes from its position: a QBuffer's own memory, else all the
// device has left, read at once. The device is left where reading stopped, also when read
// fails.
void GIFReadDevice(QIODevice &device, const std::function<void(TGIFInput &)> &read);

// Writes all bytes or raises the I/O error.
void GIFWriteBytes(QIODevice &stream, const void *buffer, qint64 count);
void GIFWriteByte(QIODevice &stream, uint8_t b);
