// GIF frame encoding: the sub-block writer, the LZW encoder with its 8009-cell hash
// table and the run-length encoder.
#include "gif/GIFImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// ---------------------------------------------------------------------------------------
// TGIFStream and TGIFWriter

int64_t TGIFStream::Read(void *, int64_t) { throw GIFException("Invalid stream operation"); }
int64_t TGIFStream::Write(const void *, int64_t) { throw GIFException("Invalid stream operation"); }
int64_t TGIFStream::Seek(int64_t, int) { throw GIFException("Invalid stream operation"); }

TGIFWriter::TGIFWriter(QIODevice &stream) : out(stream) {}

TGIFWriter::~TGIFWriter()
{
    if (dirty) {
        try {
            Flush();
        } catch (...) {
        }
    }
}

int64_t TGIFWriter::Write(const void *buffer, int64_t count)
{
    const auto *p = static_cast<const uint8_t *>(buffer);
    for (int64_t i = 0; i < count; ++i)
        WriteByte(p[i]);
    return count;
}

void TGIFWriter::Flush()
{
    if (fill <= 0)
        return;
    block[0] = uint8_t(fill - 1);
    const int n = fill;
    fill = 1;
    dirty = false;
    if (out.write(reinterpret_cast<const char *>(block), n) != n)
        throw EInOutError(EIO);
}

namespace {

// ---------------------------------------------------------------------------------------
// Encoders

class TGIFEncoder {
public:
    virtual ~TGIFEncoder() = default;

    void EncodePixels(QIODevice &stream, int minCodeSize, int colorCount, const uint8_t *pixels, bool interlaced,
                      int height, int width)
    {
        this->colorCount = colorCount;
        if (minCodeSize < 2)
            minCodeSize = 2;
        this->minCodeSize = minCodeSize;
        const uint8_t sizeByte = uint8_t(minCodeSize);
        if (stream.write(reinterpret_cast<const char *>(&sizeByte), 1) != 1)
            throw EInOutError(EIO);
        initialCodeSize = minCodeSize + 1;
        codeSize = initialCodeSize;
        maxCode = (1 << codeSize) - 1;
        clearCode = 1 << minCodeSize;
        endCode = clearCode + 1;
        firstFreeCode = clearCode + 2;
        bitBuffer = 0;
        bitCount = 0;
        this->pixels = pixels;
        this->width = width;
        this->height = height;
        this->interlaced = interlaced;
        {
            TGIFWriter w(stream);
            writer = &w;
            if (pixels && width > 0 && height > 0) {
                CompressPixels();
                EmitCode(endCode);
            } else {
                EmitCode(endCode);
            }
            writer = nullptr;
        }
        const uint8_t terminator = 0;
        if (stream.write(reinterpret_cast<const char *>(&terminator), 1) != 1)
            throw EInOutError(EIO);
    }

protected:
    virtual void EmitCode(int code) { PackCode(code); }
    virtual void SendClear()
    {
        clearFlag = true;
        EmitCode(clearCode);
    }
    virtual void CompressPixels() = 0;

    inline void PackCode(int code)
    {
        if (bitCount > 0)
            bitBuffer = (uint32_t(code) << bitCount) | (bitBuffer & ((1u << bitCount) - 1));
        else
            bitBuffer = uint32_t(code);
        bitCount += codeSize;
        while (bitCount >= 8) {
            writer->WriteByte(uint8_t(bitBuffer));
            bitBuffer >>= 8;
            bitCount -= 8;
        }
        if (code == endCode) {
            while (bitCount > 0) {
                writer->WriteByte(uint8_t(bitBuffer));
                bitBuffer >>= 8;
                bitCount -= 8;
            }
            bitCount = 0;
        }
    }

    [[noreturn]] static void NotInTable() { throw GIFException("Color not in color table"); }

    // The rows in writing order: top to bottom, or the four interlace passes.
    std::vector<int> RowOrder() const
    {
        std::vector<int> rows;
        rows.reserve(size_t(height));
        if (!interlaced) {
            for (int y = 0; y < height; ++y)
                rows.push_back(y);
        } else {
            static const int start[4] = {0, 4, 2, 1};
            static const int step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < height; y += step[pass])
                    rows.push_back(y);
        }
        return rows;
    }

    // Calls f(pixels, count) for the runs of pixels in writing order (the whole buffer, or
    // rows in interlace order), each checked against the colour count first.
    template <class F>
    void ForEachRun(F &&f)
    {
        if (colorCount <= 0)
            NotInTable();
        auto run = [&](const uint8_t *p, size_t n) {
            if (colorCount < 256 && HighestOf(p, n) >= colorCount)
                NotInTable();
            f(p, n);
        };
        if (!interlaced) {
            run(pixels, size_t(width) * size_t(height));
        } else {
            for (int y : RowOrder())
                run(pixels + size_t(y) * width, size_t(width));
        }
    }

    // Calls f(pixel) for every pixel in writing order, checking it against the colour count.
    template <class F>
    void ForEachPixel(F &&f)
    {
        ForEachRun([&](const uint8_t *p, size_t n) { std::for_each(p, p + n, f); });
    }

    int colorCount = 0;
    int minCodeSize = 0;
    int width = 0, height = 0;
    bool interlaced = false;
    const uint8_t *pixels = nullptr;
    TGIFWriter *writer = nullptr;
    uint32_t bitBuffer = 0;
    int bitCount = 0;
    int codeSize = 0;
    int initialCodeSize = 0;
    int maxCode = 0;
    int clearCode = 0, endCode = 0, firstFreeCode = 0;
    bool clearFlag = false;
};

// The LZW string table: (prefix code, pixel) keys to codes, in 8192 cells with linear probing.
// At most 4096 entries live between clears, so a path always ends at an empty cell.
class THashTable {
public:
    static constexpr int Size = 8192;
    THashTable() { Clear(); }
    void Clear() { std::memset(cells, 0xFF, sizeof cells); }

    // The code stored for the key, or -1 with slot set to the empty cell where it belongs.
    inline int Find(uint32_t key, int &slot) const
    {
        for (int h = int((key * 2654435761u) >> 19);; h = (h + 1) & (Size - 1)) {
            const uint32_t cell = cells[h];
            if (cell == Empty) {
                slot = h;
                return -1;
            }
            if ((cell >> 12) == key)
                return int(cell & 0xFFF);
        }
    }
    inline void StoreAt(int slot, uint32_t key, int code) { cells[slot] = (key << 12) | uint32_t(code & 0xFFF); }

private:
    static constexpr uint32_t Empty = 0xFFFFFFFFu;
    uint32_t cells[Size];
};

class TLZWEncoder : public TGIFEncoder {
protected:
    void EmitCode(int code) override { EmitLZW(code); }

    inline void EmitLZW(int code)
    {
        PackCode(code);
        if (nextCode > maxCode || clearFlag) {
            if (clearFlag) {
                codeSize = initialCodeSize;
                maxCode = (1 << codeSize) - 1;
                clearFlag = false;
            } else {
                codeSize += 1;
                maxCode = codeSize == 12 ? 4096 : (1 << codeSize) - 1;
            }
        }
    }

    void SendClear() override
    {
        clearFlag = true;
        EmitLZW(clearCode);
        hash->Clear();
        nextCode = clearCode + 2;
    }

    void CompressPixels() override
    {
        hash = std::make_unique<THashTable>();
        nextCode = clearCode + 2;
        SendClear();
        bool first = true;
        ForEachRun([&](const uint8_t *pixels, size_t count) {
            size_t i = 0;
            if (first) {
                prefix = pixels[i++];
                first = false;
            }
            for (; i < count; ++i) {
                const uint8_t p = pixels[i];
                const uint32_t key = (uint32_t(prefix) << 8) | p;
                int slot;
                const int found = hash->Find(key, slot);
                if (found >= 0) {
                    prefix = found;
                    continue;
                }
                EmitLZW(prefix);
                prefix = p;
                if (nextCode >= 4095) {
                    SendClear();
                } else {
                    // The look-up stopped at the empty cell where the key belongs.
                    hash->StoreAt(slot, key, nextCode);
                    ++nextCode;
                }
            }
        });
        EmitLZW(prefix);
        hash.reset();
    }

private:
    int nextCode = 0;
    int prefix = 0;
    std::unique_ptr<THashTable> hash;
};

class TRLEEncoder : public TGIFEncoder {
protected:
    void SendClear() override
    {
        nextBump = bumpStart;
        clearLimit = clearStart;
        codesSinceClear = 0;
        longestKnown = 0;
        TGIFEncoder::SendClear();
        codeSize = initialCodeSize;
    }

    void EmitPlain(int code)
    {
        clearFlag = false;
        EmitCode(code);
        ++codesSinceClear;
        if (codesSinceClear >= nextBump) {
            nextBump += 1 << codeSize;
            ++codeSize;
        }
        if (codesSinceClear >= clearLimit)
            SendClear();
    }

    static int64_t RunCodeCost(int64_t count, int64_t maximumCodes)
    {
        int64_t cost = 0;
        const int64_t per = maximumCodes * (maximumCodes + 1) / 2;
        while (count >= per) {
            count -= per;
            cost += maximumCodes;
        }
        if (count > 0) {
            int64_t n = int64_t(std::sqrt(double(count)));
            if (n < 1)
                n = 1;
            while (n > 1 && (n - 1) * n / 2 >= count)
                --n;
            while (n * (n + 1) / 2 < count)
                ++n;
            cost += n;
        }
        return cost;
    }

    void ResetClearLimit()
    {
        clearLimit = clearStart;
        if (codesSinceClear >= clearLimit)
            SendClear();
    }

    void FlushAfterClear(int count)
    {
        clearLimit = maximumCodes;
        tablePixel = runPixel;
        int n = 1;
        while (count > 0) {
            if (n == 1) {
                longestKnown = 1;
                EmitPlain(runPixel);
                count -= 1;
            } else if (count >= n) {
                longestKnown = n;
                EmitPlain(firstFreeCode + n - 2);
                count -= n;
            } else {
                longestKnown += 1;
                EmitPlain(count == 1 ? runPixel : firstFreeCode + count - 2);
                break;
            }
            n = codesSinceClear == 0 ? 1 : n + 1;
        }
        ResetClearLimit();
    }

    void FlushByRepeatOrClear(int count)
    {
        if (1 + RunCodeCost(count, maximumCodes) < count) {
            SendClear();
            FlushAfterClear(count);
        } else {
            for (int i = 0; i < count; ++i)
                EmitPlain(runPixel);
        }
    }

    void FlushWithRunCodes(int count)
    {
        const int L = longestKnown;
        int64_t repeats = count / L;
        int64_t leftover = count % L;
        int64_t extra = leftover > 0 ? 1 : 0;
        if (codesSinceClear + repeats + extra > maximumCodes) {
            repeats = maximumCodes - codesSinceClear;
            leftover = count - repeats * L;
            extra = 1 + RunCodeCost(leftover, maximumCodes);
        }
        if (1 + RunCodeCost(count, maximumCodes) < repeats + extra) {
            SendClear();
            FlushAfterClear(count);
            return;
        }
        clearLimit = maximumCodes;
        for (int64_t i = 0; i < repeats; ++i)
            EmitPlain(firstFreeCode + L - 2);
        if (leftover > 0) {
            if (clearFlag)
                FlushAfterClear(int(leftover));
            else if (leftover == 1)
                EmitPlain(runPixel);
            else
                EmitPlain(firstFreeCode + int(leftover) - 2);
        }
        ResetClearLimit();
    }

    void FlushRun(int count)
    {
        if (count == 1)
            EmitPlain(runPixel);
        else if (clearFlag)
            FlushAfterClear(count);
        else if (longestKnown > 1 && tablePixel == runPixel)
            FlushWithRunCodes(count);
        else
            FlushByRepeatOrClear(count);
    }

    void CompressPixels() override
    {
        maximumCodes = 4095 - firstFreeCode;
        bumpStart = clearCode - 1;
        clearStart = minCodeSize <= 3 ? 9 : clearCode - 2;
        SendClear();
        runPixel = -1;
        int runLength = 0;
        ForEachPixel([&](uint8_t p) {
            if (runLength > 0 && p != runPixel) {
                FlushRun(runLength);
                runLength = 0;
            }
            if (p == runPixel) {
                ++runLength;
            } else {
                runPixel = p;
                runLength = 1;
            }
        });
        if (runLength > 0)
            FlushRun(runLength);
    }

private:
    int maximumCodes = 0;
    int bumpStart = 0;
    int clearStart = 0;
    int codesSinceClear = 0;
    int nextBump = 0;
    int clearLimit = 0;
    int runPixel = -1;
    int longestKnown = 0;
    int tablePixel = -1;
};

} // namespace

void EncodePixels(QIODevice &stream, int minCodeSize, int colorCount, const uint8_t *pixels, bool interlaced,
                  int height, int width, int encoding)
{
    std::unique_ptr<TGIFEncoder> encoder;
    if (encoding == encRunLength)
        encoder = std::make_unique<TRLEEncoder>();
    else
        encoder = std::make_unique<TLZWEncoder>();
    encoder->EncodePixels(stream, minCodeSize, colorCount, pixels, interlaced, height, width);
}

int FrameCodeSize(const TGIFSubImage &frame)
{
    const int localColors = frame.WrittenLocalColors();
    if (localColors > 0)
        return std::max(2, BitsForColors(localColors));
    const TGIFImage *image = frame.Image();
    if (!image)
        return 8;
    // An optimised picture: a frame that shows few of a large table's colours codes shorter, and
    // any decoder reads it the same.
    if (image->NarrowCodeSizes())
        return std::max(2, BitsForColors(frame.HighestIndex() + 1));
    // While the picture is saved, the planned width (frames without pixels, which are not written,
    // count for nothing); otherwise the widest table of the picture, widened to the frame's pixels
    // as the writer widens the global table.
    const int planned = image->Header().WriteBitsPerPixel;
    return std::max(2, planned > 0 ? planned : std::max(image->BitsPerPixel(), BitsForColors(frame.HighestIndex() + 1)));
}

void EncodeFrame(TGIFSubImage &frame, QIODevice &stream)
{
    const int minCodeSize = FrameCodeSize(frame);
    // Pixels are checked against the frame's own table where it has one.
    const int localColors = frame.WrittenLocalColors();
    const int encoding = frame.Image() ? int(frame.Image()->Encoding) : int(encLZW);
    EncodePixels(stream, minCodeSize, localColors > 0 ? localColors : 1 << minCodeSize, frame.Data(),
                 frame.Interlaced(), frame.Height, frame.Width, encoding);
}

void TGIFImage::WriteData(QIODevice &stream)
{
    if (GIFOptimizeOnWrite)
        Compact(CompactAll, 0, 0, 8);
    SaveToStream(stream);
}
