// The picture loader and the graphics classes of platform/: every format of the loader's table
// loads from a real file into a TImage and shows the right pixels; bad files fail and the
// control keeps its previous picture; stretched and own-size drawing; transparency.
#include "platform/Bitmap.h"
#include "platform/CodePage.h"
#include "platform/Icon.h"
#include "platform/ImageControl.h"
#include "platform/JPEGImage.h"
#include "platform/Metafile.h"
#include "platform/Picture.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {
const QRgb Background = qRgb(10, 200, 30);

std::string Data(const std::string &name) { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/pictures/" + name; }

std::string DataBytes(const std::string &name) { return ReadWholeFile(Data(name)); }

class Graphics : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterBuiltInFormats(); }

    // A picture control of the given size whose background is the Background colour.
    std::unique_ptr<TImage> Control(int w, int h)
    {
        auto control = std::make_unique<TImage>();
        QPalette pal = control->palette();
        pal.setColor(QPalette::Window, QColor(Background));
        control->setPalette(pal);
        control->resize(w, h);
        return control;
    }

    static QImage Render(TImage &control) { return control.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    TempFolder temp;
};

bool Near(QRgb a, QRgb b, int tolerance = 24)
{
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

std::string Hex(QRgb c)
{
    char text[16];
    std::snprintf(text, sizeof text, "#%06x", c & 0xFFFFFF);
    return text;
}

#define EXPECT_PIXEL(image, x, y, colour)                                                                              \
    EXPECT_TRUE(Near((image).pixel(x, y), colour)) << "pixel (" << (x) << "," << (y) << ") is " << Hex((image).pixel(x, y)) \
                                                   << ", expected " << Hex(colour)

const QRgb Red = qRgb(255, 0, 0), Blue = qRgb(0, 0, 255), Lime = qRgb(0, 255, 0), Black = qRgb(0, 0, 0),
           White = qRgb(255, 255, 255);
} // namespace

// --- each format of the table, from a real file -------------------------------------------

TEST_F(Graphics, Bmp24BitLoadsIntoTheControl)
{
    auto control = Control(8, 6);
    LoadPicture(*control, Data("rgb24.bmp"));
    auto *bitmap = qobject_cast<TBitmap *>(control->Picture().Graphic());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->GetWidth(), 8);
    EXPECT_EQ(bitmap->GetHeight(), 6);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf24bit);
    // DIB order in the scanline: blue, green, red.
    const uchar *row = bitmap->ScanLine(0);
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[2], 255);
    EXPECT_EQ(row[3 * 7], 255);
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 1, 1, Red);
    EXPECT_PIXEL(shot, 6, 4, Blue);
}

TEST_F(Graphics, Bmp1BitLoadsWithItsPalette)
{
    auto control = Control(8, 6);
    LoadPicture(*control, Data("mono1.bmp"));
    auto *bitmap = qobject_cast<TBitmap *>(control->Picture().Graphic());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf1bit);
    EXPECT_EQ(bitmap->GetPalette().size(), 2);
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 1, 1, Black);
    EXPECT_PIXEL(shot, 6, 1, White);
}

TEST_F(Graphics, Bmp4BitLoadsWithItsPalette)
{
    auto control = Control(8, 6);
    LoadPicture(*control, Data("pal4.bmp"));
    auto *bitmap = qobject_cast<TBitmap *>(control->Picture().Graphic());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf4bit);
    EXPECT_LE(bitmap->GetPalette().size(), 16);
    EXPECT_EQ(bitmap->GetPalette().value(bitmap->PixelIndex(0, 0)) & 0xFFFFFF, Red & 0xFFFFFF);
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 1, 2, Red);
    EXPECT_PIXEL(shot, 5, 2, Lime);
    EXPECT_PIXEL(shot, 7, 2, Blue);
}

TEST_F(Graphics, Bmp8BitLoadsWithItsPalette)
{
    auto control = Control(8, 6);
    LoadPicture(*control, Data("pal8.bmp"));
    auto *bitmap = qobject_cast<TBitmap *>(control->Picture().Graphic());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bitmap->GetPalette().size(), 256);
    EXPECT_EQ(bitmap->PixelIndex(0, 0), 0);
    EXPECT_EQ(bitmap->PixelIndex(5, 0), 1);
    EXPECT_EQ(bitmap->ScanLine(5)[7], 200);
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 1, 1, Red);
    EXPECT_PIXEL(shot, 6, 1, Blue);
    EXPECT_PIXEL(shot, 7, 5, qRgb(200, 55, 0));
}

TEST_F(Graphics, IconLoadsAndIsTransparent)
{
    auto control = Control(16, 16);
    LoadPicture(*control, Data("icon.ico"));
    auto *icon = qobject_cast<TIcon *>(control->Picture().Graphic());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->GetWidth(), 16);
    EXPECT_EQ(icon->GetHeight(), 16);
    EXPECT_TRUE(icon->GetTransparent());
    const QImage mask = icon->Mask();
    EXPECT_EQ(mask.pixelIndex(2, 2), 0);
    EXPECT_EQ(mask.pixelIndex(12, 2), 1);
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 2, 2, Lime);
    EXPECT_PIXEL(shot, 12, 2, Background);
}

TEST_F(Graphics, JpegLoadsThroughLibjpeg)
{
    auto control = Control(32, 16);
    LoadPicture(*control, Data("photo.jpg"));
    auto *jpeg = qobject_cast<TJPEGImage *>(control->Picture().Graphic());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_EQ(jpeg->GetWidth(), 32);
    EXPECT_EQ(jpeg->GetHeight(), 16);
    EXPECT_FALSE(jpeg->Grayscale());
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 4, 8, Red);
    EXPECT_PIXEL(shot, 28, 8, Blue);
}

TEST_F(Graphics, JpegWithoutItsEndMarkerStillLoads)
{
    const std::string jpeg = DataBytes("photo.jpg");
    ASSERT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
    WriteWholeFile(temp.file("noend.jpg"), jpeg.substr(0, jpeg.size() - 2));
    auto control = Control(32, 16);
    LoadPicture(*control, temp.file("noend.jpg"));
    EXPECT_PIXEL(Render(*control), 28, 8, Blue);
}

TEST_F(Graphics, CmykJpegBecomesRgb)
{
    auto control = Control(32, 16);
    LoadPicture(*control, Data("cmyk.jpg"));
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 4, 8, Red);
    EXPECT_PIXEL(shot, 28, 8, Blue);
}

TEST_F(Graphics, GrayscaleJpegBecomesRgb)
{
    auto control = Control(32, 16);
    LoadPicture(*control, Data("gray.jpg"));
    auto *jpeg = qobject_cast<TJPEGImage *>(control->Picture().Graphic());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_TRUE(jpeg->Grayscale());
    const QImage shot = Render(*control);
    // Red and blue in grey: about 76 and 29.
    EXPECT_PIXEL(shot, 4, 8, qRgb(76, 76, 76));
    EXPECT_PIXEL(shot, 28, 8, qRgb(29, 29, 29));
}

TEST_F(Graphics, WmfLoadsThroughLibwmfAndLeavesUnpaintedPartsTransparent)
{
    auto control = Control(64, 32);
    LoadPicture(*control, Data("metafile.wmf"));
    auto *meta = qobject_cast<TMetafile *>(control->Picture().Graphic());
    ASSERT_NE(meta, nullptr);
    EXPECT_FALSE(meta->Enhanced());
    EXPECT_EQ(meta->GetWidth(), 64);
    EXPECT_EQ(meta->GetHeight(), 32);
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 10, 10, Red);
    EXPECT_PIXEL(shot, 50, 10, Background);
}

TEST_F(Graphics, WmfTextPlaysWithTheSystemsFonts)
{
    auto control = Control(96, 32);
    LoadPicture(*control, Data("text.wmf"));
    EXPECT_EQ(control->Picture().Width(), 96);
    const QImage shot = Render(*control);
    int dark = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (qGray(shot.pixel(x, y)) < 60)
                ++dark;
    EXPECT_GT(dark, 20);
    EXPECT_PIXEL(shot, 90, 30, Background);
}

TEST_F(Graphics, EmfLoadsThroughEmf2svg)
{
    auto control = Control(64, 32);
    LoadPicture(*control, Data("metafile.emf"));
    auto *meta = qobject_cast<TMetafile *>(control->Picture().Graphic());
    ASSERT_NE(meta, nullptr);
    EXPECT_TRUE(meta->Enhanced());
    EXPECT_EQ(meta->GetWidth(), 64);
    EXPECT_EQ(meta->GetHeight(), 32);
    const QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 10, 10, Blue);
    EXPECT_PIXEL(shot, 50, 10, Background);
}

TEST_F(Graphics, ExtensionsAreComparedWithoutLetterCase)
{
    WriteWholeFile(temp.file("PIC.BMP"), DataBytes("rgb24.bmp"));
    WriteWholeFile(temp.file("photo.JpEg"), DataBytes("photo.jpg"));
    WriteWholeFile(temp.file("m.Emf"), DataBytes("metafile.emf"));
    auto control = Control(8, 6);
    LoadPicture(*control, temp.file("PIC.BMP"));
    EXPECT_NE(qobject_cast<TBitmap *>(control->Picture().Graphic()), nullptr);
    LoadPicture(*control, temp.file("photo.JpEg"));
    EXPECT_NE(qobject_cast<TJPEGImage *>(control->Picture().Graphic()), nullptr);
    LoadPicture(*control, temp.file("m.Emf"));
    EXPECT_NE(qobject_cast<TMetafile *>(control->Picture().Graphic()), nullptr);
}

TEST_F(Graphics, PathsAreBytesOfTheCodePage)
{
    // "café" in Windows-1252.
    const std::string name = temp.path() + "/caf\xE9.bmp";
    QFile file(PathFromAnsi(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const std::string bytes = DataBytes("rgb24.bmp");
    file.write(bytes.data(), qint64(bytes.size()));
    file.close();
    auto control = Control(8, 6);
    LoadPicture(*control, name);
    EXPECT_EQ(control->Picture().Width(), 8);
}

// --- bad input: fails, the control keeps its previous picture ------------------------------

class BadInput : public Graphics {
protected:
    void SetUp() override
    {
        control = Control(8, 6);
        LoadPicture(*control, Data("rgb24.bmp"));
        previous = control->Picture().Graphic();
        ASSERT_NE(previous, nullptr);
    }

    void ExpectFailureKeepsPicture(const std::string &path)
    {
        EXPECT_ANY_THROW(LoadPicture(*control, path)) << path;
        EXPECT_EQ(control->Picture().Graphic(), previous) << path;
        const QImage shot = Render(*control);
        EXPECT_PIXEL(shot, 1, 1, Red);
    }

    void ExpectBytesFail(const std::string &name, const std::string &bytes)
    {
        WriteWholeFile(temp.file(name), bytes);
        ExpectFailureKeepsPicture(temp.file(name));
    }

    std::unique_ptr<TImage> control;
    TGraphic *previous = nullptr;
};

TEST_F(BadInput, UnknownExtension)
{
    WriteWholeFile(temp.file("picture.tga"), DataBytes("rgb24.bmp"));
    WriteWholeFile(temp.file("picture"), DataBytes("rgb24.bmp"));
    try {
        LoadPicture(*control, temp.file("picture.tga"));
        FAIL() << "no exception";
    } catch (const EInvalidGraphic &e) {
        EXPECT_STREQ(e.what(), "Unknown picture file extension (.tga)");
    }
    ExpectFailureKeepsPicture(temp.file("picture.tga"));
    ExpectFailureKeepsPicture(temp.file("picture"));
    // GIF is not a built-in format: the GIF codec registers it.
    WriteWholeFile(temp.file("anim.gif"), "GIF89a");
    if (!GraphicFactoryForFile("x.gif"))
        ExpectFailureKeepsPicture(temp.file("anim.gif"));
}

TEST_F(BadInput, MissingFileAndFolder)
{
    ExpectFailureKeepsPicture(temp.file("missing.bmp"));
    ExpectFailureKeepsPicture(temp.file("missing.jpg"));
    QDir().mkpath(QString::fromStdString(temp.file("folder.bmp")));
    ExpectFailureKeepsPicture(temp.file("folder.bmp"));
    // A pipe nobody writes would block the program for good; a device would never end.
    ::alarm(20);
    ASSERT_EQ(::mkfifo(temp.file("pipe.gif").c_str(), 0600), 0);
    ExpectFailureKeepsPicture(temp.file("pipe.gif"));
    ExpectFailureKeepsPicture("/dev/zero");
    ::alarm(0);
}

TEST_F(BadInput, EmptyFiles)
{
    for (const char *name : {"e.bmp", "e.ico", "e.wmf", "e.emf", "e.jpg", "e.jpeg"})
        ExpectBytesFail(name, "");
}

TEST_F(BadInput, ContentOfAnotherFormat)
{
    ExpectBytesFail("jpeg.bmp", DataBytes("photo.jpg"));
    ExpectBytesFail("bmp.jpg", DataBytes("rgb24.bmp"));
    ExpectBytesFail("bmp.jpeg", DataBytes("pal8.bmp"));
    ExpectBytesFail("jpeg.ico", DataBytes("photo.jpg"));
    ExpectBytesFail("ico.bmp", DataBytes("icon.ico"));
    ExpectBytesFail("bmp.wmf", DataBytes("rgb24.bmp"));
    ExpectBytesFail("jpeg.emf", DataBytes("photo.jpg"));
    ExpectBytesFail("wmf.jpg", DataBytes("metafile.wmf"));
    ExpectBytesFail("emf.ico", DataBytes("metafile.emf"));
    ExpectBytesFail("text.bmp", "This is not a picture at all, just some text.\n");
}

TEST_F(BadInput, TruncatedFiles)
{
    for (const char *name : {"rgb24.bmp", "pal8.bmp", "pal4.bmp", "icon.ico", "photo.jpg", "metafile.wmf", "metafile.emf"}) {
        const std::string bytes = DataBytes(name);
        ExpectBytesFail(std::string("half_") + name, bytes.substr(0, bytes.size() / 2));
        ExpectBytesFail(std::string("head_") + name, bytes.substr(0, 10));
    }
    // A JPEG cut just before its end-of-image marker still has all its rows.
    const std::string jpeg = DataBytes("photo.jpg");
    ExpectBytesFail("cut.jpg", jpeg.substr(0, jpeg.size() - 40));
}

TEST_F(BadInput, HugeBmpHeader)
{
    // 30000 x 30000 at 24 bits, but only the headers: refused before any pixel memory.
    std::string bmp = DataBytes("rgb24.bmp").substr(0, 54);
    auto put32 = [&](size_t at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    put32(18, 30000);
    put32(22, 30000);
    put32(2, 54 + 30000u * 90000u);
    put32(34, 30000u * 90000u);
    ExpectBytesFail("huge.bmp", bmp);
    bmp += std::string(4096, '\x7f');
    ExpectBytesFail("huge2.bmp", bmp);
    put32(22, quint32(-30000));   // top-down
    ExpectBytesFail("huge3.bmp", bmp);
}

TEST_F(BadInput, HugeJpegHeader)
{
    std::string jpeg = DataBytes("photo.jpg");
    const size_t sof = jpeg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    // SOF0: marker, length (2), precision (1), height (2), width (2).
    jpeg[sof + 5] = char(0x75);
    jpeg[sof + 6] = char(0x30);
    jpeg[sof + 7] = char(0x75);
    jpeg[sof + 8] = char(0x30);
    ExpectBytesFail("huge.jpg", jpeg);
}

namespace {
quint32 Crc32(const std::string &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string Be32(quint32 v)
{
    return {char(v >> 24), char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)};
}

std::string Le(quint32 v, int bytes)
{
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s += char((v >> (8 * i)) & 0xFF);
    return s;
}
} // namespace

TEST_F(BadInput, HugeIconHeader)
{
    // An icon whose one image is a PNG of 30000 x 30000 (the directory entry says 0, i.e. 256).
    std::string ihdr = "IHDR" + Be32(30000) + Be32(30000) + std::string("\x08\x06\x00\x00\x00", 5);
    std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + Be32(13) + ihdr + Be32(Crc32(ihdr));
    const std::string idat = "IDAT" + std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);
    png += Be32(8) + idat + Be32(Crc32(idat));
    png += Be32(0) + "IEND" + Be32(Crc32("IEND"));
    std::string ico = Le(0, 2) + Le(1, 2) + Le(1, 2);
    ico += std::string("\x00\x00\x00\x00", 4) + Le(1, 2) + Le(32, 2) + Le(quint32(png.size()), 4) + Le(22, 4);
    ico += png;
    ExpectBytesFail("huge.ico", ico);
}

TEST_F(BadInput, CorruptJpegData)
{
    std::string jpeg = DataBytes("photo.jpg");
    const size_t sos = jpeg.find("\xFF\xDA");
    ASSERT_NE(sos, std::string::npos);
    // Break the Huffman table reference of the scan header and garble the tables.
    const size_t dht = jpeg.find("\xFF\xC4");
    ASSERT_NE(dht, std::string::npos);
    for (size_t i = dht + 4; i < dht + 24 && i < jpeg.size(); ++i)
        jpeg[i] = char(0xFF);
    ExpectBytesFail("corrupt.jpg", jpeg);
}

TEST_F(BadInput, HugeMetafileHeaders)
{
    std::string wmf = DataBytes("metafile.wmf");
    // Placeable bounding box 30000 x 30000 at 96 units per inch.
    wmf[10] = char(0x30);
    wmf[11] = char(0x75);
    wmf[12] = char(0x30);
    wmf[13] = char(0x75);
    ExpectBytesFail("huge.wmf", wmf);
    std::string emf = DataBytes("metafile.emf");
    // Frame 2,000,000 x 2,000,000 hundredths of a millimetre.
    for (size_t at : {32u, 36u}) {
        const quint32 v = 2000000;
        for (int i = 0; i < 4; ++i)
            emf[at + i] = char((v >> (8 * i)) & 0xFF);
    }
    ExpectBytesFail("huge.emf", emf);
}

// --- drawing: stretched, own size, centred, transparency ----------------------------------

TEST_F(Graphics, StretchFillsTheControlOwnSizeStartsTopLeft)
{
    auto control = Control(80, 60);
    LoadPicture(*control, Data("rgb24.bmp"));
    QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 2, 2, Red);
    EXPECT_PIXEL(shot, 6, 2, Blue);
    EXPECT_PIXEL(shot, 20, 20, Background);
    EXPECT_PIXEL(shot, 70, 50, Background);
    EXPECT_EQ(control->DestRect(), QRect(0, 0, 8, 6));

    control->SetStretch(true);
    shot = Render(*control);
    EXPECT_PIXEL(shot, 10, 10, Red);
    EXPECT_PIXEL(shot, 35, 55, Red);
    EXPECT_PIXEL(shot, 45, 5, Blue);
    EXPECT_PIXEL(shot, 79, 59, Blue);
    EXPECT_EQ(control->DestRect(), QRect(0, 0, 80, 60));

    control->SetStretch(false);
    control->SetCenter(true);
    shot = Render(*control);
    EXPECT_EQ(control->DestRect(), QRect(36, 27, 8, 6));
    EXPECT_PIXEL(shot, 2, 2, Background);
    EXPECT_PIXEL(shot, 37, 28, Red);
    EXPECT_PIXEL(shot, 42, 28, Blue);
}

TEST_F(Graphics, MetafilesStretchAsVectors)
{
    auto control = Control(200, 100);
    control->SetStretch(true);
    LoadPicture(*control, Data("metafile.wmf"));
    QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 20, 80, Red);
    EXPECT_PIXEL(shot, 95, 50, Red);
    EXPECT_PIXEL(shot, 110, 50, Background);
    LoadPicture(*control, Data("metafile.emf"));
    shot = Render(*control);
    EXPECT_PIXEL(shot, 20, 80, Blue);
    EXPECT_PIXEL(shot, 150, 50, Background);
}

TEST_F(Graphics, TransparentBitmapShowsTheBackgroundInItsTransparentColour)
{
    auto control = Control(8, 6);
    LoadPicture(*control, Data("rgb24.bmp"));
    EXPECT_FALSE(control->Picture().Graphic()->GetTransparent());
    QImage shot = Render(*control);
    EXPECT_PIXEL(shot, 1, 1, Red);
    // The bottom-left pixel (red) is the transparent colour.
    control->SetTransparent(true);
    EXPECT_TRUE(control->Picture().Graphic()->GetTransparent());
    shot = Render(*control);
    EXPECT_PIXEL(shot, 1, 1, Background);
    EXPECT_PIXEL(shot, 6, 1, Blue);
    // A picture loaded later takes the control's setting too.
    LoadPicture(*control, Data("pal8.bmp"));
    EXPECT_TRUE(control->Picture().Graphic()->GetTransparent());
    shot = Render(*control);
    EXPECT_PIXEL(shot, 1, 1, Background);
    EXPECT_PIXEL(shot, 6, 1, Blue);
    // A fixed transparent colour.
    auto &bitmap = static_cast<TBitmap &>(*control->Picture().Graphic());
    bitmap.SetTransparentColor(Blue);
    shot = Render(*control);
    EXPECT_PIXEL(shot, 1, 1, Red);
    EXPECT_PIXEL(shot, 6, 1, Background);
    control->SetTransparent(false);
    shot = Render(*control);
    EXPECT_PIXEL(shot, 6, 1, Blue);
}

TEST_F(Graphics, ControlRepaintsWhenTheGraphicChanges)
{
    auto control = Control(8, 6);
    LoadPicture(*control, Data("rgb24.bmp"));
    control->show();
    QApplication::processEvents();
    int paints = 0;
    struct Counter : QObject {
        int *count;
        explicit Counter(int *c) : count(c) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                ++*count;
            return false;
        }
    } counter(&paints);
    control->installEventFilter(&counter);
    auto &bitmap = static_cast<TBitmap &>(*control->Picture().Graphic());
    {
        auto canvas = bitmap.Canvas();
        canvas->Painter().fillRect(QRect(0, 0, 8, 6), QColor(Lime));
    }
    QApplication::processEvents();
    EXPECT_GE(paints, 1);
    EXPECT_PIXEL(Render(*control), 1, 1, Lime);
    control->removeEventFilter(&counter);
}

TEST_F(Graphics, ProgressIsPassedOnByTheControl)
{
    auto control = Control(8, 6);
    LoadPicture(*control, Data("rgb24.bmp"));
    int calls = 0;
    QString text;
    QObject::connect(control.get(), &TImage::progress,
                     [&](TGraphic *, TProgressStage, int percent, bool, const QRect &, const QString &message) {
                         ++calls;
                         text = message;
                         EXPECT_EQ(percent, 50);
                     });
    control->Picture().Graphic()->Progress(TProgressStage::Running, 50, true, QRect(), "Loading...");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(text, QStringLiteral("Loading..."));
}

// --- the registry: how the GIF codec adds its class ---------------------------------------

namespace {
// A stand-in for a codec's picture class: a 4 x 4 square of the colour in its file.
class TSquare : public TGraphic {
public:
    bool GetEmpty() const override { return !loaded; }
    int GetWidth() const override { return 4; }
    int GetHeight() const override { return 4; }
    void Draw(TCanvas &canvas, const QRect &rect) override { canvas.FillRect(rect, colour); }
    void LoadFromStream(QIODevice &stream) override
    {
        const QByteArray data = stream.readAll();
        if (!data.startsWith("SQUARE "))
            throw EInvalidGraphic("not a square");
        colour = 0xFF000000u | data.mid(7).trimmed().toUInt(nullptr, 16);
        loaded = true;
        Changed();
    }
    void SaveToStream(QIODevice &) override {}
    QRgb colour = 0;
    bool loaded = false;
};
} // namespace

TEST_F(Graphics, ACodecRegistersItsExtension)
{
    RegisterFileFormat("SQR", "Square", [] { return std::make_unique<TSquare>(); });
    EXPECT_EQ(FileFormatDescription("sqr"), "Square");
    WriteWholeFile(temp.file("a.Sqr"), "SQUARE 0000ff\n");
    auto control = Control(10, 10);
    control->SetStretch(true);
    LoadPicture(*control, temp.file("a.Sqr"));
    EXPECT_PIXEL(Render(*control), 5, 5, Blue);
    WriteWholeFile(temp.file("b.sqr"), "garbage");
    EXPECT_THROW(LoadPicture(*control, temp.file("b.sqr")), EInvalidGraphic);
    EXPECT_PIXEL(Render(*control), 5, 5, Blue);
    UnregisterFileFormat("sqr");
    EXPECT_THROW(LoadPicture(*control, temp.file("a.Sqr")), EInvalidGraphic);
}

// --- the classes behind the loader ---------------------------------------------------------

TEST(Bitmap, PixelFormatsPalettesAndScanlines)
{
    TBitmap bitmap(5, 3, TPixelFormat::pf8bit);
    EXPECT_EQ(bitmap.GetPalette().size(), 256);
    bitmap.SetPalette({Red, Blue});
    EXPECT_EQ(bitmap.GetPalette().size(), 2);
    bitmap.ScanLine(1)[2] = 1;
    EXPECT_EQ(bitmap.Pixel(2, 1) & 0xFFFFFF, Blue & 0xFFFFFF);
    EXPECT_EQ(bitmap.Pixel(0, 0) & 0xFFFFFF, Red & 0xFFFFFF);

    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    EXPECT_EQ(bitmap.GetPalette().size(), 0);
    EXPECT_EQ(bitmap.ScanLine(1)[3 * 2], 255);   // blue byte first
    EXPECT_EQ(bitmap.ScanLine(1)[3 * 2 + 2], 0);

    bitmap.SetPixelFormat(TPixelFormat::pf1bit);
    EXPECT_EQ(bitmap.GetPalette().size(), 2);
    bitmap.SetPalette({Black, White});
    bitmap.SetPixelIndex(4, 2, 1);
    EXPECT_EQ(bitmap.ScanLine(2)[0] & 0x08, 0x08);   // most significant bit first

    bitmap.SetPixelFormat(TPixelFormat::pf4bit);
    EXPECT_LE(bitmap.GetPalette().size(), 16);
    bitmap.SetPixelFormat(TPixelFormat::pf32bit);
    EXPECT_EQ(TBitmap::BitsPerPixel(bitmap.PixelFormat()), 32);
    EXPECT_EQ(bitmap.BytesPerLine(), 20);

    bitmap.SetSize(7, 4);
    EXPECT_EQ(bitmap.GetWidth(), 7);
    EXPECT_EQ(bitmap.GetHeight(), 4);
    EXPECT_THROW(bitmap.SetSize(30000, 30000), EInvalidGraphic);
    EXPECT_EQ(bitmap.GetWidth(), 7);
    EXPECT_THROW(bitmap.ScanLine(4), EInvalidGraphic);
}

TEST(Bitmap, PaletteSetBeforeTheSizeIsKept)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf8bit);
    bitmap.SetPalette({Blue, Red});
    bitmap.SetSize(3, 3);
    EXPECT_EQ(bitmap.GetPalette().size(), 2);
    EXPECT_EQ(bitmap.Pixel(1, 1) & 0xFFFFFF, Blue & 0xFFFFFF);
}

TEST(Bitmap, CanvasDrawsInThePaletteAndReportsAChange)
{
    TBitmap bitmap(4, 4, TPixelFormat::pf8bit);
    bitmap.SetPalette({Black, Red, Blue});
    int changes = 0;
    QObject::connect(&bitmap, &TGraphic::changed, [&](TGraphic *) { ++changes; });
    {
        auto canvas = bitmap.Canvas();
        EXPECT_THROW(bitmap.Canvas(), Exception);
        canvas->Painter().fillRect(QRect(2, 0, 2, 4), QColor(qRgb(250, 10, 5)));
    }
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bitmap.PixelIndex(0, 0), 0);
    EXPECT_EQ(bitmap.PixelIndex(3, 3), 1);
}

TEST(Bitmap, MaskFromTransparentColourAlphaOrExplicit)
{
    TBitmap bitmap(4, 2, TPixelFormat::pf32bit);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            bitmap.SetPixel(x, y, qRgba(1, 2, 3, 255));
    bitmap.SetPixel(0, 0, qRgba(0, 0, 0, 0));
    bitmap.SetPixel(1, 0, qRgba(9, 9, 9, 255));
    bitmap.SetTransparentColor(qRgb(9, 9, 9));
    QImage mask = bitmap.Mask();
    EXPECT_EQ(mask.format(), QImage::Format_Mono);
    EXPECT_EQ(mask.pixelIndex(0, 0), 1);
    EXPECT_EQ(mask.pixelIndex(1, 0), 1);
    EXPECT_EQ(mask.pixelIndex(2, 0), 0);
    QImage own(4, 2, QImage::Format_Mono);
    own.fill(0);
    own.setPixel(3, 1, 1);
    bitmap.SetMask(own);
    EXPECT_EQ(bitmap.Mask().pixelIndex(3, 1), 1);
    EXPECT_EQ(bitmap.Mask().pixelIndex(0, 0), 0);
}

TEST(Bitmap, BmpRoundTripKeepsFormatAndPixels)
{
    for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf24bit,
                                TPixelFormat::pf32bit}) {
        TBitmap bitmap(9, 5, format);
        if (format == TPixelFormat::pf4bit || format == TPixelFormat::pf8bit)
            bitmap.SetPalette({Black, White, Red});
        if (format == TPixelFormat::pf32bit)
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 9; ++x)
                    bitmap.SetPixel(x, y, qRgba(0, 0, 0, 255));
        bitmap.SetPixel(3, 2, White);
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        bitmap.SaveToStream(buffer);
        buffer.seek(0);
        TBitmap copy;
        copy.LoadFromStream(buffer);
        EXPECT_EQ(copy.PixelFormat(), format);
        EXPECT_EQ(copy.GetWidth(), 9);
        EXPECT_EQ(copy.GetHeight(), 5);
        EXPECT_EQ(copy.Pixel(3, 2) & 0xFFFFFF, White & 0xFFFFFF);
        EXPECT_EQ(copy.Pixel(0, 0) & 0xFFFFFF, Black & 0xFFFFFF);
    }
}

TEST(Bitmap, AssignDrawsOtherGraphics)
{
    RegisterBuiltInFormats();
    TIcon icon;
    icon.LoadFromFile(Data("icon.ico"));
    TBitmap bitmap;
    bitmap.Assign(icon);
    EXPECT_EQ(bitmap.GetWidth(), 16);
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_TRUE(bitmap.GetTransparent());
    EXPECT_EQ(bitmap.Mask().pixelIndex(12, 2), 1);
    EXPECT_EQ(bitmap.Pixel(2, 2) & 0xFFFFFF, Lime & 0xFFFFFF);
    TMetafile meta;
    meta.LoadFromFile(Data("metafile.emf"));
    bitmap.Assign(meta);
    EXPECT_EQ(bitmap.GetWidth(), 64);
    EXPECT_TRUE(Near(bitmap.Pixel(10, 10), Blue));
    EXPECT_EQ(qAlpha(bitmap.Pixel(50, 10)), 0);
}

TEST(JPEGImage, SaveAndLoadAgain)
{
    TJPEGImage jpeg;
    QImage picture(24, 8, QImage::Format_RGB32);
    picture.fill(Red);
    jpeg.SetImage(picture);
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    jpeg.SaveToStream(buffer);
    EXPECT_TRUE(buffer.data().startsWith("\xFF\xD8"));
    buffer.seek(0);
    TJPEGImage copy;
    copy.LoadFromStream(buffer);
    EXPECT_EQ(copy.GetWidth(), 24);
    EXPECT_TRUE(Near(copy.Image().pixel(12, 4), Red));
}

TEST(Picture, HolderKeepsItsGraphicAfterAFailureAndCopies)
{
    RegisterBuiltInFormats();
    TPicture picture;
    int changes = 0;
    QObject::connect(&picture, &TPicture::changed, [&](TPicture *) { ++changes; });
    picture.LoadFromFile(Data("photo.jpg"));
    EXPECT_EQ(changes, 1);
    TGraphic *before = picture.Graphic();
    EXPECT_THROW(picture.LoadFromFile(Data("nothing.jpg")), EFOpenError);
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(changes, 1);
    TPicture copy;
    copy.Assign(picture);
    ASSERT_NE(copy.Graphic(), nullptr);
    EXPECT_NE(copy.Graphic(), picture.Graphic());
    EXPECT_EQ(copy.Width(), 32);
    TBitmap &bitmap = copy.Bitmap();
    EXPECT_TRUE(bitmap.GetEmpty());
    EXPECT_EQ(copy.Graphic(), &bitmap);
}

// Damaged files of every format either load or fail with an exception; none ends the program.
TEST_F(Graphics, DamagedFilesLoadOrFailButNeverCrash)
{
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    auto control = Control(16, 16);
    for (const char *name : {"rgb24.bmp", "pal8.bmp", "pal4.bmp", "mono1.bmp", "icon.ico", "photo.jpg", "gray.jpg",
                             "metafile.wmf", "metafile.emf"}) {
        const std::string original = DataBytes(name);
        const std::string ext = std::string(name).substr(std::string(name).find('.'));
        for (int round = 0; round < 120; ++round) {
            std::string bytes = original;
            const int changes = 1 + int(next() % 6);
            for (int c = 0; c < changes; ++c) {
                const size_t at = next() % bytes.size();
                switch (next() % 4) {
                case 0:
                    bytes[at] = char(bytes[at] ^ (1 << (next() % 8)));
                    break;
                case 1:
                    bytes[at] = char(next());
                    break;
                case 2:
                    bytes[at] = char(0xFF);
                    break;
                default:
                    bytes.resize(std::max<size_t>(1, at));
                    break;
                }
            }
            const std::string path = temp.file("damaged" + ext);
            WriteWholeFile(path, bytes);
            try {
                LoadPicture(*control, path);
                (void)Render(*control);
            } catch (const Exception &) {
            }
        }
    }
    SUCCEED();
}
