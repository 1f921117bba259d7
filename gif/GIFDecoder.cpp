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
#include <memory>

namespace {

constexpr int TableSize = 4096;
constexpr int StackSize = 8192;
// Positions in the frame are ints: larger frames are refused.
constexpr int64_t MaxPixels = INT32_MAX - GIFPixelSlack;

static_assert(std::endian::native == std::endian::little, "the first pixel is the lowest byte in memory");

uint64_t Load8(const uint8_t *p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

void Store8(uint8_t *p, uint64_t v) { std::memcpy(p, &v, 8); }

// The first pixels of a string (up to eight, the first in the low byte, zeros above the string)
// and one more after them, when there is room. A pixel is the low byte of its code.
uint64_t Extended(uint64_t head, int length, uint64_t pixel)
{
    return length < 8 ? head | (pixel & 0xFF) << (8 * length) : head;
}

// Copies a string of more than eight pixels that lies at least eight pixels back, eight at a
// time and front to back, so that a string that repeats its own start comes out right. Writes
// up to seven bytes beyond the count.
void CopyBack(uint8_t *dst, const uint8_t *src, int count)
{
    for (int i = 0; i < count; i += 8)
        Store8(dst + i, Load8(src + i));
}

struct Decoder {
    TGIFInput *stream = nullptr;
    const std::function<void(const std::string &)> *warn = nullptr;

    int minCodeSize = 0;
    int ClearCode = 0, EndCode = 0, CodeSize = 0, NextCode = 0;
    uint32_t Mask = 0;   // 2^CodeSize - 1: the width grows when NextCode goes beyond it
    int FirstCode = 0, OldCode = 0;
    bool Fresh = true;
    bool TerminatorSeen = false;   // the zero-length sub-block was read
    bool Ended = false;            // an end code was handled
    // The bit reader: bits read ahead (the lowest first; those beyond Count are the next ones
    // of the same sub-block, or 0) and the rest of the current sub-block, which the stream has
    // already passed.
    uint64_t Bits = 0;
    int Count = 0;
    const uint8_t *At = nullptr, *BlockEnd = nullptr;

    // The table, one more entry to take the writes while the table is full. The fast path
    // keeps per entry the string's first pixels (see Extended), its length (0 for the clear and
    // end codes), where a string longer than eight pixels was first written, and the code the
    // entry extends; the one-pixel path the same Prefix and a Suffix, made when it takes over.
    // Arrays apart, so that a root code touches none of them and the hot ones stay small. The
    // entry still to be made is written ahead from the string decoded last (its length + 1,
    // its code, where it was written, and its pixels as the head); the next code adds its own
    // first pixel to that head. The fast loop keeps that head in a register.
    uint64_t Head[TableSize + 1];
    uint16_t Length[TableSize + 1];
    int32_t Offset[TableSize + 1];
    uint16_t Prefix[TableSize + 1], Suffix[TableSize];
    int32_t Stack[StackSize];
    int sp = 0;
    int rootsFor = -1;          // the minimum code size the root entries were set up for
    bool exact = false;         // the one-pixel path runs
    bool tailOnStack = false;   // the last string did not fit into the frame

    void Start(TGIFInput &s, const std::function<void(const std::string &)> &w, int minSize)
    {
        stream = &s;
        warn = &w;
        minCodeSize = minSize;
        ClearCode = 1 << minCodeSize;
        EndCode = ClearCode + 1;
        CodeSize = minCodeSize + 1;
        Mask = (1u << CodeSize) - 1;
        NextCode = ClearCode + 2;
        FirstCode = OldCode = 0;
        Fresh = true;
        TerminatorSeen = Ended = false;
        Bits = 0;
        Count = 0;
        At = BlockEnd = s.Here();
        sp = 0;
        exact = false;
        tailOnStack = false;
        // Roots never change and the clear and end entries are never written, so a state that
        // decoded a frame of the same minimum code size before keeps them.
        if (rootsFor != minCodeSize) {
            for (int i = 0; i < ClearCode; ++i) {
                Head[i] = uint64_t(i & 0xFF);   // (roots of 9 bits and more are pixels too)
                Length[i] = 1;
                Prefix[i] = 0;
                Suffix[i] = uint16_t(i);
            }
            Head[ClearCode] = Head[EndCode] = 0;
            Length[ClearCode] = Length[EndCode] = 0;
            rootsFor = minCodeSize;
        }
    }

    [[noreturn]] static void Corrupt() { throw GIFException("Invalid GIF data"); }

    // Takes bytes, and sub-blocks when the current one is used up, until `need` bits are read
    // ahead; false when the data or the stream ends first.
    bool Fill(int need, bool warnUnderRun)
    {
        if (Count < 64)
            Bits &= (uint64_t(1) << Count) - 1;
        while (Count < need) {
            if (At < BlockEnd) {
                Bits |= uint64_t(*At++) << Count;
                Count += 8;
                continue;
            }
            if (TerminatorSeen) {
                if (warnUnderRun)
                    (*warn)("Decoder bit buffer under-run");
                return false;
            }
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
                count = int(available);
            }
            At = stream->Here();
            BlockEnd = At + stream->Skip(count);
        }
        return true;
    }

    // Takes the last bytes of the current sub-block into the bits, as many as fit, so that the
    // fast loop decodes several codes more before the next sub-block is needed.
    void TakeRestOfBlock()
    {
        Bits &= (uint64_t(1) << Count) - 1;
        while (Count <= 56 && At < BlockEnd) {
            Bits |= uint64_t(*At++) << Count;
            Count += 8;
        }
    }

    int GetCode(bool warnUnderRun = true)
    {
        if (Fresh) {
            Fresh = false;
            return ClearCode;
        }
        if (Count < CodeSize && !Fill(CodeSize, warnUnderRun))
            return -1;
        const int code = int(Bits & Mask);
        Bits >>= CodeSize;
        Count -= CodeSize;
        return code;
    }

    // From here on the one-pixel path decodes, on the fast path's table: the code an entry
    // extends and its last pixel, which lies in the output (short strings: in its head).
    // Entries not defined since the last clear read as 0, as a reset leaves them.
    void MakeExact(const uint8_t *out)
    {
        exact = true;
        for (int e = ClearCode + 2; e < NextCode; ++e) {
            Suffix[e] = Length[e] <= 8 ? uint8_t(Head[e] >> (8 * (Length[e] - 1))) : out[Offset[e] + Length[e] - 1];
        }
        Prefix[ClearCode] = Suffix[ClearCode] = Prefix[EndCode] = Suffix[EndCode] = 0;
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
        Mask = (1u << CodeSize) - 1;
        NextCode = ClearCode + 2;
        sp = 0;
        tailOnStack = false;
    }

    // After a clear code: the table is reset and the codes up to the first other one are read.
    int FirstAfterClear()
    {
        ResetTable();
        int c;
        do
            c = GetCode();
        while (c == ClearCode);
        FirstCode = OldCode = c;
        return c;
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
            c = FirstAfterClear();
            return c == EndCode ? EndOfData() : c;
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
        FirstCode = Suffix[c];
        Push(FirstCode);
        if (NextCode <= 4095) {
            Prefix[NextCode] = uint16_t(OldCode);
            Suffix[NextCode] = uint16_t(FirstCode);
            NextCode += 1;
            if (NextCode > int(Mask) && CodeSize < 12) {
                CodeSize += 1;
                Mask = Mask * 2 + 1;
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

    // Where the fast loop stopped: its sub-block has fewer than eight bytes left and it needs
    // more bits; at a code it does not decode (a clear or end code, a code beyond the table);
    // or the frame is full.
    enum class Stop { NeedBits, Code, Full };

    // Decodes codes into out from pos on while their bits can be taken eight bytes at a time
    // from the current sub-block and the table holds their strings. A leaf without calls, so
    // that its state stays in registers; written back to the members when it stops. A code it
    // stops at is taken from the bits and left in code.
    [[gnu::noinline]] Stop Fast(uint8_t *const out, const int n, int &position, int &code)
    {
        uint64_t bits = Bits;
        int count = Count;
        const uint8_t *at = At;
        const uint8_t *const blockEnd = BlockEnd;
        int cs = CodeSize;
        uint32_t mask = Mask;
        int nc = NextCode;
        const int clear = ClearCode;
        uint8_t *dst = out + position;
        uint8_t *const end = out + n;
        // The string decoded last, which the entry still to be made extends.
        uint64_t prevHead = Head[nc];
        int prevLen = Length[nc] - 1;
        Stop stop;
        for (;;) {
            if (count < cs) [[unlikely]] {
                if (blockEnd - at < 8) [[unlikely]] {
                    stop = Stop::NeedBits;
                    break;
                }
                // Eight bytes at once; those beyond 64 bits are read again next time.
                bits |= Load8(at) << count;
                at += (63 - count) >> 3;
                count |= 56;
            }
            const int c = int(bits & mask);
            bits >>= cs;
            count -= cs;
            // The entry this code adds (the previous string and this string's first pixel),
            // and the string written: false once the frame is full.
            const auto added = [&](uint64_t head, int len) __attribute__((always_inline)) {
                Head[nc] = Extended(prevHead, prevLen, head);
                if (++nc > int(mask)) [[unlikely]] {
                    if (cs < 12) {
                        cs += 1;
                        mask = mask * 2 + 1;
                    } else {
                        nc = TableSize;   // full: entries go to the spare one until a clear code
                    }
                }
                Length[nc] = uint16_t(len + 1);
                Prefix[nc] = uint16_t(c);
                if (len >= 8)   // only strings longer than eight pixels are copied from the output
                    Offset[nc] = int(dst - out);
                prevHead = head;
                prevLen = len;
                // (As integers: a string may reach beyond the frame's buffer, where a pointer may not.)
                const uintptr_t after = uintptr_t(dst) + unsigned(len);
                if (after >= uintptr_t(end)) [[unlikely]] {
                    tailOnStack = after > uintptr_t(end);
                    dst = end;
                    return false;
                }
                dst += len;
                return true;
            };
            if (c < clear) [[likely]] {
                // A root: one pixel, no table look-up.
                *dst = uint8_t(c);
                if (added(uint8_t(c), 1))
                    continue;
                stop = Stop::Full;
                break;
            }
            uint64_t head;
            int len;
            if (c < nc) [[likely]] {
                head = Head[c];
                len = Length[c];
                if (unsigned(len - 1) < 8u) [[likely]]
                    Store8(dst, head);
                else if (len > 0)
                    CopyBack(dst, out + Offset[c], std::min(len, int(end - dst)));
                else {
                    code = c;   // a clear or end code
                    stop = Stop::Code;
                    break;
                }
            } else if (c == nc) {
                // The entry this code adds itself: the previous string and its first pixel.
                head = Extended(prevHead, prevLen, prevHead);
                len = prevLen + 1;
                if (len <= 8)
                    Store8(dst, head);
                else
                    CopyBack(dst, dst - prevLen, std::min(len, int(end - dst)));
            } else {
                code = c;
                stop = Stop::Code;
                break;
            }
            if (!added(head, len)) {
                stop = Stop::Full;
                break;
            }
        }
        Head[nc] = prevHead;
        Bits = bits;
        Count = count;
        At = at;
        CodeSize = cs;
        Mask = mask;
        NextCode = nc;
        position = int(dst - out);
        return stop;
    }

    // The one-pixel path from pos on.
    int Exact(uint8_t *out, int n, int pos)
    {
        if (!exact)
            MakeExact(out);
        while (pos < n) {
            const int v = ReadPixel();
            if (v < 0)
                break;
            out[pos++] = uint8_t(v);
        }
        return pos;
    }

    // Decodes up to n pixels into out (which has GIFPixelSlack bytes beyond n for wide stores).
    // Returns the number of pixels written.
    int Run(uint8_t *out, int n)
    {
        // The first action of a frame is a table reset, as if a clear code had been read.
        Fresh = false;
        int pos = 0;
        for (;;) {
            // A reset table: the first code is a pixel of its own.
            int c = FirstAfterClear();
            if (c == EndCode) {
                EndOfData();
                return pos;
            }
            if (c < 0)
                return pos;
            out[pos] = uint8_t(c);
            if (c >= ClearCode)
                return Exact(out, n, pos + 1);
            Head[NextCode] = uint64_t(c & 0xFF);
            Length[NextCode] = 2;
            Prefix[NextCode] = uint16_t(c);
            if (++pos >= n)
                return pos;
            Stop stop;
            while ((stop = Fast(out, n, pos, c)) == Stop::NeedBits) {
                TakeRestOfBlock();
                if (Count < CodeSize && !Fill(CodeSize, true))
                    return pos;
            }
            if (stop == Stop::Full)
                return n;
            if (c == ClearCode)
                continue;
            if (c == EndCode) {
                EndOfData();
                return pos;
            }
            // A code beyond the table: the one-pixel path takes over.
            OldCode = Prefix[NextCode];
            FirstCode = int(Head[NextCode] & 0xFF);
            MakeExact(out);
            const int v = ProcessCode(c);
            if (v < 0)
                return pos;
            out[pos] = uint8_t(v);
            return Exact(out, n, pos + 1);
        }
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
// ...; 2, 6 ...; 1, 3 ...): where the i-th row of the data belongs.
class InterlacedOrder {
public:
    explicit InterlacedOrder(int height)
    {
        for (int pass = 0; pass < 4; ++pass)
            rows[pass] = (height - first[pass] + step[pass] - 1) / step[pass];
    }
    int RowOf(int i) const
    {
        int pass = 0;
        while (pass < 3 && i >= rows[pass])
            i -= rows[pass++];
        return first[pass] + i * step[pass];
    }

private:
    static constexpr int first[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    int rows[4];
};

// Moves each row to its place, following the cycles of that order with one row in hand; one
// allocation holds the two rows and a flag per row.
void PlaceInterlacedRows(uint8_t *pixels, int width, int height)
{
    const size_t rowBytes = size_t(width);
    std::unique_ptr<uint8_t[]> work(new uint8_t[2 * rowBytes + size_t(height)]());
    uint8_t *hand = work.get(), *spare = hand + rowBytes, *placed = spare + rowBytes;
    const InterlacedOrder order(height);
    const auto rowAt = [&](int y) { return pixels + size_t(y) * rowBytes; };
    for (int start = 0; start < height; ++start) {
        if (placed[start] || order.RowOf(start) == start)
            continue;
        std::memcpy(hand, rowAt(start), rowBytes);
        int i = start;
        do {
            const int t = order.RowOf(i);
            std::memcpy(spare, rowAt(t), rowBytes);
            std::memcpy(rowAt(t), hand, rowBytes);
            std::swap(hand, spare);
            placed[i] = 1;
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
