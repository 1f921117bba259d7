// LZW decoding of frames.
//
// The classic design is a decoder that hands out one pixel per call through a stack. This one
// produces whole strings: every string of the table was written to the output once before, so
// a code is decoded by copying its string from where it first appeared (offset and length per
// table entry). The observable results stay those of the reference decoder: the same codes are
// read with the same bit reader (carried bytes, sub-block refills at the same moments, the same
// warnings), the same table entries are made, and the final ReadPixel of the reference decoder runs with the
// exact state (pixels still "on the stack" when the last string did not fit). Data that would
// make the table refer to entries not yet defined (codes above NextCode, a clear code followed
// by a non-pixel code) switches to a literal implementation of the reference ReadPixel for the
// rest of the frame.
#include "gif/GIFImage.h"

#include <QBuffer>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int TableSize = 4096;
constexpr int StackSize = 8192;
constexpr int BufferSize = 2 + 255;
constexpr int Slack = 16;   // extra bytes after the output for wide copies
// The output buffer of the fast path starts after an area whose byte i is i mod 256, so that a
// root code's string is copied like any other: from offset i - RootArea.
constexpr int RootArea = 4096;

// Where the decoder's bytes come from: straight from a QBuffer's memory (the device's position
// is set once, when the decoder is done), or through the device's own calls.
struct Source {
    QIODevice *device = nullptr;
    QBuffer *buffer = nullptr;
    const uint8_t *data = nullptr;
    qint64 size = 0, pos = 0;

    void Open(QIODevice &d)
    {
        device = &d;
        buffer = qobject_cast<QBuffer *>(&d);
        if (buffer && buffer->isReadable() && !buffer->isSequential()) {
            data = reinterpret_cast<const uint8_t *>(buffer->data().constData());
            size = buffer->data().size();
            pos = buffer->pos();
        } else {
            buffer = nullptr;
        }
    }
    // Hands the position back to the device.
    void Close()
    {
        if (buffer && buffer->pos() != pos)
            buffer->seek(pos);
    }
    bool GetChar(char *c)
    {
        if (!buffer)
            return device->getChar(c);
        if (pos >= size)
            return false;
        *c = char(data[pos++]);
        return true;
    }
    qint64 BytesAvailable() const { return buffer ? size - pos : device->bytesAvailable(); }
    qint64 Read(uint8_t *to, qint64 n)
    {
        if (!buffer)
            return device->read(reinterpret_cast<char *>(to), n);
        n = std::min(n, size - pos);
        if (n <= 0)
            return 0;
        std::memcpy(to, data + pos, size_t(n));
        pos += n;
        return n;
    }
    void Skip(qint64 n)
    {
        if (!buffer) {
            device->skip(n);
            return;
        }
        pos += std::min(n, size - pos);
    }
};

struct Entry {
    int32_t offset;    // fast path: where the entry's string was first written
    uint16_t len;      // fast path: its length
    uint16_t first;    // fast path: its first code
    uint16_t prefix;   // the reference Prefix
    uint16_t suffix;   // the reference Suffix (low 16 bits; only the low byte is ever a pixel)
};

struct Decoder {
    Source *stream = nullptr;
    const std::function<void(const std::string &)> *warn = nullptr;

    int minCodeSize = 0;
    int ClearCode = 0, EndCode = 0, CodeSize = 0, CodeLimit = 0, NextCode = 0;
    int FirstCode = 0, OldCode = 0;
    bool Fresh = true, Done = false, TerminatorSeen = false;
    int CurrentBit = 0, LastBit = 0, LastByte = 2;
    uint8_t Buffer[BufferSize + 8];

    Entry Table[TableSize + 1];   // the last slot takes the provisional entry of a full table
    int32_t Stack[StackSize];
    int sp = 0;
    int rootsFor = -1;          // the minimum code size the root entries were set up for
    bool exact = false;         // the literal decoder runs: every entry holds the reference values
    bool tailOnStack = false;   // the last string did not fit: the reference stack is not empty

    void Start(Source &s, const std::function<void(const std::string &)> &w, int minSize)
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
        Done = TerminatorSeen = false;
        CurrentBit = LastBit = 0;
        LastByte = 2;
        std::memset(Buffer, 0, sizeof Buffer);
        sp = 0;
        exact = false;
        tailOnStack = false;
        // Roots never change and the clear and end entries are never written, so a state that
        // decoded a frame of the same minimum code size before keeps them.
        if (rootsFor != minCodeSize) {
            for (int i = 0; i < ClearCode; ++i)
                Table[i] = Entry{i - RootArea, 1, uint16_t(i), 0, uint16_t(i)};
            Table[ClearCode] = Entry{0, 2, 0, 0, 0};
            Table[EndCode] = Entry{0, 2, 0, 0, 0};
            rootsFor = minCodeSize;
        }
    }

    [[noreturn]] static void Corrupt() { throw GIFException("Invalid GIF data"); }

    // Refills the buffer (GetCode step 2); -1 when no code can be had.
    int ReadSubBlock()
    {
        if (Done) {
            if (CurrentBit >= LastBit)
                (*warn)("Decoder bit buffer under-run");
            return -1;
        }
        Buffer[0] = Buffer[LastByte - 2];
        Buffer[1] = Buffer[LastByte - 1];
        char lengthByte;
        if (!stream->GetChar(&lengthByte))
            return -1;
        int count = uint8_t(lengthByte);
        if (count == 0) {
            Done = true;
            TerminatorSeen = true;
        } else {
            const qint64 available = stream->BytesAvailable();
            if (available < count) {
                (*warn)("Premature end of data");
                count = available > 0 ? int(available) : 0;
            }
            if (count > 0 && stream->Read(Buffer + 2, count) != count)
                throw GIFException("Premature end of data");
        }
        LastByte = 2 + count;
        CurrentBit = CurrentBit - LastBit + 16;
        LastBit = (2 + count) * 8;
        // Codes that start beyond the bytes of the buffer (only tiny sub-blocks with wide codes
        // get there) would read outside it.
        if (CurrentBit + CodeSize > BufferSize * 8)
            Corrupt();
        return 0;
    }

    int GetCode()
    {
        if (Fresh) {
            Fresh = false;
            return ClearCode;
        }
        if (CurrentBit + CodeSize >= LastBit) {
            if (ReadSubBlock() < 0)
                return -1;
        }
        const int s = CurrentBit >> 3;
        const uint32_t v = uint32_t(Buffer[s]) | (uint32_t(Buffer[s + 1]) << 8) | (uint32_t(Buffer[s + 2]) << 16);
        const int code = int((v >> (CurrentBit & 7)) & ((1u << CodeSize) - 1));
        CurrentBit += CodeSize;
        return code;
    }

    // From here on the literal decoder reads the table: entries not defined since the last
    // clear must read as 0, as the reference reset leaves them.
    void MakeExact()
    {
        if (exact)
            return;
        exact = true;
        for (int i = NextCode; i < TableSize; ++i) {
            Table[i].prefix = 0;
            Table[i].suffix = 0;
        }
    }

    void ResetTable()
    {
        if (exact) {
            for (int i = ClearCode; i < TableSize; ++i) {
                Table[i].prefix = 0;
                Table[i].suffix = 0;
            }
        }
        CodeSize = minCodeSize + 1;
        CodeLimit = 2 * ClearCode;
        NextCode = ClearCode + 2;
        sp = 0;
        tailOnStack = false;
    }

    void SkipRest()
    {
        char lengthByte;
        while (stream->GetChar(&lengthByte) && lengthByte != 0)
            stream->Skip(uint8_t(lengthByte));
    }

    void Push(int value)
    {
        if (sp >= StackSize)
            Corrupt();   // a cycle longer than one entry
        Stack[sp++] = value;
    }

    // The reference ReadPixel from step 2 on, for a code already read.
    int ProcessCode(int c)
    {
        if (c < 0)
            return c;
        if (c == ClearCode) {
            ResetTable();
            do
                c = GetCode();
            while (c == ClearCode);
            FirstCode = OldCode = c;
            return c;
        }
        if (c == EndCode) {
            if (!TerminatorSeen)
                SkipRest();
            return -2;
        }
        const int inCode = c;
        if (c >= NextCode) {
            Push(FirstCode);
            c = OldCode;
        }
        while (c >= ClearCode) {
            Push(Table[c].suffix);
            if (Table[c].prefix == c)
                throw GIFException("Circular decoder table entry");
            c = Table[c].prefix;
        }
        if (c < 0)
            Corrupt();
        FirstCode = Table[c].suffix;
        Push(FirstCode);
        if (NextCode <= 4095) {
            Table[NextCode].prefix = uint16_t(OldCode);
            Table[NextCode].suffix = uint16_t(FirstCode);
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

    // Decodes up to n pixels into out (which has Slack bytes beyond n). Returns the number of
    // pixels written. The hot state lives in locals and is written back around every call
    // that needs the members.
    int Run(uint8_t *out, int n)
    {
        int pos = 0;
        int prevPos = 0, prevLen = 0;
        int cb = CurrentBit, lb = LastBit, cs = CodeSize, nc = NextCode, cl = CodeLimit;
        int oc = OldCode, fc = FirstCode;
        const int clear = ClearCode, end = EndCode;
        Entry *const table = Table;
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
        if (cb + cs >= lb) [[unlikely]] {                                                                  \
            GLOSSAD_SAVE();                                                                                \
            const int r_ = ReadSubBlock();                                                                 \
            GLOSSAD_LOAD();                                                                                \
            if (r_ < 0) {                                                                                  \
                (c) = -1;                                                                                  \
                break;                                                                                     \
            }                                                                                              \
        }                                                                                                  \
        uint32_t v_;                                                                                       \
        std::memcpy(&v_, Buffer + (cb >> 3), 4);                                                           \
        (c) = int((v_ >> (cb & 7)) & ((1u << cs) - 1));                                                    \
        cb += cs;                                                                                          \
    } while (0)

        int slowPos = -1;
        // The first request of the reference decoder returns the clear code without reading.
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
                if (c == end) {
                    GLOSSAD_SAVE();
                    if (!TerminatorSeen)
                        SkipRest();
                    return pos;
                }
                GLOSSAD_SAVE();
                ResetTable();
                GLOSSAD_LOAD();
                do
                    GLOSSAD_GETCODE(c);
                while (c == clear);
                fc = oc = c;
                if (c < 0)
                    break;
                out[pos] = uint8_t(c);
                if (c >= clear) {
                    slowPos = pos + 1;
                    break;
                }
                prevPos = pos;
                prevLen = 1;
                ++pos;
                continue;
            }
            if (c > nc) [[unlikely]] {
                // A code beyond the table: the literal decoder takes over.
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
            // The entry this code adds is the previous string plus one pixel; written now, it
            // also serves a code equal to NextCode (whose string it is, its last pixel being
            // the previous string's first). Its suffix is set once the current string is known.
            table[nc] = Entry{prevPos, uint16_t(prevLen + 1), uint16_t(fc), uint16_t(oc), uint16_t(fc)};
            const Entry e = table[c];
            const int len = e.len;
            const int room = n - pos;
            uint8_t *dst = out + pos;
            const uint8_t *src = out + e.offset;
            if (len <= room) [[likely]] {
                if (len <= 16)
                    Copy16(dst, src);
                else
                    std::memcpy(dst, src, size_t(len - 1));
                dst[len - 1] = uint8_t(e.suffix);
            } else {
                for (int i = 0; i < room; ++i)
                    dst[i] = src[i];
                tailOnStack = true;
            }
            const int newFirst = e.first;
            if (nc <= 4095) [[likely]] {
                table[nc].suffix = uint16_t(newFirst);
                nc += 1;
                if (nc >= cl && cl <= 4095) [[unlikely]] {
                    cl *= 2;
                    cs += 1;
                }
            }
            oc = c;
            fc = newFirst;
            prevPos = pos;
            prevLen = len;
            pos += len < room ? len : room;
        }
        GLOSSAD_SAVE();
#undef GLOSSAD_GETCODE
#undef GLOSSAD_LOAD
#undef GLOSSAD_SAVE
        if (slowPos < 0)
            return pos;
        // The literal decoder for the rest of the frame.
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

    // The reference last ReadPixel, whose result is ignored.
    void FinalReadPixel()
    {
        if (tailOnStack || sp > 0)
            return;
        ProcessCode(GetCode());
    }
};

} // namespace

void DecodeLZW(QIODevice &stream, uint8_t *pixels, int width, int height, bool interlaced, uint8_t fill,
               const std::function<void(const std::string &)> &warn)
{
    Source source;
    source.Open(stream);
    struct Closer {
        Source &s;
        ~Closer() { s.Close(); }
    } closer{source};
    char sizeByte;
    if (!source.GetChar(&sizeByte))
        return;
    const int minCodeSize = uint8_t(sizeByte);
    if (minCodeSize > 11)
        throw GIFException("Invalid GIF data");
    const int n = (width > 0 && height > 0) ? width * height : 0;
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
    decoder->Start(source, warn, minCodeSize);

    // The fast path decodes into a buffer of its own (root area, pixels in data order, slack),
    // reused per thread, then the rows go to their places.
    // (Large frames use a buffer of their own, so that a thread does not keep it.)
    thread_local std::vector<uint8_t> linearStore;
    std::vector<uint8_t> ownStore;
    const size_t need = size_t(RootArea) + size_t(n) + Slack;
    std::vector<uint8_t> &store = (own || need > (size_t(16) << 20)) ? ownStore : linearStore;
    uint8_t *linear = nullptr;
    if (n > 0) {
        if (store.size() < need) {
            const size_t old = store.size();
            store.resize(need);
            if (old < size_t(RootArea))
                for (int i = 0; i < RootArea; ++i)
                    store[size_t(i)] = uint8_t(i);
        }
        linear = store.data() + RootArea;
    }
    int decoded = 0;
    try {
        if (n > 0)
            decoded = decoder->Run(linear, n);
    } catch (...) {
        try {
            decoder->FinalReadPixel();
        } catch (...) {
        }
        throw;
    }
    decoder->FinalReadPixel();
    if (n == 0)
        return;
    // Pixels the data did not reach keep the fill value (wide copies may have touched them).
    if (decoded < n)
        std::memset(linear + decoded, fill, size_t(n - decoded));
    if (!interlaced) {
        std::memcpy(pixels, linear, size_t(n));
    } else {
        int pass = 0, step = 8, row = 0;
        for (int i = 0; i < height; ++i) {
            std::memcpy(pixels + size_t(row) * width, linear + size_t(i) * width, size_t(width));
            row += step;
            while (row >= height) {
                if (pass > 0)
                    step /= 2;
                pass += 1;
                row = step / 2;
            }
        }
    }
}
