// `glossgif convert` and `glossgif optimize` from outside: every demo picture and every test
// GIF goes through them and reads back with our reader and with giflib; optimised animations
// show the frames the originals show; bad input leaves no file behind.
#include "tst_gif_helpers.h"

#include "platform/Bitmap.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace giftest;

namespace {


QStringList DemoPictures()
{
    QStringList files;
    QDirIterator it(QString(GLOSSAD_SOURCE_DIR) + "/examples/pictures", QDir::Files);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

QStringList TestGIFs()
{
    QStringList files;
    for (const std::string &f : AllTestFiles())
        files << QString::fromStdString(f);
    return files;
}

// The file reads back with our reader (without an error) and with giflib.
void ExpectReadable(const QString &path, int frames = -1, bool byGiflib = true)
{
    SCOPED_TRACE(path.toStdString());
    const QByteArray bytes = ReadAll(path.toStdString());
    Loaded ours = LoadBytes(bytes);
    EXPECT_EQ(ours.error, "");
    const GifLibResult theirs = GifLibDecode(bytes);
    EXPECT_TRUE(theirs.ok || !byGiflib) << theirs.error;
    if (frames >= 0) {
        EXPECT_EQ(ours.image->Images().Count(), frames);
        EXPECT_EQ(int(theirs.frames.size()), frames);
    }
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class MakeTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(Tool()))
            GTEST_SKIP() << "glossgif not built";
        ASSERT_TRUE(dir.isValid());
    }
    QString Out(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(MakeTool, ConvertsEveryDemoPicture)
{
    const QRegularExpression line(R"(^.+\.gif: (\d+)x(\d+) frames=(\d+) colors=(\d+) (\d+) bytes [\d.]+ ms\n$)");
    const QString data = QString(GLOSSAD_SOURCE_DIR) + "/tests/data/pictures/";
    for (const QString &picture : DemoPictures() + QStringList{data + "alpha.png", data + "lossless.webp", data + "drawing.svg"}) {
        SCOPED_TRACE(picture.toStdString());
        const QString out = Out(QFileInfo(picture).completeBaseName() + ".gif");
        const ToolResult r = RunTool({"convert", picture, out, "--dither", "1", "--optimize"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        const auto m = line.match(r.out);
        ASSERT_TRUE(m.hasMatch()) << r.out.toStdString();
        EXPECT_EQ(m.captured(5).toLongLong(), QFileInfo(out).size());
        EXPECT_LE(m.captured(4).toInt(), 256);
        ExpectReadable(out, m.captured(3).toInt());
    }
    // Every reduction and dither kind, run-length codes and a small palette.
    const QString photo = QString(GLOSSAD_SOURCE_DIR) + "/examples/pictures/tree.jpg";
    for (int reduction = 0; reduction <= 9; ++reduction) {
        const QString out = Out(QString("tree%1.gif").arg(reduction));
        const QString named = reduction == 9 ? QString("best") : QString::number(reduction);
        const ToolResult r = RunTool({"convert", photo, out, "--reduction", named, "--dither",
                                  QString::number(reduction % 7), "--bits", "5", "--rle"});
        if (reduction == 0) {   // a JPEG photo has more than 256 colours
            EXPECT_EQ(r.code, 1);
            EXPECT_TRUE(r.err.contains("Color table overflow")) << r.err.toStdString();
            EXPECT_FALSE(QFileInfo::exists(out));
            continue;
        }
        ASSERT_EQ(r.code, 0) << reduction << r.err.toStdString();
        ExpectReadable(out, 1);
    }
    EXPECT_TRUE(RunTool({"convert", photo, Out("b5.gif"), "--bits", "5"}).out.contains("colors=32"));
}

TEST_F(MakeTool, RoundTripsEveryTestGIF)
{
    for (const QString &gif : TestGIFs()) {
        SCOPED_TRACE(gif.toStdString());
        Loaded original = LoadBytes(ReadAll(gif.toStdString()));
        for (const char *command : {"convert", "optimize"}) {
            const QString out = Out(QString(command) + ".gif");
            QFile::remove(out);
            const ToolResult r = RunTool({command, gif, out});
            if (r.code != 0) {
                // Only what the plain writer cannot write back either may fail, and then with a
                // message and without a file.
                EXPECT_EQ(r.code, 1);
                EXPECT_TRUE(r.err.contains("error: ")) << r.err.toStdString();
                // (convert also refuses a picture without pixels, which the writer keeps).
                EXPECT_TRUE(original.image->GetEmpty() || RunTool({"reencode", gif, Out("plain.gif")}).code != 0)
                    << command << ": " << r.err.toStdString();
                EXPECT_FALSE(QFileInfo::exists(out));
                continue;
            }
            // giflib reads what it read of the original (it refuses a file without frames).
            ExpectReadable(out, -1, GifLibDecode(ReadAll(gif.toStdString())).ok);
            if (QString(command) == "convert") {
                EXPECT_EQ(FramePixels(*LoadBytes(ReadAll(out.toStdString())).image), FramePixels(*original.image));
            }
        }
    }
}

// What the animation painter shows of a file, frame by frame, with frames that show nothing
// new left out (the optimiser drops frames that change nothing).
std::vector<QImage> ShownFrames(const QString &gif, const QString &folder)
{
    QDir().mkpath(folder);
    const ToolResult r = RunTool({"frames", gif, folder});
    EXPECT_EQ(r.code, 0) << gif.toStdString() << r.err.toStdString();
    std::vector<QImage> shown;
    for (int k = 0;; ++k) {
        QImage frame(folder + QString("/frame-%1.png").arg(k));
        if (frame.isNull())
            break;
        frame = frame.convertToFormat(QImage::Format_ARGB32);
        if (shown.empty() || frame != shown.back())
            shown.push_back(frame);
    }
    return shown;
}

TEST_F(MakeTool, OptimisedAnimationsShowTheSameFrames)
{
    if (RunTool({"frames", "--help"}).code != 0)
        GTEST_SKIP() << "glossgif frames not built";
    QStringList animations = {QString(GLOSSAD_SOURCE_DIR) + "/examples/pictures/bird.gif"};
    for (const QString &gif : TestGIFs())
        if (LoadBytes(ReadAll(gif.toStdString())).image->Images().Count() > 1)
            animations << gif;
    ASSERT_GE(animations.size(), 8);
    for (const QString &gif : animations) {
        SCOPED_TRACE(gif.toStdString());
        const QString out = Out("optimised.gif");
        QFile::remove(out);
        const ToolResult r = RunTool({"optimize", gif, out});
        if (r.code != 0) {   // only what cannot be written back at all
            EXPECT_NE(RunTool({"reencode", gif, Out("plain.gif")}).code, 0) << r.err.toStdString();
            continue;
        }
        // Against what the writer makes of the original without optimising: a frame without
        // any colour table is written with a table the original did not have.
        ASSERT_EQ(RunTool({"reencode", gif, Out("plain.gif")}).code, 0);
        const std::vector<QImage> before = ShownFrames(Out("plain.gif"), Out("before")),
                                  after = ShownFrames(out, Out("after"));
        ASSERT_FALSE(before.empty());
        ASSERT_EQ(after.size(), before.size());
        for (size_t k = 0; k < before.size(); ++k)
            EXPECT_TRUE(after[k] == before[k]) << "frame " << k;
        QDir(Out("before")).removeRecursively();
        QDir(Out("after")).removeRecursively();
    }
}

TEST_F(MakeTool, PrintsNothingButItsOwnOutput)
{
    // Without a desktop session: no runtime folder, and nothing left in the temporary folder.
    QDir(dir.path()).mkdir("tmp");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", Out("tmp"));
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.start(Tool(), {"convert", QString(GLOSSAD_SOURCE_DIR) + "/examples/pictures/apple.bmp", Out("a.gif")});
    ASSERT_TRUE(tool.waitForFinished(120000));
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_EQ(tool.readAllStandardError(), "");
    EXPECT_TRUE(tool.readAllStandardOutput().startsWith(Out("a.gif").toLocal8Bit() + ": "));
    EXPECT_TRUE(QDir(Out("tmp")).isEmpty());
}

TEST_F(MakeTool, OptimizePrintsSizesAndHonoursTheMask)
{
    const QString gif = QString::fromStdString(TestDataDir()) + "/real/animated-red-blue.gif";
    ToolResult r = RunTool({"optimize", gif, Out("o.gif"), "--options", "0x08"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QRegularExpression line(R"(^.+ (\d+) bytes -> .+o\.gif (\d+) bytes \([\d.]+%\)\n$)");
    const auto m = line.match(r.out);
    ASSERT_TRUE(m.hasMatch()) << r.out.toStdString();
    EXPECT_EQ(m.captured(1).toLongLong(), QFileInfo(gif).size());
    EXPECT_EQ(m.captured(2).toLongLong(), QFileInfo(Out("o.gif")).size());
    EXPECT_EQ(LoadBytes(ReadAll(Out("o.gif").toStdString())).image->Images().Count(), 4);
    EXPECT_EQ(RunTool({"optimize", gif, Out("x.gif"), "--options", "32"}).code, 2);
    EXPECT_EQ(RunTool({"optimize", gif}).code, 2);
    EXPECT_EQ(RunTool({"convert", gif, Out("x.gif"), "--reduction", "9"}).code, 2);
    EXPECT_EQ(RunTool({"convert", gif, Out("x.gif"), "--bits", "9"}).code, 2);
    EXPECT_EQ(RunTool({"convert", gif, Out("x.gif"), "--dither"}).code, 2);
    EXPECT_EQ(RunTool({"convert", "--help"}).code, 0);
    EXPECT_FALSE(QFileInfo::exists(Out("x.gif")));
}

TEST_F(MakeTool, BadInputGetsAMessageAndNoFile)
{
    const QByteArray bmp = ReadAll(std::string(GLOSSAD_SOURCE_DIR) + "/examples/pictures/apple.bmp");
    ASSERT_GT(bmp.size(), 100);
    WriteFile(Out("truncated.bmp"), bmp.left(bmp.size() / 2));
    QByteArray twoBits = bmp;
    twoBits[28] = 2;   // bits per pixel
    WriteFile(Out("twobits.bmp"), twoBits);
    QByteArray flat = bmp;
    flat[18] = flat[19] = flat[20] = flat[21] = 0;   // width 0
    WriteFile(Out("flat.bmp"), flat);
    WriteFile(Out("empty.gif"), ReadAll(TestDataDir() + "/artificial/no-frames.gif"));
    WriteFile(Out("notes.txt"), "hello");
    QImage many(300, 1, QImage::Format_RGB32);
    for (int x = 0; x < 300; ++x)
        many.setPixel(x, 0, qRgb(x % 256, x / 256, 9));
    many.save(Out("many.png"));
    TBitmap manyBmp;
    manyBmp.SetImage(many, TPixelFormat::pf24bit);
    manyBmp.SaveToFile(Out("many.bmp").toStdString());

    const QString kept = Out("kept.gif");
    WriteFile(kept, "old content");
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{Out("truncated.bmp")}, "Bitmap image is not valid"},
        {{Out("twobits.bmp")}, "Bitmap image is not valid"},
        {{Out("flat.bmp")}, "Bitmap image is not valid"},
        {{Out("empty.gif")}, "Image is empty"},
        {{Out("notes.txt")}, "Unknown picture file extension"},
        {{Out("missing.bmp")}, "Cannot open file"},
        {{Out("many.png"), "--reduction", "0"}, "Color table overflow"},
        {{Out("many.bmp"), "--reduction", "0"}, "Color table overflow"},
    };
    for (const auto &[input, message] : cases) {
        QStringList args = {"convert", input[0], kept};
        args << input.mid(1);
        const ToolResult r = RunTool(args);
        EXPECT_EQ(r.code, 1) << input[0].toStdString();
        EXPECT_TRUE(r.err.contains(message)) << r.err.toStdString();
        EXPECT_EQ(ReadAll(kept.toStdString()), "old content");
    }
    EXPECT_EQ(RunTool({"optimize", Out("truncated.bmp"), kept}).code, 1);
    EXPECT_EQ(ReadAll(kept.toStdString()), "old content");
    const ToolResult r = RunTool({"convert", Out("many.png"), Out("no/such/folder/x.gif")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("Cannot create file")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Out("no")));
}

TEST_F(MakeTool, OutputNamesMessagesAndSizesAsAUserMeetsThem)
{
    const QString apple = QString::fromStdString(std::string(GLOSSAD_SOURCE_DIR) + "/examples/pictures/apple.bmp");
    // GIF data goes only into a file named as one.
    for (const QStringList &args : {QStringList{"convert", apple, Out("out.png")},
                                    QStringList{"reencode", Out("in.gif"), Out("out.bmp")}}) {
        const ToolResult r = RunTool(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_TRUE(r.err.startsWith("error: the output '" + args[2] + "' must be a .gif file name\n")) << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Out("out.png")));
    EXPECT_EQ(RunTool({"convert", apple, Out("upper.GIF")}).code, 0);

    // A picture the tool cannot read is named once.
    WriteFile(Out("key.wav"), "RIFF");
    const ToolResult wave = RunTool({"convert", Out("key.wav"), Out("x.gif")});
    EXPECT_EQ(wave.code, 1);
    EXPECT_EQ(wave.err.count(Out("key.wav")), 1) << wave.err.toStdString();

    // Optimising in place reports the size the file had before.
    const QString gif = QString::fromStdString(TestDataDir()) + "/real/animated-red-blue.gif";
    WriteFile(Out("in.gif"), ReadAll(gif.toStdString()));
    const ToolResult r = RunTool({"optimize", Out("in.gif"), Out("in.gif")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral(" %1 bytes -> ").arg(QFileInfo(gif).size()))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral(" %1 bytes (").arg(QFileInfo(Out("in.gif")).size()))) << r.out.toStdString();
}
