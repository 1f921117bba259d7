// Replays the fixed corpus of mutated GIF files (tests/data/gif/corpus, taken from fuzzing runs
// seeded with the shared test files) through the normal build: every file either loads or fails
// with a GIFException that sets the stream back; a picture that loads saves and loads again.
#include "tst_gif_helpers.h"

#include <gtest/gtest.h>

using namespace giftest;

namespace {
std::vector<std::string> CorpusFiles()
{
    std::vector<std::string> files;
    QDirIterator it(QString(GLOSSAD_SOURCE_DIR) + "/tests/data/gif/corpus", QDir::Files);
    while (it.hasNext()) {
        const QString name = it.next();
        if (!name.endsWith(".md") && !name.endsWith("LICENSE"))
            files.push_back(name.toStdString());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool HasUnknownAppWithRegisteredIdentifier(TGIFImage &image)
{
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFExtensionList &list = image.Images()[i]->Extensions();
        for (int e = 0; e < list.Count(); ++e)
            if (auto *app = dynamic_cast<TGIFUnknownAppExtension *>(list[e]))
                if (FindAppExtension(app->Identifier.data()))
                    return true;
    }
    return false;
}
} // namespace

TEST(GIFCorpus, EveryMutatedFileLoadsOrFailsCleanly)
{
    GIFMaxFramePixels = uint64_t(1) << 22;
    const auto files = CorpusFiles();
    ASSERT_GE(files.size(), 50u);
    int loaded = 0, failed = 0, resaved = 0;
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        const QByteArray bytes = ReadAll(path);
        Loaded l = LoadBytes(bytes);
        if (!l.error.empty()) {
            ++failed;
            EXPECT_EQ(l.endPos, 0);
            continue;
        }
        ++loaded;
        if (HasUnknownAppWithRegisteredIdentifier(*l.image))
            continue;
        for (int encoding : {int(encLZW), int(encRunLength)}) {
            QByteArray saved;
            try {
                saved = SaveBytes(*l.image, encoding);
            } catch (const GIFException &) {
                continue;
            }
            Loaded again = LoadBytes(saved);
            EXPECT_EQ(again.error, "");
            std::vector<std::vector<uint8_t>> a = FramePixels(*l.image), b = FramePixels(*again.image);
            EXPECT_EQ(a, b);
            ++resaved;
        }
    }
    GIFMaxFramePixels = uint64_t(1) << 28;
    EXPECT_GT(loaded, 0);
    EXPECT_GT(failed, 0);
    EXPECT_GT(resaved, 0);
}
