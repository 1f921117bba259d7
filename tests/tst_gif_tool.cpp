// The glossgif tool from outside: output formats, exit codes, warnings on standard error.
#include "tst_gif_helpers.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace giftest;

namespace {

QString Data(const char *name) { return QString::fromStdString(TestDataDir()) + "/" + name; }
} // namespace

class GlossGif : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(Tool()))
            GTEST_SKIP() << "glossgif not built";
    }
};

TEST_F(GlossGif, InfoListsFramesLoopsAndComments)
{
    ToolResult r = RunTool({"info", Data("real/animated-red-blue.gif")});
    EXPECT_EQ(r.code, 0);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], "GIF89a 64x48 frames=4 colors=256");
    EXPECT_EQ(lines[1], "frame 0 0,0 64x48 colors=256 interlaced=0 transparent=- delay=10 disposal=1");
    EXPECT_EQ(lines[2], "frame 1 15,31 37x9 colors=0 interlaced=0 transparent=2 delay=20 disposal=1");
    EXPECT_EQ(lines[5], "loops=2");
    EXPECT_EQ(r.err, "");

    QTemporaryDir dir;
    QFile f(dir.filePath("c.gif"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray file = Header(1, 1, 0, false, "GIF87a");
    file.append(QByteArray("!\xFE\x05hello\x03" "abc\x00", 13));
    file.append(Descriptor(0, 0, 1, 1));
    file.append(ImageData(2, {{4, 3}, {0, 3}, {5, 3}}));
    file.append('X');
    f.write(file);
    f.close();
    r = RunTool({"info", f.fileName()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "GIF87a 1x1 frames=1 colors=0\n"
                     "frame 0 0,0 1x1 colors=0 interlaced=0 transparent=- delay=- disposal=-\n"
                     "comment: hello\ncomment: abc\n");
    EXPECT_EQ(r.err, "warning: Unknown GIF block type\nwarning: Invalid Image trailer\n");
}

TEST_F(GlossGif, LoadFailuresAndWrongArguments)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("bad.gif"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a gif at all");
    f.close();
    ToolResult r = RunTool({"info", f.fileName()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "error: Invalid GIF signature\n");
    EXPECT_EQ(RunTool({}).code, 2);
    EXPECT_EQ(RunTool({"info"}).code, 2);
    EXPECT_EQ(RunTool({"frobnicate"}).code, 2);
    EXPECT_EQ(RunTool({"decode", Data("real/hat.gif"), "-n"}).code, 2);
    EXPECT_EQ(RunTool({"reencode", "a"}).code, 2);
    for (const char *command : {"info", "indexes", "decode", "reencode"}) {
        ToolResult help = RunTool({command, "--help"});
        EXPECT_EQ(help.code, 0) << command;
        EXPECT_TRUE(help.out.startsWith("usage: glossgif " + QString(command))) << command;
    }
}

TEST_F(GlossGif, AWrongArgumentIsNamedBeforeTheUsage)
{
    const QString hat = Data("real/hat.gif");
    const std::vector<std::pair<QStringList, QString>> cases = {
        {{"bogus"}, "unknown command 'bogus'"},
        {{"convert", hat, "x.gif", "--bits", "12"}, "--bits must be 1 to 8, not '12'"},
        {{"convert", hat, "x.gif", "--dither", "9"}, "--dither must be 0 to 6, not '9'"},
        {{"decode", hat, "-n", "0"}, "-n must be 1 to 1000000, not '0'"},
        {{"decode", hat, "-n", "abc"}, "-n must be 1 to 1000000, not 'abc'"},
        {{"decode", hat, "-n"}, "-n needs a value"},
        {{"frames", hat, "out", "--flags", "10000"}, "--flags must be a hexadecimal number from 0 to ffff, not '10000'"},
        {{"frames", hat, "out", "--backdrop", "fff"}, "--backdrop must be 6 hexadecimal digits, not 'fff'"},
        {{"info", hat, "--fast"}, "unknown option '--fast'"},
        {{"reencode", hat}, "expected 2 file names, got 1"},
        {{"info"}, "expected 1 file name, got 0"},
    };
    for (const auto &[args, problem] : cases) {
        const ToolResult r = RunTool(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.section('\n', 0, 0), "error: " + problem);
        EXPECT_TRUE(r.err.section('\n', 1).startsWith("usage: glossgif ")) << r.err.toStdString();
    }
}

TEST_F(GlossGif, IndexesDecodeAndReencode)
{
    QTemporaryDir dir;
    const QString idx = dir.filePath("m.idx");
    EXPECT_EQ(RunTool({"indexes", Data("real/muybridge.gif"), idx}).code, 0);
    const QByteArray bytes = ReadAll(idx.toStdString());
    Loaded l = LoadBytes(ReadAll(Data("real/muybridge.gif").toStdString()));
    QByteArray expected;
    for (const auto &frame : FramePixels(*l.image))
        expected.append(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
    EXPECT_EQ(bytes, expected);

    ToolResult d = RunTool({"decode", Data("real/hat.gif"), "-n", "3"});
    EXPECT_EQ(d.code, 0);
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d{3} ms \\d+\\.\\d MB/s\\n$").match(d.out).hasMatch()) << d.out.toStdString();

    for (QStringList extra : {QStringList{}, QStringList{"--rle"}}) {
        const QString out = dir.filePath("re.gif");
        EXPECT_EQ(RunTool(QStringList{"reencode", Data("real/hat.gif"), out} + extra).code, 0);
        Loaded again = LoadBytes(ReadAll(out.toStdString()));
        Loaded original = LoadBytes(ReadAll(Data("real/hat.gif").toStdString()));
        EXPECT_EQ(FramePixels(*again.image), FramePixels(*original.image));
    }
}
