// Picture files made to hang or exhaust a decoder: each is refused, with a clear message, in a
// bounded time, and the window that wanted to show it carries on.
#include "platform/JPEGImage.h"
#include "platform/Metafile.h"
#include "platform/MetafileRecords.h"
#include "support/MainWindowFixture.h"

#include <QBuffer>
#include <QTest>

#include <chrono>
#include <csetjmp>
#include <unistd.h>

#include <jpeglib.h>

namespace {

void Put16(QByteArray &out, int value) { out.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF)); }
void Put32(QByteArray &out, qint64 value)
{
    Put16(out, int(value & 0xFFFF));
    Put16(out, int((value >> 16) & 0xFFFF));
}

// A placeable Windows metafile, 100 x 100 at 1440 units per inch, of these records.
QByteArray Wmf(const QByteArray &records)
{
    QByteArray placeable;
    Put32(placeable, 0x9AC6CDD7);
    for (int value : {0, 0, 0, 100, 100, 1440, 0, 0})
        Put16(placeable, value);
    int checksum = 0;
    for (int i = 0; i < 20; i += 2)
        checksum ^= uchar(placeable[i]) | uchar(placeable[i + 1]) << 8;
    Put16(placeable, checksum);
    const QByteArray end("\x03\x00\x00\x00\x00\x00", 6);   // META_EOF
    QByteArray header;
    for (int value : {1, 9, 0x0300})
        Put16(header, value);
    Put32(header, (18 + records.size() + end.size()) / 2);
    Put16(header, 1);
    Put32(header, 100);
    Put16(header, 0);
    return placeable + header + records + end;
}

// An enhanced metafile whose frame is 1000 x 1000 pixels, of these records.
QByteArray Emf(const QByteArray &records)
{
    const QByteArray end("\x0E\0\0\0\x14\0\0\0\0\0\0\0\x10\0\0\0\x14\0\0\0", 20);   // EMR_EOF
    QByteArray header;
    for (int value : {1, 88, 0, 0, 999, 999, 0, 0, 26458, 26458, 0x464D4520, 0x10000})
        Put32(header, value);
    Put32(header, 88 + records.size() + end.size());
    Put32(header, 3);
    for (int value : {1, 0, 0, 0, 1920, 1080, 508, 286})
        Put32(header, value);
    return header + records + end;
}

// EMR_POLYGON through these points.
QByteArray EmfPolygon(const std::vector<QPoint> &points)
{
    QByteArray record;
    const qint64 count = qint64(points.size());
    for (qint64 value : {3LL, 28 + 8 * count, 0LL, 0LL, 999LL, 999LL, count})
        Put32(record, value);
    for (const QPoint &p : points) {
        Put32(record, p.x());
        Put32(record, p.y());
    }
    return record;
}

// META_DIBCREATEPATTERNBRUSH whose bitmap gives its own header size as 0: libwmf reads such a
// header for ever.
QByteArray PatternBrushWithoutHeaderSize() { return QByteArray("\x30\0\0\0\x42\x01\x05\0\0\0", 10) + QByteArray(86, '\0'); }

// A grey 64 x 64 JPEG written with the given scans.
QByteArray Jpeg(const std::vector<jpeg_scan_info> &scans)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = cinfo.image_height = 64;
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    cinfo.scan_info = scans.data();
    cinfo.num_scans = int(scans.size());
    jpeg_start_compress(&cinfo, TRUE);
    unsigned char row[64];
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x)
            row[x] = (unsigned char)(x * 4 ^ y * 3);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

// Loads the bytes into a graphic; the message it was refused with ("" when it loaded), and
// how long that took.
template <class Graphic>
std::string Refusal(const QByteArray &bytes, double &seconds)
{
    const auto start = std::chrono::steady_clock::now();
    Graphic graphic;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    std::string message;
    try {
        graphic.LoadFromStream(buffer);
    } catch (const EInvalidGraphic &error) {
        message = error.what();
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return message;
}

// Today's failure would be a hang: the test ends with a failure instead.
class Deadline {
public:
    Deadline() { ::alarm(120); }
    ~Deadline() { ::alarm(0); }
};

} // namespace

TEST(HostilePictures, AMetafileBitmapWithoutAHeaderSizeIsRefusedAtOnce)
{
    const Deadline deadline;
    double seconds = 0;
    const QByteArray wmf = Wmf(PatternBrushWithoutHeaderSize());
    ASSERT_EQ(wmf.size(), 142);
    EXPECT_EQ(Refusal<TMetafile>(wmf, seconds), "Metafile is not valid");
}

TEST(HostilePictures, ADrawingThatTakesTooLongIsStopped)
{
    const Deadline deadline;
    // 20,000 points zigzagging over the whole height: Qt needs minutes to fill it.
    std::vector<QPoint> zigzag;
    for (int i = 0; i < 20000; ++i)
        zigzag.emplace_back(i / 20, i % 2 ? 0 : 999);
    double seconds = 0;
    EXPECT_EQ(Refusal<TMetafile>(Emf(EmfPolygon(zigzag)), seconds), "The picture takes too long to decode");
    EXPECT_LT(seconds, DecoderWallSeconds + 5.0);
}

TEST(HostilePictures, MetafilesBeyondTheirBudgetAreRefused)
{
    double seconds = 0;
    const std::vector<QPoint> many(size_t(MaxMetafilePoints) + 1, QPoint(1, 1));
    EXPECT_EQ(Refusal<TMetafile>(Emf(EmfPolygon(many)), seconds), "Metafile has too many points (more than 250000)");
    QByteArray records;
    for (int i = 0; i <= MaxMetafileRecords; ++i)
        records += QByteArray("\x04\0\0\0\x02\x01\x01\0", 8);   // META_SETBKMODE
    EXPECT_EQ(Refusal<TMetafile>(Wmf(records), seconds), "Metafile has too many records (more than 250000)");
}

TEST(HostilePictures, AJpegOfTooManyScansIsRefused)
{
    // A DC scan, then every coefficient on its own, in two steps of precision: 127 scans.
    std::vector<jpeg_scan_info> scans{{1, {0}, 0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0}, k, k, 0, 1});
        scans.push_back({1, {0}, k, k, 1, 0});
    }
    double seconds = 0;
    EXPECT_EQ(Refusal<TJPEGImage>(Jpeg(scans), seconds), "JPEG image has too many scans (more than 100)");
    scans.resize(100);
    EXPECT_EQ(Refusal<TJPEGImage>(Jpeg(scans), seconds), "");
}

using HostilePreview = MainWindowTest;

TEST_F(HostilePreview, TheWindowSaysItCannotShowThePictureAndGoesOn)
{
    const Deadline deadline;
    const QByteArray wmf = Wmf(PatternBrushWithoutHeaderSize());
    WriteWholeFile(DeckPath("hostile.wmf"), wmf.toStdString());
    TF_Main &w = StartWith(DeckLine("trap", "2", "", DeckPath("hostile.wmf")) + DeckLine("word", "2"));
    const auto items = w.ListBox1->findItems("trap", Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    QTest::mouseClick(w.ListBox1->viewport(), Qt::LeftButton, {}, w.ListBox1->visualItemRect(items.first()).center());
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"Unable to load graphic."});
    EXPECT_TRUE(w.L_UnableV->isVisibleTo(&w));
    EXPECT_EQ(w.T_word->text(), "trap");
}
