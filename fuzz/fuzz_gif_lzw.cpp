// Differential libFuzzer target: the codec's LZW decoder (DecodeLZW) against the simple
// one-pixel-per-call decoder of ReferenceLZW.h. Input: width, height, flags (bit 0 interlaced),
// fill value, then the image data (code size byte and sub-blocks, and anything after).
// Pixels, warnings, failures and the stream position must be identical.
#include "fuzz/ReferenceLZW.h"

#include <QBuffer>

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    const int width = data[0], height = data[1];
    const bool interlaced = data[2] & 1;
    const uint8_t fill = data[3];
    const QByteArray stream(reinterpret_cast<const char *>(data + 4), qsizetype(size - 4));
    const DecodeOutcome fast = RunDecoder(stream, width, height, fill, [&](QIODevice &s, uint8_t *p, auto warn) {
        DecodeLZW(s, p, width, height, interlaced, fill, warn);
    });
    const DecodeOutcome simple = RunDecoder(stream, width, height, fill, [&](QIODevice &s, uint8_t *p, auto warn) {
        reference::Decode(s, p, width, height, interlaced, warn);
    });
    // Pixels only count when the frame loads (a failure discards the frame).
    if (fast.error != simple.error || fast.warnings != simple.warnings || fast.pos != simple.pos ||
        (fast.error.empty() && fast.pixels != simple.pixels))
        std::abort();
    return 0;
}
