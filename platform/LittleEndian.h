#pragma once
// Numbers stored lowest byte first in a byte array (metafile headers and records). The caller
// makes sure that the bytes are there.
#include <QByteArray>

inline quint16 Le16(const QByteArray &d, qsizetype at) { return quint16(uchar(d[at]) | uchar(d[at + 1]) << 8); }
inline quint32 Le32(const QByteArray &d, qsizetype at) { return quint32(Le16(d, at)) | quint32(Le16(d, at + 2)) << 16; }
inline qint32 LeI32(const QByteArray &d, qsizetype at) { return qint32(Le32(d, at)); }
inline qint16 LeI16(const QByteArray &d, qsizetype at) { return qint16(Le16(d, at)); }
