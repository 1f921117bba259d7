// Replays the fixed corpus of mutated GIF files (tests/data/gif/corpus, taken from fuzzing runs
// seeded with the shared test files) through the normal build: every file either loads or fails
// with a GIFException that sets the stream back; every picture that loads saves with both
// encoders and loads again as it was, is optimised showing what it showed, and plays.
#include "tst_gif_helpers.h"
#include "support/GIFPlayback.h"

#include "platform/Graphic.h"

#include <gtest/gtest.h>

using namespace giftest;

namespace {
std::vector<std::string> CorpusFiles(const char *folder = "corpus")
{
    std::vector<std::string> files;
    QDirIterator it(QString(GLOSSAD_SOURCE_DIR) + "/tests/data/gif/" + folder, QDir::Files);
    while (it.hasNext()) {
        const QString name = it.next();
        if (!name.endsWith(".md") && !name.endsWith("LICENSE"))
            files.push_back(name.toStdString());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

TEST(GIFCorpus, EveryMutatedFileLoadsOrFailsCleanlyAndWhatLoadsSavesAsItWas)
{
    GIFMaxFramePixels = uint64_t(1) << 22;
    const auto files = CorpusFiles();
    ASSERT_GE(files.size(), 50u);
    int loaded = 0, failed = 0;
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        Loaded l = LoadBytes(ReadAll(path));
        if (!l.error.empty()) {
            ++failed;
            EXPECT_EQ(l.endPos, 0);
            continue;
        }
        ++loaded;
        for (int encoding : {int(encLZW), int(encRunLength)})
            ExpectRoundTrip(*l.image, encoding, l.warnings);
        if (HasFailure())
            break;
    }
    GIFMaxFramePixels = uint64_t(MaxGraphicPixels);
    EXPECT_GT(loaded, 0);
    EXPECT_GT(failed, 0);
}

TEST(GIFCorpus, EveryPictureIsOptimisedShowingWhatItShowedAndPlays)
{
    GIFMaxFramePixels = uint64_t(1) << 22;
    std::vector<std::string> files = CorpusFiles(), real = CorpusFiles("real");
    files.insert(files.end(), real.begin(), real.end());
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        Loaded l = LoadBytes(ReadAll(path));
        if (!l.error.empty())
            continue;
        TGIFImage &image = *l.image;
        const QSize area(std::clamp(image.GetWidth(), 1, 300), std::clamp(image.GetHeight(), 1, 300));
        for (uint16_t options : {DefaultPaintFlags, uint16_t(DrawTransparent | DrawAnimate | DrawDirect | DrawTile)}) {
            try {
                gifplayback::PlayFrames(image, options, area, 2 * image.Images().Count() + 2);
            } catch (const EInvalidGraphic &) {   // too large to draw
            }
        }
        const bool compare = gifplayback::QuickToCompose(image);
        const auto shown = compare ? gifplayback::ShownScreens(image) : std::vector<std::vector<uint32_t>>();
        for (uint8_t options : {uint8_t(CompactAll), uint8_t(CompactAll & ~CompactCleanup)}) {
            TGIFImage optimised;
            optimised.Assign(image);
            optimised.Compact(options);
            EXPECT_TRUE(gifplayback::ShownScreens(optimised) == shown || !compare);
            // Frames are written with codes as narrow as their pixels allow: read back the same.
            for (int encoding : {int(encLZW), int(encRunLength)})
                ExpectRoundTrip(optimised, encoding, l.warnings);
        }
    }
    GIFMaxFramePixels = uint64_t(MaxGraphicPixels);
}
