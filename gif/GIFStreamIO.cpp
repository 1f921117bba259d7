#include "gif/GIFStreamIO.h"

#include "platform/Exceptions.h"

#include <cerrno>

void GIFReadExact(QIODevice &stream, void *buffer, qint64 count)
{
    if (count <= 0)
        return;
    if (stream.read(static_cast<char *>(buffer), count) != count)
        throw GIFException("Premature end of data");
}

int GIFReadByte(QIODevice &stream)
{
    char c;
    if (!stream.getChar(&c))
        return -1;
    return uint8_t(c);
}

void GIFWriteBytes(QIODevice &stream, const void *buffer, qint64 count)
{
    if (count > 0 && stream.write(static_cast<const char *>(buffer), count) != count)
        throw EInOutError(EIO);
}

void GIFWriteByte(QIODevice &stream, uint8_t b) { GIFWriteBytes(stream, &b, 1); }

void GIFStepBack(QIODevice &stream)
{
    if (stream.pos() > 0)
        stream.seek(stream.pos() - 1);
}
