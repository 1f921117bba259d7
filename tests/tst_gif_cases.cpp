// The hand-made cases of tests/data/gif/cases (made by make_cases.py): each loads to the frames
// and warnings its entry in expected.json gives, or fails with its error; giflib shows the same
// frames where it reads the file, gifsicle (and ImageMagick's frame count) where giflib gives
// up. The pixel bombs are refused cleanly under an address-space limit of 1 GB.
#include "tst_gif_helpers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace giftest;

namespace {

struct ExpectedFrame {
    int left, top, width, height;
    std::vector<uint8_t> pixels;
    bool operator==(const ExpectedFrame &) const = default;
};

struct Case {
    std::string name, error;
    std::vector<std::string> warnings;
    std::vector<ExpectedFrame> frames;
};

std::vector<Case> Cases()
{
    const QJsonArray list = QJsonDocument::fromJson(ReadAll(CaseDir() + "/expected.json")).array();
    std::vector<Case> cases;
    for (const QJsonValue &entry : list) {
        const QJsonObject o = entry.toObject();
        Case c{o["name"].toString().toStdString(), o["error"].toString().toStdString(), {}, {}};
        for (const QJsonValue &w : o["warnings"].toArray())
            c.warnings.push_back(w.toString().toStdString());
        for (const QJsonValue &f : o["frames"].toArray()) {
            const QJsonObject fo = f.toObject();
            const QByteArray pixels = QByteArray::fromHex(fo["pixels"].toString().toLatin1());
            c.frames.push_back({fo["left"].toInt(), fo["top"].toInt(), fo["width"].toInt(), fo["height"].toInt(),
                                std::vector<uint8_t>(pixels.begin(), pixels.end())});
        }
        cases.push_back(std::move(c));
    }
    return cases;
}

std::vector<ExpectedFrame> OurFrames(const TGIFImage &image)
{
    std::vector<ExpectedFrame> frames;
    for (int i = 0; i < image.Images().Count(); ++i) {
        const TGIFSubImage *f = image.Images()[i];
        if (!f->Empty())
            frames.push_back({f->Left, f->Top, f->Width, f->Height,
                              std::vector<uint8_t>(f->Data(), f->Data() + f->DataSize())});
    }
    return frames;
}

std::vector<ExpectedFrame> GiflibFrames(const GifLibResult &result)
{
    std::vector<ExpectedFrame> frames;
    for (const GifLibFrame &f : result.frames)
        frames.push_back({f.left, f.top, f.width, f.height, f.pixels});
    return frames;
}

// Runs a program with the file; its standard output, or nothing when it is not installed.
std::optional<QByteArray> RunProgram(const char *program, const QStringList &args)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000))
        return std::nullopt;
    return process.readAllStandardOutput();
}

} // namespace

TEST(GIFCases, EachLoadsAsExpectedAndAsOtherDecodersShowIt)
{
    const std::vector<Case> cases = Cases();
    ASSERT_GE(cases.size(), 15u);
    int giflibAgreed = 0, gifsicleAgreed = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = CaseDir() + "/" + c.name;
        const QByteArray bytes = ReadAll(path);
        ASSERT_FALSE(bytes.isEmpty());
        Loaded ours = LoadBytes(bytes);
        EXPECT_EQ(ours.error, c.error);
        if (!c.error.empty())
            continue;   // the bombs: no decoder is asked to allocate them
        EXPECT_EQ(ours.warnings, c.warnings);
        EXPECT_EQ(ours.endPos, bytes.size());
        EXPECT_TRUE(OurFrames(*ours.image) == c.frames);
        const GifLibResult giflib = GifLibDecode(bytes);
        if (giflib.ok) {
            EXPECT_TRUE(GiflibFrames(giflib) == c.frames) << "giflib shows other frames";
            ++giflibAgreed;
            continue;
        }
        // giflib gives up: gifsicle's reading of the file, written out again, goes to giflib.
        if (const auto rewritten = RunProgram("gifsicle", {"--no-warnings", QString::fromStdString(path)})) {
            const GifLibResult viaGifsicle = GifLibDecode(*rewritten);
            ASSERT_TRUE(viaGifsicle.ok);
            EXPECT_TRUE(GiflibFrames(viaGifsicle) == c.frames) << "gifsicle shows other frames";
            ++gifsicleAgreed;
        }
        if (const auto listing = RunProgram("identify", {QString::fromStdString(path)})) {
            EXPECT_EQ(listing->count('\n'), qsizetype(c.frames.size())) << "ImageMagick counts other frames";
        }
    }
    EXPECT_GE(giflibAgreed, 10);
    if (!QStandardPaths::findExecutable("gifsicle").isEmpty()) {
        EXPECT_GE(gifsicleAgreed, 3);
    }
}

TEST(GIFCases, BombsAreRefusedWithinOneGigabyteOfAddressSpace)
{
    const QString tool = QCoreApplication::applicationDirPath() + "/glossgif";
    if (!QFileInfo::exists(tool) || QStandardPaths::findExecutable("prlimit").isEmpty())
        GTEST_SKIP() << "needs glossgif and prlimit";
    for (const char *name : {"bomb-8-frames.gif", "bomb-64-frames.gif"}) {
        SCOPED_TRACE(name);
        QProcess process;
        process.start("prlimit", {"--as=1073741824", "--", tool, "info", QString::fromStdString(CaseDir() + "/" + name)});
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_TRUE(process.readAllStandardError().contains("Image dimensions too large"));
    }
}
