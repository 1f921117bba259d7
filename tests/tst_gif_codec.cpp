// The GIF codec against the outside world: every shared test file loads, pixel indexes agree
// with giflib's, and every file survives a save with LZW and with run-length coding.
#include "tst_gif_helpers.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace giftest;

namespace {

std::string Name(const std::string &path) { return QFileInfo(QString::fromStdString(path)).fileName().toStdString(); }

// The shared test files and the hand-made cases that load.
std::vector<std::string> FilesThatLoad()
{
    std::vector<std::string> files = AllTestFiles();
    QDirIterator it(QString::fromStdString(CaseDir()), {"*.gif"}, QDir::Files);
    while (it.hasNext()) {
        const std::string path = it.next().toStdString();
        if (Name(path).rfind("bomb-", 0) != 0)
            files.push_back(path);
    }
    return files;
}

} // namespace

TEST(GIFCrossCheck, EveryFileLoadsAndMatchesGiflib)
{
    const auto files = AllTestFiles();
    ASSERT_GE(files.size(), 25u);
    int compared = 0;
    for (const std::string &path : files) {
        SCOPED_TRACE(Name(path));
        const QByteArray bytes = ReadAll(path);
        Loaded ours = LoadBytes(bytes);
        EXPECT_EQ(ours.error, "") << "our load failed";
        const GifLibResult theirs = GifLibDecode(bytes);
        if (!theirs.ok)
            continue;
        const auto frames = FramePixels(*ours.image);
        ASSERT_EQ(frames.size(), theirs.frames.size());
        for (size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            EXPECT_EQ(frames[i], theirs.frames[i].pixels);
        }
        EXPECT_EQ(TableBytes(ours.image->Header().ColorTable()), theirs.globalColors);
        ++compared;
    }
    // giflib refuses only the damaged files.
    EXPECT_GE(compared, int(files.size()) - 4);
}

TEST(GIFCrossCheck, KnownWarnings)
{
    auto warningsOf = [](const std::string &name) {
        return LoadBytes(ReadAll(TestDataDir() + "/" + name)).warnings;
    };
    EXPECT_EQ(warningsOf("real/hippopotamus.interlaced.truncated.gif"),
              std::vector<std::string>{"Premature end of data"});
    EXPECT_EQ(warningsOf("real/hat.gif"), std::vector<std::string>{});
    // Data that ends with an end code before the last pixel is complete, without a warning.
    EXPECT_EQ(warningsOf("artificial/pixel-data-not-enough.gif"), std::vector<std::string>{});
    EXPECT_EQ(warningsOf("artificial/pixel-data-none.gif"), std::vector<std::string>{});
    EXPECT_EQ(warningsOf("artificial/pixel-data-too-much-good-lzw.gif"), std::vector<std::string>{"Excess image data"});
}

class GIFRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(GIFRoundTrip, EveryFileThatLoadsSavesAndLoadsAgainAsItWas)
{
    const int encoding = GetParam();
    for (const std::string &path : FilesThatLoad()) {
        SCOPED_TRACE(Name(path));
        const QByteArray bytes = ReadAll(path);
        Loaded first = LoadBytes(bytes);
        ASSERT_EQ(first.error, "");
        const QByteArray saved = ExpectRoundTrip(*first.image, encoding, first.warnings);
        // giflib reads our output with the same pixels (it refuses files without frames).
        if (first.image->Images().Count() == 0)
            continue;
        const GifLibResult theirs = GifLibDecode(saved);
        ASSERT_TRUE(theirs.ok) << "giflib error " << theirs.error;
        const auto frames = FramePixels(*first.image);
        ASSERT_EQ(theirs.frames.size(), frames.size());
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(theirs.frames[i].pixels, frames[i]) << "giflib frame " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, GIFRoundTrip, ::testing::Values(int(encLZW), int(encRunLength)),
                         [](const auto &info) { return info.param == encLZW ? "LZW" : "RunLength"; });

TEST(GIFRoundTrip, RandomFramesThroughBothEncodersAndGiflib)
{
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int round = 0; round < 60; ++round) {
        const int bits = 1 + round % 8;
        const int colors = 1 << bits;
        const int width = 1 + int(next() % 200), height = 1 + int(next() % 120);
        const bool interlaced = round % 3 == 0;
        std::vector<uint8_t> pixels(size_t(width) * height);
        // Runs and noise mixed, so that both encoders meet long runs and table growth.
        uint8_t current = 0;
        for (auto &p : pixels) {
            if (next() % 8 == 0)
                current = uint8_t(next() % colors);
            p = (round % 2 && next() % 5 == 0) ? uint8_t(next() % colors) : current;
        }
        for (int encoding : {int(encLZW), int(encRunLength)}) {
            SCOPED_TRACE("round " + std::to_string(round) + " encoding " + std::to_string(encoding));
            QByteArray file = Header(width, height, bits - 1);
            file.append(Descriptor(0, 0, width, height, interlaced ? 0x40 : 0));
            file.append(Encoded(pixels, width, height, bits, colors, interlaced, encoding));
            file.append(';');
            Loaded ours = LoadBytes(file);
            ASSERT_EQ(ours.error, "");
            EXPECT_EQ(ours.warnings, std::vector<std::string>{});
            ASSERT_EQ(FramePixels(*ours.image).size(), 1u);
            EXPECT_EQ(FramePixels(*ours.image)[0], pixels);
            const GifLibResult theirs = GifLibDecode(file);
            ASSERT_TRUE(theirs.ok);
            EXPECT_EQ(theirs.frames[0].pixels, pixels);
            EXPECT_EQ(ours.endPos, file.size());
        }
    }
}

// Bytes in memory read without a device around them: the same picture, warnings and failures
// as through a QBuffer, whole and cut short at several places.
TEST(GIFCrossCheck, LoadFromBytesReadsAsTheStreamDoes)
{
    for (const std::string &path : FilesThatLoad()) {
        SCOPED_TRACE(Name(path));
        const QByteArray whole = ReadAll(path);
        for (const qsizetype size : {whole.size(), whole.size() * 3 / 4, whole.size() / 2, qsizetype(20)}) {
            const QByteArray bytes = whole.left(size);
            const Loaded viaStream = LoadBytes(bytes);
            TGIFImage image;
            std::vector<std::string> warnings;
            image.OnCodecWarning = [&](TGIFImage &, int, const std::string &message) { warnings.push_back(message); };
            std::string error;
            try {
                image.LoadFromBytes(bytes);
            } catch (const GIFException &e) {
                error = e.what();
            }
            EXPECT_EQ(error, viaStream.error);
            EXPECT_EQ(warnings, viaStream.warnings);
            EXPECT_EQ(FramePixels(image), FramePixels(*viaStream.image));
            if (error.empty())
                EXPECT_EQ(SaveBytes(image), SaveBytes(*viaStream.image));
        }
    }
}
