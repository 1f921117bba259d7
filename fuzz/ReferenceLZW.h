#pragma once
// A literal transcription of the reference decoding rules (one pixel per ReadPixel call, through the stack), kept
// as the reference that the codec's faster decoder must match: same pixels, same warnings,
// same failures, same stream position. Used by the differential fuzz target and by
// tst_gif_decoder. The two guards left open are those of the codec: a minimum code
// size above 11 and a stack overrun raise "Invalid GIF data"; a code that would start beyond
// the bit buffer raises "Invalid GIF data".
#include "gif/GIFImage.h"

#include <QBuffer>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace reference {

struct LZW {
    QIODevice &stream;
    std::function<void(const std::string &)> warn;
    int minCodeSize;
    int ClearCode, EndCode, CodeSize, CodeLimit, NextCode;
    int FirstCode = 0, OldCode = 0;
    int Prefix[4096] = {}, Suffix[4096] = {};
    int Stack[8192];
    int sp = 0;
    bool Fresh = true, Done = false, TerminatorSeen = false;
    uint8_t Buffer[257 + 8] = {};
    int CurrentBit = 0, LastBit = 0, LastByte = 2;

    LZW(QIODevice &s, std::function<void(const std::string &)> w, int m) : stream(s), warn(std::move(w)), minCodeSize(m)
    {
        ClearCode = 1 << m;
        EndCode = ClearCode + 1;
        CodeSize = m + 1;
        CodeLimit = 2 * ClearCode;
        NextCode = ClearCode + 2;
    }

    int GetCode()
    {
        if (Fresh) {
            Fresh = false;
            return ClearCode;
        }
        if (CurrentBit + CodeSize >= LastBit) {
            if (Done) {
                if (CurrentBit >= LastBit)
                    warn("Decoder bit buffer under-run");
                return -1;
            }
            Buffer[0] = Buffer[LastByte - 2];
            Buffer[1] = Buffer[LastByte - 1];
            char len;
            if (!stream.getChar(&len))
                return -1;
            int count = uint8_t(len);
            if (count == 0) {
                Done = true;
                TerminatorSeen = true;
            } else {
                const qint64 available = stream.bytesAvailable();
                if (available < count) {
                    warn("Premature end of data");
                    count = int(available);
                }
                if (count > 0 && stream.read(reinterpret_cast<char *>(Buffer + 2), count) != count)
                    throw GIFException("Premature end of data");
            }
            LastByte = 2 + count;
            CurrentBit = CurrentBit - LastBit + 16;
            LastBit = (2 + count) * 8;
            if (CurrentBit + CodeSize > 257 * 8)
                throw GIFException("Invalid GIF data");
        }
        const int s = CurrentBit / 8, e = (CurrentBit + CodeSize) / 8;
        uint32_t v = Buffer[s];
        if (e > s)
            v |= uint32_t(Buffer[s + 1]) << 8;
        if (e > s + 1)
            v |= uint32_t(Buffer[s + 2]) << 16;
        const int code = int((v >> (CurrentBit % 8)) & ((1u << CodeSize) - 1));
        CurrentBit += CodeSize;
        return code;
    }

    void Push(int v)
    {
        if (sp >= 8192)
            throw GIFException("Invalid GIF data");
        Stack[sp++] = v;
    }

    int ReadPixel()
    {
        if (sp > 0)
            return Stack[--sp];
        int c = GetCode();
        if (c < 0)
            return c;
        if (c == ClearCode) {
            for (int i = 0; i < 4096; ++i) {
                Suffix[i] = i < ClearCode ? i : 0;
                Prefix[i] = 0;
            }
            CodeSize = minCodeSize + 1;
            CodeLimit = 2 * ClearCode;
            NextCode = ClearCode + 2;
            sp = 0;
            do
                c = GetCode();
            while (c == ClearCode);
            FirstCode = OldCode = c;
            return c;
        }
        if (c == EndCode) {
            if (TerminatorSeen)
                return -2;
            char len;
            while (stream.getChar(&len) && len != 0)
                stream.skip(uint8_t(len));
            return -2;
        }
        const int in = c;
        if (c >= NextCode) {
            Push(FirstCode);
            c = OldCode;
        }
        while (c >= ClearCode) {
            Push(Suffix[c]);
            if (Prefix[c] == c)
                throw GIFException("Circular decoder table entry");
            c = Prefix[c];
        }
        FirstCode = Suffix[c];
        Push(FirstCode);
        if (NextCode <= 4095) {
            Prefix[NextCode] = OldCode;
            Suffix[NextCode] = FirstCode;
            NextCode += 1;
            if (NextCode >= CodeLimit && CodeLimit <= 4095) {
                CodeLimit *= 2;
                CodeSize += 1;
            }
        }
        OldCode = in;
        return Stack[--sp];
    }
};

// The reference Decompress, on a buffer already filled with the fill value.
inline void Decode(QIODevice &stream, uint8_t *pixels, int width, int height, bool interlaced,
                   const std::function<void(const std::string &)> &warn)
{
    char sizeByte;
    if (!stream.getChar(&sizeByte))
        return;
    if (uint8_t(sizeByte) > 11)
        throw GIFException("Invalid GIF data");
    auto d = std::make_unique<LZW>(stream, warn, uint8_t(sizeByte));
    auto body = [&] {
        if (!interlaced) {
            for (long i = 0; i < long(width) * height; ++i) {
                const int v = d->ReadPixel();
                if (v < 0)
                    return;
                pixels[i] = uint8_t(v);
            }
            return;
        }
        int pass = 0, step = 8, row = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int v = d->ReadPixel();
                if (v < 0)
                    return;
                pixels[long(row) * width + x] = uint8_t(v);
            }
            row += step;
            while (row >= height) {
                if (pass > 0)
                    step /= 2;
                pass += 1;
                row = step / 2;
            }
        }
    };
    try {
        body();
    } catch (...) {
        try {
            d->ReadPixel();
        } catch (...) {
        }
        throw;
    }
    d->ReadPixel();
}

} // namespace reference

// What one decoder made of some image data: the pixels, the warnings in order, the error (if
// any) and where it left the stream. Differential checks compare two of these.
struct DecodeOutcome {
    std::vector<uint8_t> pixels;
    std::vector<std::string> warnings;
    std::string error;
    qint64 pos = 0;
};

template <class Decoder>
DecodeOutcome RunDecoder(const QByteArray &data, int width, int height, uint8_t fill, Decoder decode)
{
    DecodeOutcome o;
    o.pixels.assign(size_t(width) * height + 16, fill);
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    try {
        decode(buffer, o.pixels.data(), [&](const std::string &m) { o.warnings.push_back(m); });
    } catch (const GIFException &e) {
        o.error = e.what();
    }
    o.pixels.resize(size_t(width) * height);
    o.pos = buffer.pos();
    return o;
}
