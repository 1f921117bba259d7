// The codec's LZW decoder against the simple one-pixel-per-call decoder of fuzz/ReferenceLZW.h:
// on valid, mutated and truncated data the pixels, warnings, failures and stream position
// must be the same.
#include "fuzz/ReferenceLZW.h"
#include "tst_gif_helpers.h"

#include <gtest/gtest.h>

using namespace giftest;

namespace {

void Compare(const QByteArray &data, int width, int height, bool interlaced, uint8_t fill)
{
    const DecodeOutcome fast = RunDecoder(data, width, height, fill, [&](QIODevice &s, uint8_t *p, auto warn) {
        DecodeLZW(s, p, width, height, interlaced, fill, warn);
    });
    const DecodeOutcome simple = RunDecoder(data, width, height, fill, [&](QIODevice &s, uint8_t *p, auto warn) {
        reference::Decode(s, p, width, height, interlaced, warn);
    });
    ASSERT_EQ(fast.error, simple.error);
    ASSERT_EQ(fast.warnings, simple.warnings);
    ASSERT_EQ(fast.pos, simple.pos);
    if (fast.error.empty()) {
        ASSERT_EQ(fast.pixels, simple.pixels);
    }
}

uint32_t seed = 2024;
uint32_t Next()
{
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
}
} // namespace

TEST(GIFDecoderMatchesSimpleDecoder, ValidData)
{
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const int bits = 1 + int(Next() % 8);
        const int width = 1 + int(Next() % 90), height = 1 + int(Next() % 60);
        std::vector<uint8_t> pixels(size_t(width) * height);
        uint8_t current = 0;
        for (auto &p : pixels) {
            if (Next() % 4 == 0)
                current = uint8_t(Next() % (1u << bits));
            p = current;
        }
        const bool interlaced = Next() % 2;
        const QByteArray data = Encoded(pixels, width, height, bits, 1 << bits, interlaced, int(Next() % 2));
        Compare(data + ";", width, height, interlaced, 0);
    }
}

TEST(GIFDecoderMatchesSimpleDecoder, MutatedAndTruncatedData)
{
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE(round);
        const int bits = 1 + int(Next() % 8);
        const int width = 1 + int(Next() % 40), height = 1 + int(Next() % 40);
        std::vector<uint8_t> pixels(size_t(width) * height);
        for (auto &p : pixels)
            p = uint8_t(Next() % (1u << bits));
        QByteArray data = Encoded(pixels, width, height, bits, 1 << bits, false, int(Next() % 2));
        data.append(QByteArray("\x21\xFE\x01x\x00;", 6));
        switch (Next() % 6) {
        case 0:   // flip bits
            for (int i = 0, n = 1 + int(Next() % 4); i < n; ++i)
                data[int(Next() % data.size())] ^= char(1 << (Next() % 8));
            break;
        case 1:   // truncate
            data.truncate(int(Next() % data.size()));
            break;
        case 2:   // random bytes
            for (int i = 1; i < data.size(); ++i)
                if (Next() % 3 == 0)
                    data[i] = char(Next());
            break;
        case 3:   // tiny sub-blocks
            data = QByteArray(1, data[0]) + SubBlocks(data.mid(2, std::max(0, int(data.size()) - 8)), 1 + int(Next() % 3));
            break;
        case 4:   // other code size
            data[0] = char(Next() % 13);
            break;
        default:   // random codes at a fixed width
        {
            std::vector<std::pair<int, int>> codes;
            const int w = 3 + int(Next() % 10);
            for (int i = 0, n = int(Next() % 600); i < n; ++i)
                codes.push_back({int(Next() % (1u << w)), w});
            data = ImageData(int(Next() % 9), codes, 1 + int(Next() % 255));
        }
        }
        Compare(data, width, height, Next() % 2, uint8_t(Next()));
        if (HasFatalFailure())
            return;
    }
}

TEST(GIFDecoderMatchesSimpleDecoder, ReplayCorpus)
{
    QDirIterator it(QString(GLOSSAD_SOURCE_DIR) + "/tests/data/gif/lzw-corpus", {"*.bin"}, QDir::Files);
    int count = 0;
    while (it.hasNext()) {
        const std::string path = it.next().toStdString();
        SCOPED_TRACE(path);
        const QByteArray bytes = ReadAll(path);
        if (bytes.size() < 4)
            continue;
        const auto *d = reinterpret_cast<const uint8_t *>(bytes.constData());
        Compare(bytes.mid(4), d[0], d[1], d[2] & 1, d[3]);
        if (HasFatalFailure())
            return;
        ++count;
    }
    EXPECT_GE(count, 50);
}
