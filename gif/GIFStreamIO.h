#pragma once
// Byte-level reading and writing of GIF blocks on a stream, shared by the reader, the
// extensions and the writer.
#include <QIODevice>

#include <cstdint>

// Reads exactly count bytes or raises "Premature end of data".
void GIFReadExact(QIODevice &stream, void *buffer, qint64 count);
// A byte, or -1 at the end of the stream.
int GIFReadByte(QIODevice &stream);
// Writes all bytes or raises the I/O error.
void GIFWriteBytes(QIODevice &stream, const void *buffer, qint64 count);
void GIFWriteByte(QIODevice &stream, uint8_t b);
// Steps back one byte (not before the start).
void GIFStepBack(QIODevice &stream);
