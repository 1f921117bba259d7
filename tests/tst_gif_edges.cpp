// The codec's edge cases, grouped by what they exercise.
#include "tst_gif_helpers.h"
#include "support/TinyDisk.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <numeric>

using namespace giftest;

namespace {

struct Decoded {
    std::vector<uint8_t> pixels;
    std::vector<std::string> warnings;
    std::string error;
    qint64 pos = 0;
};

// Runs the LZW decoder on data (code size byte and sub-blocks, plus anything after).
Decoded Decode(const QByteArray &data, int width, int height, bool interlaced = false, uint8_t fill = 0)
{
    Decoded d;
    d.pixels.assign(size_t(width) * height + 16, fill);
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    try {
        DecodeLZW(buffer, d.pixels.data(), width, height, interlaced, fill,
                  [&](const std::string &m) { d.warnings.push_back(m); });
    } catch (const GIFException &e) {
        d.error = e.what();
    }
    d.pixels.resize(size_t(width) * height);
    d.pos = buffer.pos();
    return d;
}

// Reads the codes of encoded data with the decoder's width rules.
struct Parsed {
    std::vector<int> codes, widths;
    std::vector<int> nextCodeAtClear;   // the decoder's NextCode when each clear code arrived
};

Parsed ParseCodes(const QByteArray &data)
{
    Parsed p;
    const int minSize = uint8_t(data[0]);
    QByteArray bytes;
    int i = 1;
    while (i < data.size()) {
        const int n = uint8_t(data[i]);
        if (n == 0)
            break;
        bytes.append(data.mid(i + 1, n));
        i += 1 + n;
    }
    const int cc = 1 << minSize;
    int size = minSize + 1, next = cc + 2, limit = 2 * cc;
    bool first = true;
    uint64_t bits = 0;
    int count = 0, at = 0;
    for (;;) {
        while (count < size && at < bytes.size()) {
            bits |= uint64_t(uint8_t(bytes[at++])) << count;
            count += 8;
        }
        if (count < size)
            break;
        const int c = int(bits & ((1u << size) - 1));
        bits >>= size;
        count -= size;
        p.codes.push_back(c);
        p.widths.push_back(size);
        if (c == cc) {
            p.nextCodeAtClear.push_back(next);
            size = minSize + 1;
            next = cc + 2;
            limit = 2 * cc;
            first = true;
            continue;
        }
        if (c == cc + 1)
            break;
        if (first) {
            first = false;
            continue;
        }
        if (next <= 4095) {
            ++next;
            if (next >= limit && limit <= 4095) {
                limit *= 2;
                ++size;
            }
        }
    }
    return p;
}

// Rows in the four-pass interlaced order.
std::vector<int> InterlaceOrder(int height)
{
    std::vector<int> rows;
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass])
            rows.push_back(y);
    return rows;
}

QByteArray OnePixelFile(int pixel = 1)
{
    QByteArray f = Header(1, 1, 1);
    f.append(Descriptor(0, 0, 1, 1));
    f.append(ImageData(2, {{4, 3}, {pixel, 3}, {5, 3}}));
    f.append(';');
    return f;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Signatures and version characters

TEST(GIFSignatures, FourBytesOfAnythingBeforeAValidFileAreSkipped)
{
    QByteArray f = "JUNK" + OnePixelFile();
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "");
    ASSERT_EQ(l.image->Images().Count(), 1);
    EXPECT_EQ(l.image->Images()[0]->Data()[0], 1);
}

TEST(GIFSignatures, AnyLetterCaseIsAccepted)
{
    QByteArray f = OnePixelFile();
    f[0] = 'g';
    f[2] = 'f';
    EXPECT_EQ(LoadBytes(f).error, "");
}

TEST(GIFSignatures, InvalidSignatureRaisesAndLeavesTheStreamWhereItWas)
{
    QByteArray f = "xyz" + QByteArray("JIF89a") + OnePixelFile().mid(6);
    Loaded l = LoadBytes(f, 3);
    EXPECT_EQ(l.error, "Invalid GIF signature");
    EXPECT_EQ(l.endPos, 3);
    EXPECT_EQ(LoadBytes(QByteArray("GI")).error, "Invalid GIF signature");
    EXPECT_EQ(LoadBytes(QByteArray()).error, "Invalid GIF signature");
}

TEST(GIFSignatures, AnyVersionCharactersLoadLike89a)
{
    QByteArray f = OnePixelFile();
    f.replace(3, 3, "x!7");
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(l.image->Header().Version, "x!7");
    EXPECT_EQ(l.image->Images().Count(), 1);
}

// ---------------------------------------------------------------------------------------
// Blocks: unknown blocks, zero bytes, trailers

TEST(GIFBlocks, UnknownBlockEndsTheFrameListWithTwoWarnings)
{
    QByteArray f = OnePixelFile();
    f.chop(1);
    f.append("X;");
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(l.image->Images().Count(), 1);
    EXPECT_EQ(l.warnings, (std::vector<std::string>{"Unknown GIF block type", "Invalid Image trailer"}));
}

TEST(GIFBlocks, ZeroBytesBetweenBlocksAreSkipped)
{
    QByteArray f = Header(1, 1, 1);
    f.append(QByteArray(3, '\0'));
    f.append(Descriptor(0, 0, 1, 1));
    f.append(ImageData(2, {{4, 3}, {1, 3}, {5, 3}}));
    f.append(QByteArray(5, '\0'));
    f.append(Descriptor(0, 0, 1, 1));
    f.append(ImageData(2, {{4, 3}, {2, 3}, {5, 3}}));
    f.append(QByteArray(2, '\0'));
    f.append(';');
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(l.warnings, std::vector<std::string>{});
    ASSERT_EQ(l.image->Images().Count(), 2);
    EXPECT_EQ(l.image->Images()[1]->Data()[0], 2);
}

TEST(GIFBlocks, MissingTrailerIsAcceptedSilentlyAndAWrongOneWarns)
{
    QByteArray f = OnePixelFile();
    f.chop(1);
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(l.warnings, std::vector<std::string>{});
    EXPECT_EQ(l.image->Images().Count(), 1);
    // Zero bytes at the end are skipped too.
    Loaded z = LoadBytes(f + QByteArray(4, '\0'));
    EXPECT_EQ(z.warnings, std::vector<std::string>{});
}

TEST(GIFBlocks, CommentOnlyFrameIsKeptAndWrittenBackWithoutImage)
{
    QByteArray f = OnePixelFile();
    f.chop(1);
    f.append("\x21\xFE\x05hello\x00;", 10);
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "");
    ASSERT_EQ(l.image->Images().Count(), 2);
    TGIFSubImage *last = l.image->Images()[1];
    EXPECT_TRUE(last->Empty());
    ASSERT_EQ(last->Extensions().Count(), 1);
    auto *comment = dynamic_cast<TGIFCommentExtension *>(last->Extensions()[0]);
    ASSERT_TRUE(comment);
    EXPECT_EQ(comment->Text, std::vector<std::string>{"hello"});
    const QByteArray saved = SaveBytes(*l.image);
    EXPECT_TRUE(saved.endsWith(QByteArray("\x21\xFE\x05hello\x00;", 10)));
    Loaded again = LoadBytes(saved);
    EXPECT_EQ(again.image->Images().Count(), 2);
}

TEST(GIFBlocks, ZeroWidthDescriptorTakesTheLogicalScreen)
{
    QByteArray f = Header(3, 2, 1);
    f.append(Descriptor(0, 0, 0, 5));
    f.append(ImageData(2, {{4, 3}, {1, 3}, {5, 3}}));
    f.append(';');
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "");
    ASSERT_EQ(l.image->Images().Count(), 1);
    EXPECT_EQ(l.image->Images()[0]->Width, 3);
    EXPECT_EQ(l.image->Images()[0]->Height, 2);
    EXPECT_EQ(l.warnings, std::vector<std::string>{"Image exceeds Logical Screen size"});
}

TEST(GIFBlocks, ShortColourTablesRaisePrematureEndOfData)
{
    QByteArray f = Header(1, 1, 7);   // 256 triples
    f.truncate(13 + 100);
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "Premature end of data");
    EXPECT_EQ(l.endPos, 0);
    QByteArray local = Header(1, 1, 1);
    local.append(Descriptor(0, 0, 1, 1, 0x83));   // 16 local triples
    local.append(QByteArray(10, '\x01'));
    EXPECT_EQ(LoadBytes(local).error, "Premature end of data");
    EXPECT_EQ(LoadBytes(QByteArray("GIF89a\x01\x00", 8)).error, "Premature end of data");
}

TEST(GIFBlocks, FramesReadBeforeAFailureStayAndTheStreamIsSetBack)
{
    QByteArray f = OnePixelFile();
    f.chop(1);
    f.append(Descriptor(0, 0, 1, 1));
    f.append(char(12));   // minimum code size 12 is refused
    f.append(QByteArray("\x01\x00\x00;", 4));
    Loaded l = LoadBytes(f, 0);
    EXPECT_EQ(l.error, "Invalid GIF data");
    EXPECT_EQ(l.endPos, 0);
    EXPECT_EQ(l.image->Images().Count(), 1);
}

TEST(GIFBlocks, HugeFramesFailWithAClearError)
{
    // Frames beyond the pixel budget of every picture format, down to a 61-byte file asking
    // for 16384 x 16383, are refused before their memory is taken; 8192 x 8192 is within it.
    for (auto [width, height] : {std::pair(65535, 65535), std::pair(16384, 16383), std::pair(8192, 8192)}) {
        QByteArray f = Header(width, height, 1);
        f.append(Descriptor(0, 0, width, height));
        f.append(ImageData(2, {{4, 3}, {1, 3}, {5, 3}}));
        f.append(';');
        Loaded l = LoadBytes(f);
        EXPECT_EQ(l.error, width == 8192 ? "" : "Image dimensions too large");
        EXPECT_EQ(l.endPos, width == 8192 ? f.size() : 0);
    }
}

// ---------------------------------------------------------------------------------------
// Model

TEST(GIFModel, APictureWithoutFramesAndOneSimpleFrameAre87a)
{
    // A file may hold no frames at all; it is written back as it was read.
    Loaded none = LoadBytes(ReadAll(TestDataDir() + "/artificial/no-frames.gif"));
    ASSERT_EQ(none.error, "");
    const QByteArray empty = SaveBytes(*none.image);
    EXPECT_EQ(empty.left(6), QByteArray("GIF87a"));
    EXPECT_TRUE(empty.endsWith(';'));
    Loaded again = LoadBytes(empty);
    EXPECT_EQ(again.image->Images().Count(), 0);
    EXPECT_EQ(again.image->GetWidth(), 1);
    Loaded l = LoadBytes(OnePixelFile());
    const QByteArray saved = SaveBytes(*l.image);
    EXPECT_EQ(saved.left(6), QByteArray("GIF87a"));
    // An extension makes it 89a.
    QByteArray withComment = QByteArray("\x21\xFE\x01x\x00", 5);
    QByteArray f = OnePixelFile();
    f.insert(13 + 12, withComment);
    Loaded c = LoadBytes(f);
    ASSERT_EQ(c.error, "");
    EXPECT_EQ(SaveBytes(*c.image).left(6), QByteArray("GIF89a"));
}

TEST(GIFModel, ColourTableOperations)
{
    TGIFImage image;
    TGIFColorMap &map = image.GlobalColorMap();
    EXPECT_EQ(map.BitsPerPixel(), 0);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(map.Add(TColor(i)), i);
    EXPECT_EQ(map.BitsPerPixel(), 8);
    EXPECT_EQ(map.Capacity(), 256);
    try {
        map.Add(0x123456);
        ADD_FAILURE() << "257th colour accepted";
    } catch (const GIFException &e) {
        EXPECT_STREQ(e.what(), "Color table overflow");
    }
    EXPECT_EQ(map.IndexOf(5), 5);
    EXPECT_EQ(map.IndexOf(0xABCDEF), -1);
    map.Delete(0);
    EXPECT_EQ(map.Count(), 255);
    EXPECT_EQ(map.Colors(0), 1u);
    EXPECT_THROW(map.Delete(255), GIFException);
    std::vector<std::string> warnings;
    image.OnCodecWarning = [&](TGIFImage &, int, const std::string &m) { warnings.push_back(m); };
    EXPECT_EQ(map.Colors(300), 1u);
    EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});
    map.Clear();
    EXPECT_THROW(map.Colors(0), GIFException);
    EXPECT_EQ(BitsForColors(1), 1);
    EXPECT_EQ(BitsForColors(2), 1);
    EXPECT_EQ(BitsForColors(3), 2);
    EXPECT_EQ(BitsForColors(17), 5);
    // Capacity grows to 16, then to multiples of 32.
    TGIFImage other;
    TGIFColorMap &m2 = other.GlobalColorMap();
    m2.Add(1);
    EXPECT_EQ(m2.Capacity(), 16);
    for (int i = 0; i < 16; ++i)
        m2.Add(TColor(i + 2));
    EXPECT_EQ(m2.Capacity(), 32);
}

TEST(GIFModel, PlaceFrameWarnsWhenTheScreenIsTooSmall)
{
    Loaded l = LoadBytes(OnePixelFile());
    TGIFSubImage *frame = l.image->Images()[0];
    frame->PlaceFrame(2, 0, 3, 1);
    EXPECT_EQ(l.image->GetWidth(), 5);
    EXPECT_EQ(l.warnings,
              (std::vector<std::string>{"Image width too small for contained frames", "Image exceeds Logical Screen size"}));
    EXPECT_EQ(frame->DataSize(), 3u);
    EXPECT_THROW(l.image->SetWidth(4), GIFException);
    EXPECT_THROW(frame->Pixels(3, 0), GIFException);
}

TEST(GIFModel, SizesBeyondSixteenBitsAreRefusedNotTruncated)
{
    Loaded l = LoadBytes(OnePixelFile());
    TGIFSubImage *frame = l.image->Images()[0];
    auto message = [](auto &&call) {
        try {
            call();
        } catch (const GIFException &e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(message([&] { frame->PlaceFrame(65000, 0, 600, 1); }), "Image dimensions too large");
    EXPECT_EQ(message([&] { frame->PlaceFrame(0, 65535, 1, 1); }), "Image dimensions too large");
    EXPECT_EQ(message([&] { frame->PlaceFrame(-1, 0, 1, 1); }), "Invalid image dimensions");
    EXPECT_EQ(message([&] { l.image->SetWidth(70000); }), "Image dimensions too large");
    EXPECT_EQ(message([&] { l.image->SetHeight(-5); }), "Invalid image dimensions");
    EXPECT_EQ(std::make_tuple(frame->Left, frame->Width, l.image->GetWidth()), std::make_tuple(0, 1, 1));
    frame->PlaceFrame(65534, 0, 1, 1);   // the largest place there is
    EXPECT_EQ(l.image->GetWidth(), 65535);
}

TEST(GIFModel, ThePicturesMemoryIsBudgetedBeforeItIsAllocated)
{
    // Three frames of 4 pixels against budgets of 10 pixels and of 5 frames and extensions.
    QByteArray f = Header(2, 2, 1);
    for (int i = 0; i < 3; ++i) {
        f.append(GraphicControl(0, 0, 0));
        f.append(Descriptor(0, 0, 2, 2));
        f.append(ImageData(2, {{4, 3}, {1, 3}, {5, 3}}));
    }
    f.append(';');
    struct Restore {
        uint64_t pixels = GIFMaxImagePixels, items = GIFMaxImageItems;
        ~Restore()
        {
            GIFMaxImagePixels = pixels;
            GIFMaxImageItems = items;
        }
    } restore;
    GIFMaxImagePixels = 10;
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "Image dimensions too large");
    EXPECT_EQ(l.image->Images().Count(), 2);
    GIFMaxImagePixels = 12;
    EXPECT_EQ(LoadBytes(f).error, "");
    GIFMaxImageItems = 5;
    EXPECT_EQ(LoadBytes(f).error, "Image dimensions too large");
    GIFMaxImageItems = 6;
    Loaded again = LoadBytes(f);
    EXPECT_EQ(again.error, "");
    // Loading again starts a new count.
    QBuffer buffer(&f);
    buffer.open(QIODevice::ReadOnly);
    again.image->LoadFromStream(buffer);
    EXPECT_EQ(again.image->Images().Count(), 3);
}

TEST(GIFModel, AssignCopiesEverythingWithCopyingProgress)
{
    Loaded l = LoadBytes(ReadAll(TestDataDir() + "/real/animated-red-blue.gif"));
    ASSERT_EQ(l.error, "");
    TGIFImage copy;
    std::vector<std::pair<int, QString>> progress;
    // The copy borrows the source's progress event: the reports go to the source's listeners,
    // with the copy as the sender.
    auto connection = QObject::connect(l.image.get(), &TGraphic::progress,
                     [&](TGraphic *sender, TProgressStage, int percent, bool, const QRect &, const QString &message) {
                         EXPECT_EQ(sender, &copy);
                         progress.emplace_back(percent, message);
                     });
    copy.Assign(*l.image);
    ASSERT_EQ(copy.Images().Count(), 4);
    ASSERT_EQ(progress.size(), 6u);
    EXPECT_EQ(progress.front(), std::make_pair(0, QString("Copying...")));
    EXPECT_EQ(progress[1].first, 25);
    EXPECT_EQ(progress.back(), std::make_pair(100, QString("Copying...")));
    QObject::disconnect(connection);
    EXPECT_EQ(SaveBytes(copy), SaveBytes(*l.image));
}

TEST(GIFModel, SortByUsePutsTheMostUsedColoursFirst)
{
    QByteArray f = Header(4, 1, 1);   // 4 colours
    f.append(Descriptor(0, 0, 4, 1));
    f.append(Encoded({3, 3, 3, 1}, 4, 1, 2, 4));
    f.append(';');
    Loaded l = LoadBytes(f);
    ASSERT_EQ(l.error, "");
    TGIFColorMap &map = l.image->GlobalColorMap();
    const TColor c3 = map.Colors(3), c1 = map.Colors(1);
    EXPECT_TRUE(map.SortByUse());
    EXPECT_EQ(map.Count(), 2);
    EXPECT_EQ(map.Colors(0), c3);
    EXPECT_EQ(map.Colors(1), c1);
    const uint8_t *p = l.image->Images()[0]->Data();
    EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{0, 0, 0, 1}));
    EXPECT_TRUE(map.Optimized());
}

TEST(GIFModel, RegistrationPutsGifIntoThePictureLoader)
{
    RegisterGIFCodec();
    EXPECT_EQ(FileFormatDescription("gif"), "GIF Image");
    GraphicFactory factory = GraphicFactoryForFile("/x/picture.GIF");
    ASSERT_TRUE(bool(factory));
    auto graphic = factory();
    EXPECT_TRUE(dynamic_cast<TGIFImage *>(graphic.get()));
    UnregisterGIFCodec();
    EXPECT_FALSE(bool(GraphicFactoryForFile("picture.gif")));
    RegisterGIFCodec();
}

TEST(GIFModel, DrawShowsTheFirstFrame)
{
    Loaded l = LoadBytes(ReadAll(TestDataDir() + "/suite/static_nontransparent.gif"));
    ASSERT_EQ(l.error, "");
    QImage target(100, 100, QImage::Format_ARGB32);
    target.fill(Qt::white);
    {
        QPainter painter(&target);
        TCanvas canvas(painter);
        l.image->Draw(canvas, QRect(0, 0, 100, 100));
    }
    TGIFSubImage *frame = l.image->Images()[0];
    const TGIFColor c = l.image->GlobalColorMap().Entry(frame->Data()[0]);
    EXPECT_EQ(target.pixel(0, 0), qRgb(c.Red, c.Green, c.Blue));
}

TEST(GIFModel, ClipboardCarriesTheWholeFileUnderBothNames)
{
    Loaded l = LoadBytes(OnePixelFile(2));
    l.image->SaveToClipboardFormat();
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime);
    EXPECT_EQ(mime->data("GIF Image"), SaveBytes(*l.image));
    EXPECT_EQ(mime->data("image/gif"), SaveBytes(*l.image));
    TGIFImage pasted;
    pasted.LoadFromClipboardFormat();
    ASSERT_EQ(pasted.Images().Count(), 1);
    EXPECT_EQ(pasted.Images()[0]->Data()[0], 2);
    // Another program may offer only the "GIF Image" name.
    auto *other = new QMimeData;
    other->setData("GIF Image", OnePixelFile(3));
    QGuiApplication::clipboard()->setMimeData(other);
    pasted.LoadFromClipboardFormat();
    EXPECT_EQ(pasted.Images()[0]->Data()[0], 3);
}

// ---------------------------------------------------------------------------------------
// LZW decoding

TEST(GIFDecoding, OnePixelFrameDecodesAndSkipsToTheTrailer)
{
    const QByteArray data = ImageData(2, {{4, 3}, {3, 3}, {5, 3}});
    Decoded d = Decode(data + ";", 1, 1);
    EXPECT_EQ(d.pixels, std::vector<uint8_t>{3});
    EXPECT_EQ(d.warnings, std::vector<std::string>{});
    EXPECT_EQ(d.pos, data.size());
    Loaded l = LoadBytes(OnePixelFile(3));
    EXPECT_EQ(l.endPos, OnePixelFile().size());
}

TEST(GIFDecoding, InterlacedHeightsOneToNine)
{
    for (int height = 1; height <= 9; ++height) {
        SCOPED_TRACE(height);
        // Pixel i of the data is i; clear codes between pixels keep the width at 5 bits.
        std::vector<std::pair<int, int>> codes;
        for (int i = 0; i < height; ++i) {
            codes.push_back({16, 5});
            codes.push_back({i, 5});
        }
        codes.push_back({17, 5});
        Decoded d = Decode(ImageData(4, codes), 1, height, true);
        const std::vector<int> order = InterlaceOrder(height);
        for (int i = 0; i < height; ++i)
            EXPECT_EQ(d.pixels[size_t(order[size_t(i)])], i) << "data row " << i;
    }
    Decoded five = Decode(ImageData(4, {{16, 5}, {0, 5}, {16, 5}, {1, 5}, {16, 5}, {2, 5}, {16, 5}, {3, 5}, {16, 5},
                                        {4, 5}, {17, 5}}),
                          1, 5, true);
    EXPECT_EQ(five.pixels, (std::vector<uint8_t>{0, 3, 2, 4, 1}));   // rows 0, 4, 2, 1, 3
}

TEST(GIFDecoding, TruncatedDataKeepsTheFillValue)
{
    Decoded d = Decode(ImageData(2, {{4, 3}, {1, 3}, {5, 3}}), 2, 2, false, 7);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 7, 7, 7}));
    // A sub-block that claims more bytes than the stream holds.
    QByteArray cut("\x02\x0A\x8C\x02", 4);
    Decoded c = Decode(cut, 2, 2, false, 9);
    EXPECT_EQ(c.warnings.front(), "Premature end of data");
    EXPECT_EQ(c.error, "");
    // The truncated real file still loads, with the warning.
    Loaded l = LoadBytes(ReadAll(TestDataDir() + "/real/hippopotamus.interlaced.truncated.gif"));
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(l.warnings, std::vector<std::string>{"Premature end of data"});
}

TEST(GIFDecoding, DataEndsByItsEndCodeOrItsTerminator)
{
    // An end code right after the clear code ends the data: no pixels, no warning.
    Decoded none = Decode(ImageData(2, {{4, 3}, {5, 3}}) + ";", 2, 2, false, 6);
    EXPECT_EQ(none.pixels, std::vector<uint8_t>(4, 6));
    EXPECT_EQ(none.warnings, std::vector<std::string>{});
    EXPECT_EQ(none.pos, 4);
    // The terminator before the frame is full and before any end code: one warning.
    const QByteArray cutData = ImageData(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 4}});
    Decoded cut = Decode(cutData + ";", 5, 1, false, 6);
    EXPECT_EQ(cut.pixels, (std::vector<uint8_t>{1, 2, 3, 0, 6}));
    EXPECT_EQ(cut.warnings, std::vector<std::string>{"Decoder bit buffer under-run"});
    EXPECT_EQ(cut.pos, cutData.size());
    // Nothing after an end code is read, not even when the frame is not full.
    const QByteArray earlyData = ImageData(2, {{4, 3}, {1, 3}, {5, 3}});
    Decoded early = Decode(earlyData + ",", 2, 2);
    EXPECT_EQ(early.warnings, std::vector<std::string>{});
    EXPECT_EQ(early.pos, earlyData.size());
}

TEST(GIFDecoding, DataBeyondTheFrameIsSkippedWithAWarning)
{
    // Four pixels of data for a frame of two.
    const QByteArray data = Encoded({1, 2, 3, 0}, 4, 1, 2, 4);
    Decoded d = Decode(data + ",", 2, 1);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(d.warnings, std::vector<std::string>{"Excess image data"});
    EXPECT_EQ(d.pos, data.size());
    // Clear codes before the end code are not excess data.
    const QByteArray clean = ImageData(2, {{4, 3}, {1, 3}, {2, 3}, {4, 3}, {4, 3}, {5, 3}});
    EXPECT_EQ(Decode(clean, 2, 1).warnings, std::vector<std::string>{});
}

TEST(GIFDecoding, CodesSpanningManyOneByteSubBlocks)
{
    // Twelve-bit codes in sub-blocks of one byte reach over three of them.
    std::vector<uint8_t> pixels(3000);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t((i * 37) ^ (i >> 4));
    QByteArray packed = Encoded(pixels, 60, 50, 8, 256);
    QByteArray bytes;
    for (int at = 1; uint8_t(packed[at]) != 0; at += 1 + uint8_t(packed[at]))
        bytes.append(packed.mid(at + 1, uint8_t(packed[at])));
    const QByteArray data = QByteArray(1, char(8)) + SubBlocks(bytes, 1);
    Decoded d = Decode(data, 60, 50);
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.pixels, pixels);
    EXPECT_EQ(d.warnings, std::vector<std::string>{});
    EXPECT_EQ(d.pos, data.size());
}

TEST(GIFDecoding, NextCodeIsThePreviousStringPlusItsFirstPixel)
{
    // Clear, 1, then code 6 = NextCode: "1" + "1".
    // Then 2 (entry 7 = "1 1 2", the width grows to 4 bits) and code 7 = "1 1 2".
    Decoded d = Decode(ImageData(2, {{4, 3}, {1, 3}, {6, 3}, {2, 3}, {7, 4}, {5, 4}}), 7, 1);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 1, 1, 2, 1, 1, 2}));
    EXPECT_EQ(d.warnings, std::vector<std::string>{});
}

TEST(GIFDecoding, FullTableContinuesWithTwelveBitCodes)
{
    // Roots only, no clear: the table fills at 4096 entries and the width stays 12.
    std::vector<std::pair<int, int>> codes{{4, 3}};
    int size = 3, next = 6, limit = 8;
    const int total = 4300;
    std::vector<uint8_t> expected;
    for (int i = 0; i < total; ++i) {
        const int pixel = (i * 7 + i / 5) % 4;
        codes.push_back({pixel, size});
        expected.push_back(uint8_t(pixel));
        if (i > 0 && next <= 4095) {
            ++next;
            if (next >= limit && limit <= 4095) {
                limit *= 2;
                ++size;
            }
        }
    }
    EXPECT_EQ(size, 12);
    EXPECT_EQ(next, 4096);
    codes.push_back({5, 12});
    Decoded d = Decode(ImageData(2, codes), total, 1);
    EXPECT_EQ(d.pixels, expected);
    EXPECT_EQ(d.warnings, std::vector<std::string>{});
}

TEST(GIFDecoding, ClearCodeInTheMiddleResetsTableAndWidth)
{
    // Grow the width to 4 bits, clear, and go on with 3-bit codes and entries from 6 again.
    std::vector<std::pair<int, int>> codes{{4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 4}, {4, 4}, {2, 3}, {6, 3}, {5, 3}};
    Decoded d = Decode(ImageData(2, codes), 7, 1);
    EXPECT_EQ(d.pixels, (std::vector<uint8_t>{1, 2, 3, 0, 2, 2, 2}));
    EXPECT_EQ(d.warnings, std::vector<std::string>{});
}

TEST(GIFDecoding, CodeSizeAboveElevenIsRefused)
{
    Decoded d = Decode(QByteArray("\x0C\x01\x00\x00", 4), 1, 1);
    EXPECT_EQ(d.error, "Invalid GIF data");
    EXPECT_EQ(d.pos, 1);
}

TEST(GIFDecoding, SelfReferencingEntryIsCircular)
{
    Decoded d = Decode(ImageData(2, {{4, 3}, {1, 3}, {7, 3}, {7, 3}, {7, 4}, {5, 4}}), 20, 1);
    EXPECT_EQ(d.error, "Circular decoder table entry");
}

TEST(GIFDecoding, CodesBeyondTheTableRepeatThePreviousString)
{
    // Code 7 while NextCode is 6: FirstCode is pushed, then the string of OldCode.
    Decoded d = Decode(ImageData(2, {{4, 3}, {1, 3}, {7, 3}, {2, 3}, {5, 4}}), 5, 1);
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(d.pixels[0], 1);
    EXPECT_EQ(d.pixels[1], 1);
    EXPECT_EQ(d.pixels[2], 1);
}

TEST(GIFDecoding, StackOverrunsStopAsCorruptData)
{
    // 7 after the clear code, then 6: entry 6 gets prefix 7; then 1: entry 7 gets prefix 6.
    // Code 6 then walks the cycle 6, 7, 6 ... until the stack is full.
    Decoded d = Decode(ImageData(2, {{4, 3}, {7, 3}, {6, 3}, {1, 3}, {6, 4}, {5, 4}}), 64, 64);
    EXPECT_EQ(d.error, "Invalid GIF data");
}

// ---------------------------------------------------------------------------------------
// Encoding

TEST(GIFEncoding, OneColourTableStillUsesCodeSizeTwo)
{
    const QByteArray data = Encoded(std::vector<uint8_t>(10, 0), 10, 1, BitsForColors(1), 1);
    EXPECT_EQ(data[0], 2);
    Parsed p = ParseCodes(data);
    ASSERT_FALSE(p.codes.empty());
    EXPECT_EQ(p.codes[0], 4);
    EXPECT_EQ(p.widths[0], 3);
    EXPECT_EQ(p.codes.back(), 5);
    EXPECT_EQ(Decode(data, 10, 1).pixels, std::vector<uint8_t>(10, 0));
}

TEST(GIFEncoding, FramesOfAnOptimisedPictureOnTheGlobalTableAreCodedOnlyAsWideAsTheirPixels)
{
    TGIFImage image;
    for (int i = 0; i < 256; ++i)
        image.GlobalColorMap().Add(TColor(i * 0x010101));
    const std::vector<std::vector<uint8_t>> shown{{0, 1, 2, 3, 3, 2}, {5, 0, 7, 5, 0, 7}, {200, 0, 1, 0, 1, 0}};
    for (const std::vector<uint8_t> &pixels : shown) {
        auto *frame = new TGIFSubImage(&image);
        frame->PlaceFrame(0, 0, 6, 1);
        std::copy(pixels.begin(), pixels.end(), frame->Data());
        image.Add(frame);
    }
    // A plain save keeps the table's width for every frame.
    const QByteArray plain = SaveBytes(image);
    EXPECT_EQ(int(plain[13 + 768 + 10]), 8);
    image.Compact(0);
    const QByteArray bytes = SaveBytes(image);
    Loaded again = LoadBytes(bytes);
    ASSERT_EQ(again.error, "");
    ASSERT_EQ(again.image->Images().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const TGIFSubImage &frame = *again.image->Images()[i];
        EXPECT_EQ(std::vector<uint8_t>(frame.Data(), frame.Data() + frame.DataSize()), shown[size_t(i)]);
    }
    // Code size bytes after the header, the table and each 10-byte descriptor.
    const int first = 13 + 768 + 10;
    EXPECT_EQ(int(bytes[first]), 2);
    const int second = first + 1 + 1 + uint8_t(bytes[first + 1]) + 1 + 10;
    EXPECT_EQ(int(bytes[second]), 3);
}

TEST(GIFEncoding, EmptyFrameWritesOnlyTheEndCode)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EncodePixels(buffer, 2, 4, nullptr, false, 0, 0);
    EXPECT_EQ(bytes, QByteArray("\x02\x01\x05\x00", 4));
    const std::vector<uint8_t> some{1, 2};
    EXPECT_EQ(Encoded(some, 0, 2, 2, 4), QByteArray("\x02\x01\x05\x00", 4));
}

TEST(GIFEncoding, RunOf256PixelsWithLZW)
{
    const std::vector<uint8_t> pixels(256, 3);
    const QByteArray data = Encoded(pixels, 256, 1, 2, 4);
    Parsed p = ParseCodes(data);
    EXPECT_EQ(p.codes[0], 4);
    EXPECT_EQ(Decode(data, 256, 1).pixels, pixels);
}

TEST(GIFEncoding, CodeWidthsGrowToTwelveAndClearsComeAt4094)
{
    uint32_t seed = 99;
    std::vector<uint8_t> pixels(200000);
    for (auto &p : pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = uint8_t(seed >> 24);
    }
    const QByteArray data = Encoded(pixels, 400, 500, 8, 256);
    Parsed p = ParseCodes(data);
    EXPECT_EQ(*std::max_element(p.widths.begin(), p.widths.end()), 12);
    ASSERT_GE(p.nextCodeAtClear.size(), 3u);
    EXPECT_EQ(p.nextCodeAtClear[0], 258);   // the opening clear
    for (size_t i = 1; i < p.nextCodeAtClear.size(); ++i)
        EXPECT_EQ(p.nextCodeAtClear[i], 4095);
    // After every clear the width is back at 9 bits.
    for (size_t i = 0; i + 1 < p.codes.size(); ++i)
        if (p.codes[i] == 256) {
            EXPECT_EQ(p.widths[i + 1], 9);
        }
    EXPECT_EQ(Decode(data, 400, 500).pixels, pixels);
    EXPECT_EQ(GifLibDecode([&] {
                  QByteArray f = Header(400, 500, 7);
                  f.append(Descriptor(0, 0, 400, 500));
                  f.append(data);
                  f.append(';');
                  return f;
              }())
                  .frames.at(0)
                  .pixels,
              pixels);
}

TEST(GIFEncoding, InterlacedRowsInPassOrder)
{
    for (int height = 1; height <= 9; ++height) {
        SCOPED_TRACE(height);
        std::vector<uint8_t> pixels(static_cast<size_t>(height));
        std::iota(pixels.begin(), pixels.end(), 0);
        const QByteArray data = Encoded(pixels, 1, height, 4, 16, true);
        // Read back without de-interlacing: the rows in the order written.
        Decoded d = Decode(data, 1, height, false);
        const std::vector<int> order = InterlaceOrder(height);
        ASSERT_EQ(d.pixels.size(), order.size());
        for (int i = 0; i < height; ++i)
            EXPECT_EQ(d.pixels[size_t(i)], order[size_t(i)]);
    }
    const std::vector<uint8_t> three{0, 1, 2};
    EXPECT_EQ(Decode(Encoded(three, 1, 3, 2, 4, true), 1, 3).pixels, (std::vector<uint8_t>{0, 2, 1}));
}

TEST(GIFEncoding, SubBlockBoundaries)
{
    for (int n : {255, 256}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        {
            TGIFWriter writer(buffer);
            std::vector<uint8_t> data(size_t(n), 0xAB);
            writer.Write(data.data(), n);
        }
        if (n == 255) {
            ASSERT_EQ(bytes.size(), 256);
            EXPECT_EQ(uint8_t(bytes[0]), 255);
        } else {
            ASSERT_EQ(bytes.size(), 258);
            EXPECT_EQ(uint8_t(bytes[0]), 255);
            EXPECT_EQ(uint8_t(bytes[256]), 1);
        }
    }
    // Every sub-block of an encoder's output but the last is full.
    std::vector<uint8_t> pixels(5000);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint8_t((i * 31) ^ (i >> 3));
    const QByteArray data = Encoded(pixels, 100, 50, 8, 256);
    int at = 1;
    std::vector<int> lengths;
    while (uint8_t(data[at]) != 0) {
        lengths.push_back(uint8_t(data[at]));
        at += 1 + uint8_t(data[at]);
    }
    EXPECT_EQ(at, data.size() - 1);
    for (size_t i = 0; i + 1 < lengths.size(); ++i)
        EXPECT_EQ(lengths[i], 255);
}

TEST(GIFEncoding, RunLengthCodesOnOneColour)
{
    const std::vector<uint8_t> pixels(100, 2);
    const QByteArray data = Encoded(pixels, 100, 1, 2, 4, false, encRunLength);
    Parsed p = ParseCodes(data);
    ASSERT_GE(p.codes.size(), 5u);
    EXPECT_EQ(p.codes[0], 4);   // clear
    EXPECT_EQ(p.codes[1], 2);   // the pixel
    EXPECT_EQ(p.codes[2], 6);   // first free code: a run of 2
    EXPECT_EQ(p.codes[3], 7);   // a run of 3
    EXPECT_EQ(Decode(data, 100, 1).pixels, pixels);
    // Long runs of several colours, all widths, through giflib too.
    for (int bits = 1; bits <= 8; ++bits) {
        std::vector<uint8_t> px(30000);
        for (size_t i = 0; i < px.size(); ++i)
            px[i] = uint8_t((i / (1 + i % 977)) % (1u << bits));
        const QByteArray rle = Encoded(px, 300, 100, bits, 1 << bits, false, encRunLength);
        EXPECT_EQ(Decode(rle, 300, 100).pixels, px) << bits;
        QByteArray f = Header(300, 100, bits - 1);
        f.append(Descriptor(0, 0, 300, 100));
        f.append(rle);
        f.append(';');
        const GifLibResult g = GifLibDecode(f);
        ASSERT_TRUE(g.ok) << bits;
        EXPECT_EQ(g.frames[0].pixels, px) << bits;
    }
}

TEST(GIFEncoding, PixelsBeyondTheColourCountAreRefused)
{
    const std::vector<uint8_t> pixels{0, 1, 4};
    for (int encoding : {int(encLZW), int(encRunLength)}) {
        try {
            Encoded(pixels, 3, 1, 2, 4, false, encoding);
            ADD_FAILURE() << "accepted";
        } catch (const GIFException &e) {
            EXPECT_STREQ(e.what(), "Color not in color table");
        }
    }
}

TEST(GIFEncoding, PlainGIFStreamRefusesEverything)
{
    TGIFStream stream;
    char b = 0;
    for (auto op : {0, 1, 2}) {
        try {
            if (op == 0)
                stream.Read(&b, 1);
            else if (op == 1)
                stream.Write(&b, 1);
            else
                stream.Seek(0, 0);
            ADD_FAILURE();
        } catch (const GIFException &e) {
            EXPECT_STREQ(e.what(), "Invalid stream operation");
        }
    }
}

// ---------------------------------------------------------------------------------------
// Extensions

namespace {
QByteArray FileWithExtension(const QByteArray &extension)
{
    QByteArray f = Header(1, 1, 3);   // 16 colours
    f.append(extension);
    f.append(Descriptor(0, 0, 1, 1));
    f.append(ImageData(4, {{16, 5}, {1, 5}, {17, 5}}));
    f.append(';');
    return f;
}

QByteArray ExtensionOut(TGIFExtension &e)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    e.SaveToStream(buffer);
    return bytes;
}
} // namespace

TEST(GIFExtensions, NetscapeLoopZeroRoundTrips)
{
    const QByteArray ext("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    Loaded l = LoadBytes(FileWithExtension(ext));
    ASSERT_EQ(l.error, "");
    auto *loop = dynamic_cast<TGIFAppExtNSLoop *>(l.image->Images()[0]->Extensions()[0]);
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->Loops, 0);
    EXPECT_EQ(ExtensionOut(*loop), ext);
}

TEST(GIFExtensions, AnimextsIsALoopWithItsOwnIdentifier)
{
    const QByteArray ext("\x21\xFF\x0B" "ANIMEXTS1.0\x03\x01\x05\x00\x00", 19);
    Loaded l = LoadBytes(FileWithExtension(ext));
    ASSERT_EQ(l.error, "");
    auto *loop = dynamic_cast<TGIFAppExtNSLoop *>(l.image->Images()[0]->Extensions()[0]);
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->Loops, 5);
    EXPECT_EQ(ExtensionOut(*loop), ext);
    TGIFAppExtNSLoop fresh(nullptr);
    EXPECT_EQ(fresh.IdentifierText(), "NETSCAPE2.0");
}

TEST(GIFExtensions, UnknownApplicationKeepsItsBlocks)
{
    const QByteArray ext("\x21\xFF\x0BXMP DataXMP\x03" "abc\x01z\x00", 21);
    Loaded l = LoadBytes(FileWithExtension(ext));
    ASSERT_EQ(l.error, "");
    auto *app = dynamic_cast<TGIFUnknownAppExtension *>(l.image->Images()[0]->Extensions()[0]);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->Blocks.size(), 2u);
    EXPECT_EQ(ExtensionOut(*app), ext);
}

TEST(GIFExtensions, ApplicationBlocksOfAnyOtherSizeAreUnknownAndWrittenBackAsRead)
{
    const std::vector<QByteArray> blocks{
        QByteArray("\x21\xFF\x0A" "ABCDEFGHIJ\x02xy\x00", 17),
        QByteArray("\x21\xFF\x05" "ABCDE\x00", 9),
        QByteArray("\x21\xFF\x0F" "NETSCAPE2.0wxyz\x02\x01\x00\x00", 22),   // not the looping block
        QByteArray("\x21\xFF\x00", 3),                                      // no block at all
    };
    for (const QByteArray &ext : blocks) {
        SCOPED_TRACE(ext.toHex().toStdString());
        Loaded l = LoadBytes(FileWithExtension(ext));
        ASSERT_EQ(l.error, "");
        EXPECT_EQ(l.warnings, std::vector<std::string>{});
        auto *app = dynamic_cast<TGIFUnknownAppExtension *>(l.image->Images()[0]->Extensions()[0]);
        ASSERT_TRUE(app);
        EXPECT_EQ(ExtensionOut(*app), ext);
    }
    Loaded ten = LoadBytes(FileWithExtension(blocks[0]));
    EXPECT_EQ(dynamic_cast<TGIFApplicationExtension *>(ten.image->Images()[0]->Extensions()[0])->IdentifierText(),
              std::string("ABCDEFGHIJ") + '\0');
}

TEST(GIFExtensions, LoopingSubBlocksAreKeptAsRead)
{
    // A loop sub-block too short for its count, a sub-block of another kind and a buffer size.
    const QByteArray ext("\x21\xFF\x0BNETSCAPE2.0\x02\x01\x07\x03\x01\x05\x00\x04\x0C\x61\x62\x63"
                         "\x05\x02\x00\x01\x00\x00\x00", 33);
    Loaded l = LoadBytes(FileWithExtension(ext));
    ASSERT_EQ(l.error, "");
    EXPECT_EQ(l.warnings, std::vector<std::string>{"Invalid GIF data"});
    auto *loop = dynamic_cast<TGIFAppExtNSLoop *>(l.image->Images()[0]->Extensions()[0]);
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->Loops, 5);
    EXPECT_EQ(loop->BufferSize, 256u);
    EXPECT_EQ(ExtensionOut(*loop), ext);
    // Changed values go into their sub-blocks; a new looping block gets the usual ones.
    loop->Loops = 0x0102;
    QByteArray changed = ext;
    changed[19] = '\x02';
    changed[20] = '\x01';
    EXPECT_EQ(ExtensionOut(*loop), changed);
    TGIFAppExtNSLoop fresh(nullptr);
    fresh.Loops = 3;
    fresh.BufferSize = 9;
    EXPECT_EQ(ExtensionOut(fresh), QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x03\x00\x05\x02\x09\x00\x00\x00\x00", 25));
}

TEST(GIFExtensions, CommentOf300CharactersBecomesTwoBlocks)
{
    Loaded l = LoadBytes(OnePixelFile());
    TGIFSubImage *frame = l.image->Images()[0];
    auto *comment = new TGIFCommentExtension(frame);
    comment->Text.push_back(std::string(300, 'c'));
    frame->Extensions().Add(comment);
    const QByteArray out = ExtensionOut(*comment);
    ASSERT_EQ(out.size(), 2 + 1 + 255 + 1 + 45 + 1);
    EXPECT_EQ(uint8_t(out[2]), 255);
    EXPECT_EQ(uint8_t(out[2 + 256]), 45);
    Loaded again = LoadBytes(SaveBytes(*l.image));
    auto *read = dynamic_cast<TGIFCommentExtension *>(again.image->Images()[0]->Extensions()[0]);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->Text, (std::vector<std::string>{std::string(255, 'c'), std::string(45, 'c')}));
}

TEST(GIFExtensions, GraphicControlCutShortWarnsAndLeavesTheFrameOpaque)
{
    QByteArray f = Header(1, 1, 1);
    f.append(QByteArray("\x21\xF9\x04\x01\x00", 5));
    Loaded l = LoadBytes(f);
    EXPECT_EQ(l.error, "");
    EXPECT_EQ(l.warnings, std::vector<std::string>{"Premature end of data"});
    ASSERT_EQ(l.image->Images().Count(), 1);
    EXPECT_FALSE(l.image->Images()[0]->Transparent);
}

TEST(GIFExtensions, TransparentIndexBeyondTheTableWarnsAndStoresZero)
{
    Loaded l = LoadBytes(FileWithExtension(GraphicControl(0x05, 10, 3)));
    ASSERT_EQ(l.error, "");
    TGIFSubImage *frame = l.image->Images()[0];
    ASSERT_TRUE(frame->FrameControl);
    EXPECT_TRUE(frame->Transparent);
    EXPECT_EQ(frame->FrameControl->Disposal(), 1);
    EXPECT_EQ(frame->FrameControl->Delay(), 10);
    frame->FrameControl->SetTransparentIndex(200);
    EXPECT_EQ(l.warnings, std::vector<std::string>{"Invalid color index"});
    EXPECT_EQ(frame->FrameControl->TransparentIndex(), 0);
    frame->FrameControl->SetDisposal(13);
    EXPECT_EQ(frame->FrameControl->Disposal(), 5);
}

TEST(GIFExtensions, TransparentFrameFillsUnreachedPixelsWithItsIndex)
{
    QByteArray f = Header(2, 2, 3);
    f.append(GraphicControl(0x01, 0, 9));
    f.append(Descriptor(0, 0, 2, 2));
    f.append(ImageData(4, {{16, 5}, {1, 5}, {17, 5}}));
    f.append(';');
    Loaded l = LoadBytes(f);
    ASSERT_EQ(l.error, "");
    const uint8_t *p = l.image->Images()[0]->Data();
    EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{1, 9, 9, 9}));
}

TEST(GIFExtensions, UnknownLabelAndBadIntroducers)
{
    // An unknown label is passed over with a warning, as other decoders do.
    Loaded unknown = LoadBytes(FileWithExtension(QByteArray("\x21\x77\x02" "ab\x00", 6)));
    EXPECT_EQ(unknown.error, "");
    EXPECT_EQ(unknown.warnings, std::vector<std::string>{"Unknown extension type"});
    ASSERT_EQ(unknown.image->Images().Count(), 1);
    EXPECT_EQ(unknown.image->Images()[0]->Extensions().Count(), 0);
    EXPECT_EQ(unknown.image->Images()[0]->Data()[0], 1);
    // Plain text with its 13 bytes and text.
    QByteArray text("\x21\x01\x0C", 3);
    text.append(QByteArray(12, '\x01'));
    text.append(QByteArray("\x02hi\x00", 4));
    Loaded l = LoadBytes(FileWithExtension(text));
    ASSERT_EQ(l.error, "");
    auto *t = dynamic_cast<TGIFTextExtension *>(l.image->Images()[0]->Extensions()[0]);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Text, std::vector<std::string>{"hi"});
    EXPECT_EQ(ExtensionOut(*t), text);
    // Registries: look-ups go from the last registration to the first.
    EXPECT_EQ(FindExtension(0xF9), &TGIFGraphicControlExtension::ClassInfo);
    EXPECT_EQ(FindAppExtension(reinterpret_cast<const uint8_t *>("ANIMEXTS1.0")), &TGIFAppExtNSLoop::ClassInfo);
    RegisterExtension(0xFE, &TGIFUnknownAppExtension::ClassInfo);
    EXPECT_EQ(FindExtension(0xFE), &TGIFUnknownAppExtension::ClassInfo);
    RegisterExtension(0xFE, &TGIFTextExtension::ClassInfo);
    EXPECT_EQ(FindExtension(0xFE), &TGIFTextExtension::ClassInfo);
    // A registered application class comes before the built-in one, also when a file is read.
    RegisterAppExtension("NETSCAPE2.0", &TGIFUnknownAppExtension::ClassInfo);
    Loaded registered = LoadBytes(FileWithExtension(QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x05\x00\x00", 19)));
    ASSERT_EQ(registered.error, "");
    EXPECT_TRUE(dynamic_cast<TGIFUnknownAppExtension *>(registered.image->Images()[0]->Extensions()[0]));
    FreeExtensionRegistries();
    EXPECT_EQ(FindExtension(0xFE), &TGIFCommentExtension::ClassInfo);
    EXPECT_EQ(FindAppExtension(reinterpret_cast<const uint8_t *>("NETSCAPE2.0")), &TGIFAppExtNSLoop::ClassInfo);
}

TEST(GIFBlocks, StrayByteAfterExtensionsIsReadAsDescriptorAndWrittenAsComma)
{
    QByteArray f = Header(1, 1, 1);
    f.append(GraphicControl(0, 0, 0));
    f.append('Q');   // not ",": the extension list warns and the frame reads its descriptor from here
    f.append(Descriptor(0, 0, 1, 1).mid(1));
    f.append(ImageData(2, {{4, 3}, {2, 3}, {5, 3}}));
    f.append(';');
    Loaded l = LoadBytes(f);
    ASSERT_EQ(l.error, "");
    EXPECT_EQ(l.warnings, std::vector<std::string>{"Invalid extension introducer"});
    ASSERT_EQ(l.image->Images().Count(), 1);
    EXPECT_EQ(l.image->Images()[0]->Separator, 'Q');
    Loaded again = LoadBytes(SaveBytes(*l.image));
    EXPECT_EQ(again.warnings, std::vector<std::string>{});
    ASSERT_EQ(again.image->Images().Count(), 1);
    EXPECT_EQ(again.image->Images()[0]->Data()[0], 2);
}

TEST(GIFModel, LoadsFromFilesAndLeavesThemAfterThePicture)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("two.gif");
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray picture = OnePixelFile(3);
    file.write("abc" + picture + "tail");
    file.close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    file.seek(3);
    TGIFImage image;
    image.LoadFromStream(file);
    EXPECT_EQ(file.pos(), 3 + picture.size());
    ASSERT_EQ(image.Images().Count(), 1);
    EXPECT_EQ(image.Images()[0]->Data()[0], 3);
    file.seek(1);
    EXPECT_THROW(image.LoadFromStream(file), GIFException);
    EXPECT_EQ(file.pos(), 1);
    file.close();
    EXPECT_THROW(image.LoadFromFile(name.toStdString() + ".missing"), Exception);
}

TEST(GIFModel, AFailedSaveLeavesTheFileAsItWas)
{
    QTemporaryDir dir;
    const std::string name = dir.filePath("picture.gif").toStdString();
    const QByteArray before = OnePixelFile(1);
    QFile file(QString::fromStdString(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(before);
    file.close();
    // A picture whose writing fails after its first bytes.
    struct FailingPicture : TGIFImage {
        void SaveToStream(QIODevice &stream) override
        {
            stream.write("GIF89a");
            throw GIFException("Invalid GIF data");
        }
    } failing;
    EXPECT_THROW(failing.SaveToFile(name), GIFException);
    EXPECT_EQ(ReadAll(name), before);
    // The same for a frame saved on its own.
    struct FailingFrame : TGIFSubImage {
        using TGIFSubImage::TGIFSubImage;
        void SaveToStream(QIODevice &stream) override
        {
            stream.write(",");
            throw GIFException("Invalid GIF data");
        }
    } failingFrame(nullptr);
    EXPECT_THROW(failingFrame.SaveToFile(name), GIFException);
    EXPECT_EQ(ReadAll(name), before);
    QByteArray f = Header(1, 1, 0);
    f.append(Descriptor(0, 0, 1, 1));
    f.append(ImageData(2, {{4, 3}, {3, 3}, {5, 3}}));
    Loaded l = LoadBytes(f + ";");
    l.image->SaveToFile(name);
    EXPECT_EQ(ReadAll(name), SaveBytes(*l.image));

    // A full disk leaves the file as it was.
    TinyDisk disk(dir.filePath("disk").toStdString());
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs";
    const std::string onDisk = disk.file("picture.gif");
    l.image->SaveToFile(onDisk);
    TGIFImage big;
    big.Assign(*LoadBytes(ReadAll(TestDataDir() + "/real/animated-red-blue.gif")).image);
    disk.FillLeaving(100);
    EXPECT_THROW(big.SaveToFile(onDisk), EInOutError);
    EXPECT_EQ(ReadAll(onDisk), SaveBytes(*l.image));
}

TEST(GIFModel, DrawPlacesTheFrameOnAHugeScreenWithoutAScreenBitmap)
{
    QByteArray f = Header(60000, 60000, 1);
    f.append(Descriptor(30000, 0, 1, 1));
    f.append(ImageData(2, {{4, 3}, {3, 3}, {5, 3}}));
    f.append(';');
    Loaded l = LoadBytes(f);
    ASSERT_EQ(l.error, "");
    QImage target(100, 100, QImage::Format_ARGB32);
    target.fill(Qt::white);
    {
        QPainter painter(&target);
        TCanvas canvas(painter);
        l.image->Draw(canvas, QRect(0, 0, 100, 100));
    }
    EXPECT_EQ(target.pixel(10, 10), qRgb(255, 255, 255));
}
