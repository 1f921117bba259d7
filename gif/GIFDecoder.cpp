// LZW decoding of frames.
//
// The classic decoder hands out one pixel per call through a stack. This one produces whole
// strings: every table entry keeps its first eight pixels, written in one go for the short
// strings that most codes stand for; a longer string was written to the output once before,
// and is copied from where it first appeared (offset and length per table entry). It decodes
// straight into the frame's pixels, in the order of the data; the rows of an interlaced frame
// are moved to their places afterwards, in place.
//
// The rules it follows: a clear code resets the table and the code width (the first action of
// every frame is such a reset); an end code ends the data, also right after a clear code, and
// the rest of the sub-blocks is skipped up to the terminator; a code is read once all of its
// bits are there, however many sub-blocks they span; after the last pixel, data that goes on
// beyond the frame warns "Excess image data" and is skipped. Data that makes the table refer to
// entries not yet defined (codes above NextCode, a clear code followed by a non-pixel code)
// cannot be copied from earlier output: for the rest of such a frame a one-pixel-per-call
// decoder takes over, on the same table.
#include "gif/GIFImage.h"
#include "gif/GIFStreamIO.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr int TableSize = 4096;
constexpr int StackSize = 8192;
constexpr int BufferSize = 2 + 255;
// Positions in the frame are ints: larger frames are refused.
constexpr int64_t MaxPixels = INT32_MAX - GIFPixelSlack;

// The first pixels of a string (up to eight, the first in the low byte) and one more after
// them, when there is room. A pixel is the low byte of its code.
static_assert(std::endian::native == std::endian::little, "the first pixel is the lowest byte in memory");
uint64_t Extended(uint64_t head, int length, int pixel)
{
    return length < 8 ? head | uint64_t(pixel & 0xFF) << (8 * length) : head;
}

struct Decoder {
    TGIFInput *stream = nullptr;
    const std::function<void(const std::string &)> *warn = nullptr;

    int minCodeSize = 0;
    int ClearCode = 0, EndCode = 0, CodeSize = 0, CodeLimit = 0, NextCode = 0;
    int FirstCode = 0, OldCode = 0;
    bool Fresh = true;
    bool TerminatorSeen = false;   // the zero-length sub-block was read
    bool Ended = false;            // an end code was handled
    // The bit reader: unread bytes of earlier sub-blocks (at most two) and the current one.
    int CurrentBit = 0, LastBit = 0;
    uint8_t Buffer[BufferSize + 8];

    // The table. Fast path: each entry's first pixels (see Extended), its length, and where
    // its whole string was first written. One-pixel path: the code an entry extends and its
    // last pixel.
    uint64_t Head[TableSize];
    int32_t Offset[TableSize];
    uint16_t Length[TableSize];
    uint16_t Prefix[TableSize], Suffix[TableSize];
    int32_t Stack[StackSize];
    int sp = 0;
    int rootsFor = -1;          // the minimum code size the root entries were set up for
    bool exact = false;         // the one-pixel path runs: every entry holds prefix and suffix
    bool tailOnStack = false;   // the last string did not fit into the frame

    void Start(TGIFInput &s, const std::function<void(const std::string &)> &w, int minSize)
    {
        stream = &s;
        warn = &w;
        minCodeSize = minSize;
        ClearCode = 1 << minCodeSize;
        EndCode = ClearCode + 1;
        CodeSize = minCodeSize + 1;
        CodeLimit = 2 * ClearCode;
        NextCode = ClearCode + 2;
        FirstCode = OldCode = 0;
        Fresh = true;
        TerminatorSeen = Ended = false;
        CurrentBit = LastBit = 0;
        sp = 0;
        exact = false;
        tailOnStack = false;
        // Roots never change and the clear and end entries are never written, so a state that
        // decoded a frame of the same minimum code size before keeps them.
        if (rootsFor != minCodeSize) {
            for (int i = 0; i < ClearCode; ++i) {
                Head[i] = uint64_t(i & 0xFF);   // (roots of 9 bits and more are pixels too)
                Offset[i] = 0;
                Length[i] = 1;
                Prefix[i] = 0;
                Suffix[i] = uint16_t(i);
            }
            Prefix[ClearCode] = Suffix[ClearCode] = Prefix[EndCode] = Suffix[EndCode] = 0;
            rootsFor = minCodeSize;
        }
    }

    [[noreturn]] static void Corrupt() { throw GIFException("Invalid GIF data"); }

    // Appends sub-blocks until the next code is whole in the buffer; false when the data or the
    // stream ends first.
    bool Refill(bool warnUnderRun)
    {
        while (CurrentBit + CodeSize > LastBit) {
            if (TerminatorSeen) {
                if (warnUnderRun)
                    (*warn)("Decoder bit buffer under-run");
                return false;
            }
            const int from = CurrentBit >> 3;
            const int kept = (LastBit >> 3) - from;
            std::memmove(Buffer, Buffer + from, size_t(kept));
            CurrentBit &= 7;
            LastBit = kept * 8;
            int count = stream->ReadByte();
            if (count < 0)
                return false;
            if (count == 0) {
                TerminatorSeen = true;
                continue;
            }
            const qint64 available = stream->Left();
            if (available < count) {
                (*warn)("Premature end of data");
                count = available > 0 ? int(available) : 0;
            }
            if (count > 0 && stream->Read(Buffer + kept, count) != count)
                throw GIFException("Premature end of data");
            LastBit += count * 8;
        }
        return true;
    }

    int GetCode(bool warnUnderRun = true)
    {
        if (Fresh) {
            Fresh = false;
            return ClearCode;
        }
        if (CurrentBit + CodeSize > LastBit && !Refill(warnUnderRun))
            return -1;
        uint32_t v;
        std::memcpy(&v, Buffer + (CurrentBit >> 3), 4);
        const int code = int((v >> (CurrentBit & 7)) & ((1u << CodeSize) - 1));
        CurrentBit += CodeSize;
        return code;
    }

    // From here on the one-pixel path reads the table: entries not defined since the last
    // clear read as 0, as a reset leaves them.
    void MakeExact()
    {
        if (exact)
            return;
        exact = true;
        std::fill(Prefix + NextCode, Prefix + TableSize, 0);
        std::fill(Suffix + NextCode, Suffix + TableSize, 0);
    }

    void ResetTable()
    {
        if (exact) {
            std::fill(Prefix + ClearCode, Prefix + TableSize, 0);
            std::fill(Suffix + ClearCode, Suffix + TableSize, 0);
        }
        CodeSize = minCodeSize + 1;
        CodeLimit = 2 * ClearCode;
        NextCode = ClearCode + 2;
        sp = 0;
        tailOnStack = false;
    }

    void SkipToTerminator()
    {
        int length;
        while (!TerminatorSeen && (length = stream->ReadByte()) >= 0) {
            if (length == 0)
                TerminatorSeen = true;
            else
                stream->Skip(length);
        }
    }

    int EndOfData()
    {
        Ended = true;
        SkipToTerminator();
        return -2;
    }

    void Push(int value)
    {
        if (sp >= StackSize)
            Corrupt();   // a cycle longer than one entry
        Stack[sp++] = value;
    }

    // One pixel from a code already read (the one-pixel path).
    int ProcessCode(int c)
    {
        if (c < 0)
            return c;
        if (c == ClearCode) {
            ResetTable();
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
        const int inCode = c;
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
        if (c < 0)
            Corrupt();
        FirstCode = Suffix[c];
        Push(FirstCode);
        if (NextCode <= 4095) {
            Prefix[NextCode] = uint16_t(OldCode);
            Suffix[NextCode] = uint16_t(FirstCode);
            NextCode += 1;
            if (NextCode >= CodeLimit && CodeLimit <= 4095) {
                CodeLimit *= 2;
                CodeSize += 1;
            }
        }
        OldCode = inCode;
        return Stack[--sp];
    }

    int ReadPixel()
    {
        if (sp > 0)
            return Stack[--sp];
        return ProcessCode(GetCode());
    }

    static inline void Copy16(uint8_t *dst, const uint8_t *src)
    {
        uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + 8, &b, 8);
    }

    // Decodes up to n pixels into out (which has GIFPixelSlack bytes beyond n for wide copies).
    // Returns the number of pixels written. The hot state lives in locals and is written back
    // around every call that needs the members.
    int Run(uint8_t *out, int n)
    {
        int pos = 0;
        // The string written last: where, how long, its first pixels.
        int prevPos = 0, prevLen = 0;
        uint64_t prevHead = 0;
        int cb = CurrentBit, lb = LastBit, cs = CodeSize, nc = NextCode, cl = CodeLimit;
        int oc = OldCode, fc = FirstCode;
        const int clear = ClearCode, end = EndCode;
#define GLOSSAD_SAVE()                                                                                     \
    do {                                                                                                   \
        CurrentBit = cb;                                                                                   \
        LastBit = lb;                                                                                      \
        CodeSize = cs;                                                                                     \
        NextCode = nc;                                                                                     \
        CodeLimit = cl;                                                                                    \
        OldCode = oc;                                                                                      \
        FirstCode = fc;                                                                                    \
    } while (0)
#define GLOSSAD_LOAD()                                                                                     \
    do {                                                                                                   \
        cb = CurrentBit;                                                                                   \
        lb = LastBit;                                                                                      \
        cs = CodeSize;                                                                                     \
        nc = NextCode;                                                                                     \
        cl = CodeLimit;                                                                                    \
        oc = OldCode;                                                                                      \
        fc = FirstCode;                                                                                    \
    } while (0)
// Reads one code into c (-1 when none).
#define GLOSSAD_GETCODE(c)                                                                                 \
    do {                                                                                                   \
        if (cb + cs > lb) [[unlikely]] {                                                                   \
            GLOSSAD_SAVE();                                                                                \
            const bool r_ = Refill(true);                                                                  \
            GLOSSAD_LOAD();                                                                                \
            if (!r_) {                                                                                     \
                (c) = -1;                                                                                  \
                break;                                                                                     \
            }                                                                                              \
        }                                                                                                  \
        uint32_t v_;                                                                                       \
        std::memcpy(&v_, Buffer + (cb >> 3), 4);                                                           \
        (c) = int((v_ >> (cb & 7)) & ((1u << cs) - 1));                                                   \
        cb += cs;                                                                                          \
    } while (0)

        int slowPos = -1;
        // The first action of a frame is a table reset, as if a clear code had been read.
        bool fresh = Fresh;
        Fresh = false;
        while (pos < n) {
            int c;
            if (fresh) [[unlikely]] {
                c = clear;
                fresh = false;
            } else {
                GLOSSAD_GETCODE(c);
            }
            if (c < 0) [[unlikely]]
                break;
            if (unsigned(c - clear) < 2u) [[unlikely]] {
                if (c == clear) {
                    GLOSSAD_SAVE();
                    ResetTable();
                    GLOSSAD_LOAD();
                    do
                        GLOSSAD_GETCODE(c);
                    while (c == clear);
                    fc = oc = c;
                    if (c < 0)
                        break;
                }
                if (c == end) {
                    GLOSSAD_SAVE();
                    EndOfData();
                    return pos;
                }
                out[pos] = uint8_t(c);
                if (c >= clear) {
                    slowPos = pos + 1;
                    break;
                }
                prevPos = pos;
                prevLen = 1;
                prevHead = uint64_t(c & 0xFF);
                ++pos;
                continue;
            }
            if (c > nc) [[unlikely]] {
                // A code beyond the table: the one-pixel path takes over.
                GLOSSAD_SAVE();
                MakeExact();
                const int v = ProcessCode(c);
                if (v < 0)
                    return pos;
                out[pos] = uint8_t(v);
                slowPos = pos + 1;
                GLOSSAD_LOAD();
                break;
            }
            // The code's string: an entry of the table, or (a code equal to NextCode) the entry
            // it adds itself, the previous string followed by that string's first pixel.
            uint64_t head;
            int len, offset;
            if (c < nc) [[likely]] {
                head = Head[c];
                len = Length[c];
                offset = Offset[c];
            } else {
                head = Extended(prevHead, prevLen, fc);
                len = prevLen + 1;
                offset = prevPos;
            }
            const int newFirst = int(head & 0xFF);
            // The entry this code adds: the previous string and this string's first pixel, which
            // follows it in the output.
            if (nc <= 4095) [[likely]] {
                Head[nc] = Extended(prevHead, prevLen, newFirst);
                Offset[nc] = prevPos;
                Length[nc] = uint16_t(prevLen + 1);
                Prefix[nc] = uint16_t(oc);
                Suffix[nc] = uint16_t(newFirst);
                nc += 1;
                if (nc >= cl && cl <= 4095) [[unlikely]] {
                    cl *= 2;
                    cs += 1;
                }
            }
            const int room = n - pos;
            uint8_t *dst = out + pos;
            if (len <= 8) [[likely]] {
                // In one store; the bytes beyond the string fall on later pixels or the slack.
                std::memcpy(dst, &head, 8);
            } else {
                // A longer string lies at offset, all but the last pixel of one equal to
                // NextCode, which is this string's first, still to be written.
                const uint8_t *src = out + offset;
                const int copied = std::min(len, room);
                if (copied <= 16)
                    Copy16(dst, src);
                else
                    std::memcpy(dst, src, size_t(copied - 1));
                dst[copied - 1] = copied == len && c == nc ? uint8_t(fc) : src[copied - 1];
            }
            if (len > room)
                tailOnStack = true;
            oc = c;
            fc = newFirst;
            prevPos = pos;
            prevLen = len;
            prevHead = head;
            pos += len < room ? len : room;
        }
        GLOSSAD_SAVE();
#undef GLOSSAD_GETCODE
#undef GLOSSAD_LOAD
#undef GLOSSAD_SAVE
        if (slowPos < 0)
            return pos;
        MakeExact();
        pos = slowPos;
        while (pos < n) {
            const int v = ReadPixel();
            if (v < 0)
                break;
            out[pos++] = uint8_t(v);
        }
        return pos;
    }

    // After the last pixel: the data should hold nothing but its end code (clear codes before
    // it do no harm). Anything else is data beyond the frame, skipped with a warning.
    void Finish()
    {
        if (Ended || TerminatorSeen)
            return;
        bool excess = tailOnStack || sp > 0;
        while (!excess) {
            const int c = GetCode(false);
            if (c < 0)
                return;
            if (c == EndCode) {
                EndOfData();
                return;
            }
            if (c == ClearCode)
                ResetTable();
            else
                excess = true;
        }
        (*warn)("Excess image data");
        SkipToTerminator();
    }
};

// The rows of an interlaced frame arrive in the order of the four passes (0, 8, 16 ...; 4, 12
// ...; 2, 6 ...; 1, 3 ...). Moves each to its place, following the cycles of that order with
// one row in hand.
void PlaceInterlacedRows(uint8_t *pixels, int width, int height)
{
    std::vector<int> target(static_cast<size_t>(height));
    int pass = 0, step = 8, row = 0;
    for (int i = 0; i < height; ++i) {
        target[size_t(i)] = row;
        row += step;
        while (row >= height && i + 1 < height) {
            if (pass > 0)
                step /= 2;
            pass += 1;
            row = step / 2;
        }
    }
    std::vector<bool> placed(static_cast<size_t>(height), false);
    std::vector<uint8_t> rows(2 * static_cast<size_t>(width));
    uint8_t *hand = rows.data(), *spare = rows.data() + width;
    const auto rowAt = [&](int y) { return pixels + size_t(y) * size_t(width); };
    for (int start = 0; start < height; ++start) {
        if (placed[size_t(start)] || target[size_t(start)] == start)
            continue;
        std::memcpy(hand, rowAt(start), size_t(width));
        int i = start;
        do {
            const int t = target[size_t(i)];
            std::memcpy(spare, rowAt(t), size_t(width));
            std::memcpy(rowAt(t), hand, size_t(width));
            std::swap(hand, spare);
            placed[size_t(i)] = true;
            i = t;
        } while (i != start);
    }
}

} // namespace

void DecodeLZW(TGIFInput &input, uint8_t *pixels, int width, int height, bool interlaced, uint8_t fill,
               const std::function<void(const std::string &)> &warn)
{
    const int sizeByte = input.ReadByte();
    if (sizeByte < 0)
        return;
    const int minCodeSize = sizeByte;
    if (minCodeSize > 11)
        throw GIFException("Invalid GIF data");
    const int64_t pixelCount = (width > 0 && height > 0) ? int64_t(width) * int64_t(height) : 0;
    if (pixelCount > MaxPixels)
        throw GIFException("Image dimensions too large");
    const int n = int(pixelCount);
    // One decoder state per thread, reused: nothing is allocated per code or per frame.
    // (A warning handler that loads another picture gets a state of its own.)
    thread_local std::unique_ptr<Decoder> reusable;
    thread_local bool busy = false;
    std::unique_ptr<Decoder> own;
    Decoder *decoder;
    if (busy) {
        own.reset(new Decoder);
        decoder = own.get();
    } else {
        if (!reusable)
            reusable.reset(new Decoder);
        decoder = reusable.get();
    }
    struct Busy {
        bool &flag;
        bool was;
        ~Busy() { flag = was; }
    } busyGuard{busy, busy};
    busy = true;
    decoder->Start(input, warn, minCodeSize);
    const int decoded = n > 0 ? decoder->Run(pixels, n) : 0;
    decoder->Finish();
    if (n == 0)
        return;
    if (decoded < n)
        std::memset(pixels + decoded, fill, size_t(n - decoded));
    if (interlaced)
        PlaceInterlacedRows(pixels, width, height);
}

void DecodeLZW(QIODevice &stream, uint8_t *pixels, int width, int height, bool interlaced, uint8_t fill,
               const std::function<void(const std::string &)> &warn)
{
    GIFReadDevice(stream, [&](TGIFInput &input) { DecodeLZW(input, pixels, width, height, interlaced, fill, warn); });
}
