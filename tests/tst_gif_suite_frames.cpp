// What the program shows of every file of the public GIF test suite, frame by frame: the
// frames `glossgif frames` writes equal the suite's expected frames flattened on the same
// backdrop, pixel for pixel, on two backdrops.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
QString SuiteDir() { return QStringLiteral(GLOSSAD_TESTDATA_DIR "/gif/suite"); }
QString Tool() { return QCoreApplication::applicationDirPath() + "/glossgif"; }

// The expected frame on the backdrop: its transparent parts show the backdrop.
QImage Flattened(const QString &file, QRgb backdrop)
{
    QImage flat(QImage(file).size(), QImage::Format_RGB32);
    flat.fill(backdrop);
    QPainter painter(&flat);
    painter.drawImage(0, 0, QImage(file));
    return flat;
}

// The expected frames of NAME.gif: NAME-0.png, NAME-1.png ... or NAME.png for a still.
QStringList ExpectedFrames(const QString &name)
{
    QStringList files;
    for (int k = 0; QFileInfo::exists(SuiteDir() + QStringLiteral("/%1-%2.png").arg(name).arg(k)); ++k)
        files << SuiteDir() + QStringLiteral("/%1-%2.png").arg(name).arg(k);
    if (files.isEmpty())
        files << SuiteDir() + "/" + name + ".png";
    return files;
}
} // namespace

TEST(GIFSuiteFrames, EveryFileShowsItsExpectedFrames)
{
    if (!QFileInfo::exists(Tool()))
        GTEST_SKIP() << "glossgif not built";
    const QStringList gifs = QDir(SuiteDir()).entryList({"*.gif"}, QDir::Files, QDir::Name);
    ASSERT_GE(gifs.size(), 7);
    for (const QRgb backdrop : {qRgb(255, 255, 255), qRgb(0x20, 0x40, 0x80)}) {
        for (const QString &gif : gifs) {
            const QString name = QFileInfo(gif).completeBaseName();
            SCOPED_TRACE(name.toStdString() + " on " + QString::number(backdrop & 0xFFFFFF, 16).toStdString());
            QTemporaryDir out;
            QProcess tool;
            tool.start(Tool(), {"frames", SuiteDir() + "/" + gif, out.path(), "--backdrop",
                                QStringLiteral("%1").arg(backdrop & 0xFFFFFF, 6, 16, QChar('0'))});
            ASSERT_TRUE(tool.waitForFinished(60000));
            ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
            const QStringList expected = ExpectedFrames(name);
            EXPECT_EQ(QString::fromLatin1(tool.readAllStandardOutput()).count('\n'), expected.size());
            for (int k = 0; k < expected.size(); ++k) {
                const QImage shown = QImage(out.filePath(QStringLiteral("frame-%1.png").arg(k))).convertToFormat(QImage::Format_RGB32);
                EXPECT_EQ(shown, Flattened(expected[k], backdrop)) << "frame " << k;
            }
            EXPECT_FALSE(QFileInfo::exists(out.filePath(QStringLiteral("frame-%1.png").arg(expected.size()))));
        }
    }
}

TEST(GIFSuiteFrames, ToolRefusesBadOptions)
{
    if (!QFileInfo::exists(Tool()))
        GTEST_SKIP() << "glossgif not built";
    QTemporaryDir out;
    for (const QStringList &options : {QStringList{"--backdrop", "12345"}, QStringList{"--backdrop", "zz0000"},
                                       QStringList{"--flags", "10000"}, QStringList{"--speed"}, QStringList{"--fast"}}) {
        QProcess tool;
        tool.start(Tool(), QStringList{"frames", SuiteDir() + "/animated_loop.gif", out.path()} + options);
        ASSERT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(tool.exitCode(), 2) << options.join(' ').toStdString();
        EXPECT_TRUE(tool.readAllStandardError().contains("\nusage: glossgif frames"));
    }
    // Delays as the painter computes them, at the speed asked for.
    QProcess tool;
    tool.start(Tool(), {"frames", SuiteDir() + "/animated_loop.gif", out.path(), "--speed", "200"});
    ASSERT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.readAllStandardOutput(), "0 600 1\n1 600 1\n2 600 1\n3 600 1\n");
}
