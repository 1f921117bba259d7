#pragma once
// A second, deliberately simple LZW decoder for GIF image data, used as the oracle that the
// codec's fast decoder (DecodeLZW) must match: same pixels, same warnings, same failures, same
// stream position. It produces one pixel per call through a stack and reads the data byte by
// byte, so it shares no structure with the fast decoder. Used by the differential fuzz target
// and by tst_gif_decoder.
//
// The decoding rules it stands for:
// - the first action is a table reset; a clear code resets the table and the code width;
// - an end code ends the data, also right after a clear code: the rest of the sub-blocks is
//   skipped up to the terminator and nothing more is read;
// - a code is read once all of its bits are there, however many sub-blocks they span;
// - a sub-block longer than the stream warns "Premature end of data"; a pixel asked for when
//   the data has reached its terminator without an end code warns "Decoder bit buffer under-run";
// - after the last pixel, data that goes on beyond the frame (anything but clear codes and the
//   end code) warns "Excess image data" and is skipped up to the terminator;
// - a minimum code size above 11 and a string longer than the 8192-entry stack raise
//   "Invalid GIF data"; an entry that is its own prefix raises "Circular decoder table entry".
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
    bool Fresh = true;
    bool TerminatorSeen = false;   // the zero-length sub-block was read
    bool Ended = false;            // an end code was handled
    // The bit reader: the current sub-block and the bits taken from it but not used yet.
    uint8_t block[255] = {};
    int blockLength = 0, blockAt = 0;
    uint32_t bits = 0;
    int bitCount = 0;

    LZW(QIODevice &s, std::function<void(const std::string &)> w, int m) : stream(s), warn(std::move(w)), minCodeSize(m)
    {
        ClearCode = 1 << m;
        EndCode = ClearCode + 1;
        CodeSize = m + 1;
        CodeLimit = 2 * ClearCode;
        NextCode = ClearCode + 2;
    }

    // Reads the next sub-block; false when the data or the stream has ended.
    bool NextBlock()
    {
        char length;
        if (TerminatorSeen || !stream.getChar(&length))
            return false;
        int count = uint8_t(length);
        if (count == 0) {
            TerminatorSeen = true;
            return false;
        }
        const qint64 available = stream.bytesAvailable();
        if (available < count) {
            warn("Premature end of data");
            count = int(available);
        }
        if (count > 0 && stream.read(reinterpret_cast<char *>(block), count) != count)
            throw GIFException("Premature end of data");
        blockLength = count;
        blockAt = 0;
        return true;
    }

    // -1 when the data ends before the code is complete.
    int GetCode(bool warnUnderRun = true)
    {
        if (Fresh) {
            Fresh = false;
            return ClearCode;
        }
        while (bitCount < CodeSize) {
            if (blockAt == blockLength) {
                if (!NextBlock()) {
                    if (TerminatorSeen && warnUnderRun)
                        warn("Decoder bit buffer under-run");
                    return -1;
                }
                continue;
            }
            bits |= uint32_t(block[blockAt++]) << bitCount;
            bitCount += 8;
        }
        const int code = int(bits & ((1u << CodeSize) - 1));
        bits >>= CodeSize;
        bitCount -= CodeSize;
        return code;
    }

    void SkipToTerminator()
    {
        char length;
        while (!TerminatorSeen && stream.getChar(&length)) {
            if (length == 0)
                TerminatorSeen = true;
            else
                stream.skip(uint8_t(length));
        }
    }

    int EndOfData()
    {
        Ended = true;
        SkipToTerminator();
        return -2;
    }

    void Reset()
    {
        for (int i = 0; i < 4096; ++i) {
            Suffix[i] = i < ClearCode ? i : 0;
            Prefix[i] = 0;
        }
        CodeSize = minCodeSize + 1;
        CodeLimit = 2 * ClearCode;
        NextCode = ClearCode + 2;
        sp = 0;
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
            Reset();
            do
                c = GetCode();
            while (c == ClearCode);
            if (c == EndCode)
                return EndOfData();
            FirstCode = OldCode = c;
            return c;
        }
        if (c == EndCode)
            return EndOfData();
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

    // After the last pixel: the data should hold nothing but its end code, maybe after clear
    // codes. Pixels still on the stack, or any other code, are data beyond the frame.
    void Finish()
    {
        if (Ended || TerminatorSeen)
            return;
        if (sp == 0) {
            int c = GetCode(false);
            for (; c == ClearCode; c = GetCode(false))
                Reset();
            if (c == EndCode)
                EndOfData();
            if (c == EndCode || c < 0)
                return;
        }
        warn("Excess image data");
        SkipToTerminator();
    }
};

// Decodes into pixels, width x height bytes already filled with the fill value.
inline void Decode(QIODevice &stream, uint8_t *pixels, int width, int height, bool interlaced,
                   const std::function<void(const std::string &)> &warn)
{
    char sizeByte;
    if (!stream.getChar(&sizeByte))
        return;
    if (uint8_t(sizeByte) > 11)
        throw GIFException("Invalid GIF data");
    auto d = std::make_unique<LZW>(stream, warn, uint8_t(sizeByte));
    const auto store = [&](int64_t at) {
        const int v = d->ReadPixel();
        if (v < 0)
            return false;
        pixels[at] = uint8_t(v);
        return true;
    };
    [&] {
        if (!interlaced) {
            for (int64_t i = 0; i < int64_t(width) * height; ++i)
                if (!store(i))
                    return;
            return;
        }
        int pass = 0, step = 8, row = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                if (!store(int64_t(row) * width + x))
                    return;
            row += step;
            while (row >= height) {
                if (pass > 0)
                    step /= 2;
                pass += 1;
                row = step / 2;
            }
        }
    }();
    d->Finish();
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

// The pixel buffer has 16 bytes beyond the frame, as the codec's frames do.
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
