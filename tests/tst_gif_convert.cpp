// Making GIF pictures: frames from bitmaps, icons, metafiles and other graphics, cropping,
// merging with the frame before, the optimiser, writing with OptimizeOnWrite and pasting.
#include "tst_gif_helpers.h"
#include "support/GIFPlayback.h"

#include "gif/ColorReduction.h"

#include "platform/Bitmap.h"
#include "platform/Icon.h"
#include "platform/JPEGImage.h"
#include "platform/Metafile.h"
#include "platform/Picture.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>

#include <climits>

using namespace giftest;

namespace {

std::string Example(const char *name)
{
    return (QString(GLOSSAD_SOURCE_DIR) + "/examples/pictures/" + name).toStdString();
}

std::unique_ptr<TBitmap> Bitmap(const QImage &image, TPixelFormat format)
{
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetImage(image, format);
    return bitmap;
}

QImage Colors(int w, int h, const std::function<QRgb(int, int)> &color, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(w, h, format);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, color(x, y));
    return image;
}

std::vector<int> Pixels(TGIFSubImage &frame)
{
    return std::vector<int>(frame.Data(), frame.Data() + frame.DataSize());
}

// A frame of the given pixels with a local table of `colors` greys (or the global table).
TGIFSubImage *AddFrame(TGIFImage &image, int left, int top, int w, int h, const std::vector<int> &pixels,
                       int colors = 4)
{
    auto *frame = new TGIFSubImage(&image);
    frame->PlaceFrame(left, top, w, h);
    for (int i = 0; i < colors; ++i)
        frame->ColorTable().Add(TColor(i * 0x101010));
    for (size_t i = 0; i < pixels.size(); ++i)
        frame->Data()[i] = uint8_t(pixels[i]);
    image.Add(frame);
    return frame;
}

TGIFGraphicControlExtension *Control(TGIFSubImage &frame)
{
    if (!frame.FrameControl)
        frame.Extensions().Add(new TGIFGraphicControlExtension(&frame));
    return frame.FrameControl;
}

void MakeTransparent(TGIFSubImage &frame, int index)
{
    Control(frame)->SetTransparentIndex(index);
    Control(frame)->SetTransparent(true);
}

struct ProgressLog {
    explicit ProgressLog(TGraphic &g)
    {
        QObject::connect(&g, &TGraphic::progress,
                         [this](TGraphic *, TProgressStage stage, int percent, bool, const QRect &, const QString &m) {
                             entries.push_back({int(stage), percent, m.toStdString()});
                         });
    }
    struct Entry {
        int stage, percent;
        std::string message;
    };
    std::vector<Entry> entries;
};

} // namespace

TEST(FrameConversion, BitmapsOfEveryDepth)
{
    TGIFImage image;
    TGIFSubImage frame(&image);

    QImage mono(9, 1, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(0);
    mono.setPixel(0, 0, 1);
    mono.setPixel(8, 0, 1);
    frame.Assign(*Bitmap(mono, TPixelFormat::pf1bit));
    EXPECT_EQ(frame.ColorTable().Count(), 2);
    EXPECT_EQ(Pixels(frame), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(image.GetWidth(), 9);

    TBitmap four(3, 1, TPixelFormat::pf4bit);
    four.SetPixelIndex(0, 0, 12);
    four.SetPixelIndex(2, 0, 3);
    frame.Assign(four);
    EXPECT_EQ(frame.ColorTable().Count(), 16);
    EXPECT_EQ(Pixels(frame), (std::vector<int>{12, 0, 3}));
    EXPECT_EQ(frame.ColorTable().Colors(12), TColor(0xFF0000));   // blue, red in the low byte

    QImage indexed(2, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9)});
    indexed.setPixel(0, 0, 2);
    indexed.setPixel(1, 0, 0);
    frame.Assign(*Bitmap(indexed, TPixelFormat::pf8bit));
    EXPECT_EQ(frame.ColorTable().Count(), 3);
    EXPECT_EQ(Pixels(frame), (std::vector<int>{2, 0}));
    EXPECT_EQ(frame.ColorTable().Colors(2), TColor(0x090807));

    image.ReductionMode = redNone;
    const QRgb three[] = {qRgb(9, 9, 9), qRgb(200, 0, 0), qRgb(0, 0, 200)};
    frame.Assign(*Bitmap(Colors(5, 1, [&](int x, int) { return three[(x + 1) % 3]; }), TPixelFormat::pf24bit));
    ASSERT_EQ(frame.ColorTable().Count(), 3);
    EXPECT_EQ(frame.ColorTable().Colors(0), TColor(0x0000C8));
    EXPECT_EQ(frame.ColorTable().Colors(2), TColor(0x090909));
    EXPECT_EQ(Pixels(frame), (std::vector<int>{0, 1, 2, 0, 1}));

    const auto many = Bitmap(Colors(300, 1, [](int x, int) { return qRgb(x % 256, x / 256, 0); }),
                                TPixelFormat::pf32bit);
    try {
        frame.Assign(*many);
        ADD_FAILURE() << "300 colours without reduction";
    } catch (const GIFException &e) {
        EXPECT_STREQ(e.what(), "Color table overflow");
    }
    image.ReductionMode = redNetscape;
    ProgressLog log(image);
    frame.Assign(*many);
    EXPECT_EQ(frame.Width, 300);
    EXPECT_LE(frame.ColorTable().Count(), 216);
    ASSERT_GE(log.entries.size(), 2u);
    EXPECT_EQ(log.entries.front().message, "Converting...");
    EXPECT_EQ(log.entries.back().stage, int(TProgressStage::Ending));
    EXPECT_EQ(log.entries.back().percent, 100);

    image.ReductionMode = 12;
    EXPECT_THROW(frame.Assign(*many), GIFException);
    frame.Assign(TBitmap());
    EXPECT_TRUE(frame.Empty());
}

TEST(FrameConversion, MasksBecomeATransparentBlackEntry)
{
    TGIFImage image;
    TGIFSubImage frame(&image);
    const QImage argb = Colors(4, 1, [](int x, int) { return x == 1 ? qRgba(255, 0, 0, 10) : qRgb(0, 255, 0); });
    frame.Assign(*BitmapFromImage(argb));
    ASSERT_TRUE(frame.Transparent);
    const int t = frame.TransparentIndex();
    EXPECT_EQ(frame.ColorTable().Count(), 2);   // the red of the hidden pixel is gone
    EXPECT_EQ(frame.ColorTable().Colors(t), TColor(0));
    EXPECT_EQ(Pixels(frame), (std::vector<int>{0, t, 0, 0}));

    // Visible pixels that use all 256 entries give up the least used colour to the transparency.
    image.ReductionMode = redNone;
    const QImage full = Colors(257, 2, [](int x, int y) {
        return y == 1 && x == 256 ? qRgba(0, 0, 0, 0) : qRgb(x % 256, x % 256 ? 0 : 1, 7);
    });
    frame.Assign(*BitmapFromImage(full));
    ASSERT_TRUE(frame.Transparent);
    EXPECT_EQ(frame.ColorTable().Count(), 256);
    EXPECT_EQ(frame.Pixels(256, 1), frame.TransparentIndex());
    EXPECT_NE(frame.Pixels(255, 1), frame.TransparentIndex());
}

// A picture that counts how often it is drawn.
class DrawCounter : public TGraphic {
public:
    DrawCounter(int w, int h) : width(w), height(h) {}
    bool GetEmpty() const override { return false; }
    int GetWidth() const override { return width; }
    int GetHeight() const override { return height; }
    void Draw(TCanvas &, const QRect &) override { ++draws; }
    void LoadFromStream(QIODevice &) override {}
    void SaveToStream(QIODevice &) override {}
    int width, height, draws = 0;
};

TEST(FrameConversion, IconsMetafilesAndOtherGraphics)
{
    TGIFImage image;
    image.ReductionMode = redOptimized;
    TGIFSubImage frame(&image);

    TIcon icon;
    icon.LoadFromFile(Example("key.ico"));
    frame.Assign(icon);
    ASSERT_EQ(frame.Width, icon.GetWidth());
    const QImage iconMask = icon.Mask();
    ASSERT_TRUE(frame.Transparent);
    int hidden = 0;
    for (int y = 0; y < frame.Height; ++y)
        for (int x = 0; x < frame.Width; ++x) {
            const bool masked = iconMask.pixelIndex(x, y) == 1;
            hidden += masked;
            ASSERT_EQ(frame.Pixels(x, y) == frame.TransparentIndex(), masked) << x << "," << y;
        }
    EXPECT_GT(hidden, 0);

    for (const char *name : {"house.wmf", "sun.emf"}) {
        TMetafile metafile;
        metafile.LoadFromFile(Example(name));
        frame.Assign(metafile);
        EXPECT_EQ(frame.Width, metafile.GetWidth()) << name;
        ASSERT_TRUE(frame.Transparent) << name;
        // The corner shows the background; the middle is drawn.
        EXPECT_EQ(frame.Pixels(0, 0), frame.TransparentIndex()) << name;
        EXPECT_NE(frame.Pixels(frame.Width / 2, frame.Height / 2), frame.TransparentIndex()) << name;
    }

    TPicture holder;
    holder.SetGraphic(std::make_unique<TJPEGImage>());
    holder.Graphic()->LoadFromFile(Example("moon.jpg"));
    frame.Assign(holder);
    EXPECT_EQ(frame.Width, 96);
    EXPECT_FALSE(frame.Transparent);
    EXPECT_GT(frame.ColorTable().Count(), 2);
    TPicture none;
    frame.Assign(none);
    EXPECT_TRUE(frame.Empty());

    // Another GIF picture gives its first frame, with the colours it shows.
    Loaded gif = LoadBytes(ReadAll(TestDataDir() + "/real/muybridge.gif"));
    ASSERT_EQ(gif.image->Images()[0]->ColorTable().Count(), 0);
    TGIFImage other;
    other.Add(*gif.image);
    ASSERT_EQ(other.Images().Count(), 1);
    EXPECT_EQ(other.Images()[0]->ColorTable().Count(), gif.image->GlobalColorMap().Count());
    EXPECT_EQ(Pixels(*other.Images()[0]), Pixels(*gif.image->Images()[0]));

    // A picture too tall for a frame is refused before it is drawn at its own size.
    DrawCounter tall(2, 70000);
    EXPECT_THROW(frame.Assign(tall), GIFException);
    EXPECT_EQ(tall.draws, 0);
}

TEST(FrameConversion, PicturesAssignedAndAdded)
{
    TGIFImage image;
    image.ReductionMode = redGrayScale;
    image.Assign(*Bitmap(Colors(3, 2, [](int x, int) { return qRgb(x * 100, x * 100, x * 100); }),
                        TPixelFormat::pf24bit));
    ASSERT_EQ(image.Images().Count(), 1);
    EXPECT_EQ(image.GetWidth(), 3);
    EXPECT_EQ(image.GetHeight(), 2);
    EXPECT_EQ(image.Images()[0]->ColorTable().Count(), 256);
    EXPECT_EQ(Pixels(*image.Images()[0]), (std::vector<int>{0, 100, 200, 0, 100, 200}));
    EXPECT_EQ(image.Add(*Bitmap(Colors(5, 1, [](int, int) { return qRgb(1, 1, 1); }), TPixelFormat::pf24bit)), 1);
    EXPECT_EQ(image.GetWidth(), 5);
    const GifLibResult back = GifLibDecode(SaveBytes(image));
    EXPECT_TRUE(back.ok);
    EXPECT_EQ(back.frames.size(), 2u);
}

TEST(FrameCropping, TransparentBordersGoAndEmptyFramesStayEmpty)
{
    TGIFImage image;
    std::vector<int> pixels(100, 3);
    pixels[3 * 10 + 2] = 1;
    TGIFSubImage *frame = AddFrame(image, 5, 5, 10, 10, pixels);
    MakeTransparent(*frame, 3);
    frame->Trim();
    EXPECT_EQ(std::make_tuple(frame->Left, frame->Top, frame->Width, frame->Height),
              std::make_tuple(uint16_t(7), uint16_t(8), uint16_t(1), uint16_t(1)));
    EXPECT_EQ(Pixels(*frame), (std::vector<int>{1}));

    // At the last position there is, the pixels right of and below it stay: cropping them
    // away would need a position beyond 65535. Sums beyond int change nothing.
    QByteArray f = Header(16, 16, 1);
    f.append(GraphicControl(1, 10, 0));
    f.append(Descriptor(65535, 65535, 4, 2));
    f.append(Encoded({0, 0, 0, 0, 0, 1, 1, 0}, 4, 2, 2, 4));
    Loaded edge = LoadBytes(f + ";");
    ASSERT_EQ(edge.error, "");
    TGIFSubImage &corner = *edge.image->Images()[0];
    corner.Trim();
    EXPECT_EQ(std::make_tuple(corner.Left, corner.Top, corner.Width, corner.Height),
              std::make_tuple(65535, 65535, 3, 2));
    corner.Crop(INT_MAX - 1, INT_MAX - 1, INT_MAX, INT_MAX);
    EXPECT_EQ(Pixels(corner), (std::vector<int>{0, 0, 0, 0, 1, 1}));
    edge.image->Compact(CompactAll);
    ExpectRoundTrip(*edge.image, encLZW, edge.warnings);

    TGIFSubImage *clear = AddFrame(image, 0, 0, 2, 2, {2, 2, 2, 2});
    clear->Trim();   // opaque: untouched
    EXPECT_EQ(clear->Width, 2);
    MakeTransparent(*clear, 2);
    clear->Trim();
    EXPECT_TRUE(clear->Empty());
}

TEST(FrameMerging, RepeatedPixelsBecomeTransparent)
{
    TGIFImage image;
    TGIFSubImage *first = AddFrame(image, 0, 0, 2, 2, {0, 1, 2, 3});
    TGIFSubImage *second = AddFrame(image, 0, 0, 2, 2, {0, 1, 2, 3});
    second->DropRepeats(first);
    ASSERT_TRUE(second->Transparent);
    EXPECT_EQ(second->TransparentIndex(), 4);
    EXPECT_EQ(second->ColorTable().Colors(4), TColor(0));
    EXPECT_EQ(Pixels(*second), (std::vector<int>{4, 4, 4, 4}));

    // Same colours through other tables and offsets; the previous frame's own transparent
    // pixels show what lies below them and are left alone.
    TGIFSubImage *third = AddFrame(image, 1, 0, 2, 2, {1, 0, 3, 0}, 5);
    MakeTransparent(*first, 1);
    third->DropRepeats(first);
    EXPECT_EQ(Pixels(*third), (std::vector<int>{1, 0, 5, 0}));

    // Nothing when the frame before is disposed of, or does not overlap.
    TGIFSubImage *fourth = AddFrame(image, 0, 0, 2, 2, {0, 1, 2, 3});
    Control(*first)->SetDisposal(2);
    fourth->DropRepeats(first);
    EXPECT_FALSE(fourth->Transparent);
    TGIFSubImage *far = AddFrame(image, 9, 9, 1, 1, {0});
    far->DropRepeats(fourth);
    EXPECT_FALSE(far->Transparent);

    // Frames on the global table: another frame's transparent index serves only when this
    // frame does not use it; otherwise a black entry joins the global table.
    TGIFImage global;
    for (int i = 0; i < 4; ++i)
        global.GlobalColorMap().Add(TColor(i * 0x40));
    TGIFSubImage *a = AddFrame(global, 0, 0, 2, 1, {0, 1}, 0);
    TGIFSubImage *b = AddFrame(global, 0, 0, 2, 1, {0, 3}, 0);
    TGIFSubImage *c = AddFrame(global, 0, 0, 2, 1, {0, 2}, 0);
    MakeTransparent(*a, 3);
    c->DropRepeats(b);
    EXPECT_EQ(Pixels(*c), (std::vector<int>{3, 2}));
    b->DropRepeats(a);
    EXPECT_EQ(global.GlobalColorMap().Count(), 5);
    EXPECT_EQ(Pixels(*b), (std::vector<int>{4, 3}));
}

TEST(Optimizer, TheFourCases)
{
    {   // One frame loses its looping extension, comments and an idle graphic control.
        TGIFImage image;
        TGIFSubImage *frame = AddFrame(image, 0, 0, 2, 1, {0, 1});
        frame->Extensions().Add(new TGIFAppExtNSLoop(frame));
        auto *comment = new TGIFCommentExtension(frame);
        comment->Text = {"hello"};
        frame->Extensions().Add(comment);
        Control(*frame)->SetDelay(20);
        ProgressLog log(image);
        image.Compact(CompactAll);
        EXPECT_EQ(frame->Extensions().Count(), 0);
        EXPECT_EQ(log.entries.front().message, "Optimizing...");
        EXPECT_EQ(log.entries.back().percent, 100);
    }
    {   // Unused transparency goes; the other settings stay.
        TGIFImage image;
        TGIFSubImage *frame = AddFrame(image, 0, 0, 2, 1, {0, 1});
        AddFrame(image, 0, 0, 2, 1, {1, 1});
        MakeTransparent(*frame, 2);
        Control(*frame)->SetDelay(30);
        image.Compact(CompactCleanup);
        EXPECT_FALSE(frame->Transparent);
        ASSERT_TRUE(frame->FrameControl);
        EXPECT_EQ(frame->FrameControl->Delay(), 30);
    }
    {   // A second frame that repeats the first but for one pixel is cropped to that pixel.
        TGIFImage image;
        std::vector<int> pixels(32 * 32);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = int(i * 7 / 5 % 3);
        AddFrame(image, 0, 0, 32, 32, pixels);
        pixels[32 + 2] = 3;
        TGIFSubImage *second = AddFrame(image, 0, 0, 32, 32, pixels);
        image.Compact(CompactAll);
        EXPECT_EQ(std::make_tuple(second->Left, second->Top, second->Width, second->Height),
                  std::make_tuple(uint16_t(2), uint16_t(1), uint16_t(1), uint16_t(1)));
        EXPECT_EQ(second->ColorTable().Colors(Pixels(*second)[0]), TColor(0x303030));
    }
    {   // A wholly transparent frame goes; its delay joins the frame before, and its looping
        // extension moves on. A wholly transparent first frame shows the empty screen for its
        // delay: one pixel of it stays.
        TGIFImage image;
        TGIFSubImage *blank = AddFrame(image, 0, 0, 2, 1, {3, 3});
        MakeTransparent(*blank, 3);
        Control(*blank)->SetDelay(50);
        TGIFSubImage *first = AddFrame(image, 0, 0, 2, 1, {0, 1});
        MakeTransparent(*first, 3);
        Control(*first)->SetDelay(10);
        TGIFSubImage *gone = AddFrame(image, 0, 0, 2, 1, {3, 3});
        MakeTransparent(*gone, 3);
        Control(*gone)->SetDelay(25);
        gone->Extensions().Add(new TGIFAppExtNSLoop(gone));
        image.Compact(CompactTrim);
        ASSERT_EQ(image.Images().Count(), 2);
        EXPECT_EQ(std::make_tuple(blank->Width, blank->Height, blank->FrameControl->Delay()), std::make_tuple(1, 1, 50));
        EXPECT_EQ(first->FrameControl->Delay(), 35);
        EXPECT_TRUE(dynamic_cast<TGIFAppExtNSLoop *>(first->Extensions()[0]));
    }
}

TEST(Optimizer, KeepsWhatShowsAndRefusesBeforeChanging)
{
    TGIFImage image;
    TGIFSubImage *big = AddFrame(image, 0, 0, 4, 1, {0, 1, 2, 3});
    Control(*big)->SetDisposal(2);
    AddFrame(image, 1, 0, 2, 1, {1, 1});
    image.Compact(CompactAll);
    EXPECT_EQ(big->FrameControl->Disposal(), 2);   // the next frame does not hide it all

    // A frame restored to the background keeps its area, even where it shows nothing.
    TGIFImage restored;
    AddFrame(restored, 0, 0, 3, 1, {0, 1, 2});
    TGIFSubImage *cleared = AddFrame(restored, 0, 0, 3, 1, {3, 1, 3});
    MakeTransparent(*cleared, 3);
    Control(*cleared)->SetDisposal(2);
    TGIFSubImage *empty = AddFrame(restored, 0, 0, 3, 1, {3, 3, 3});
    MakeTransparent(*empty, 3);
    Control(*empty)->SetDisposal(2);
    AddFrame(restored, 0, 0, 1, 1, {0});
    restored.Compact(CompactTrim);
    ASSERT_EQ(restored.Images().Count(), 4);
    EXPECT_EQ(cleared->Width, 3);
    EXPECT_EQ(empty->Width, 3);

    TGIFImage covered;
    TGIFSubImage *small = AddFrame(covered, 1, 0, 2, 1, {0, 1});
    Control(*small)->SetDisposal(3);
    Control(*small)->SetDelay(5);
    AddFrame(covered, 0, 0, 4, 1, {0, 1, 2, 3});
    covered.Compact(CompactCleanup);
    EXPECT_EQ(small->FrameControl->Disposal(), 0);

    const QByteArray before = SaveBytes(image);
    try {
        image.Compact(CompactColors | CompactTables, redCustomPalette);
        ADD_FAILURE();
    } catch (const GIFException &e) {
        EXPECT_STREQ(e.what(), "Invalid reduction method");
    }
    EXPECT_EQ(SaveBytes(image), before);

    TGIFImage blank;
    MakeTransparent(*AddFrame(blank, 0, 0, 2, 2, {1, 1, 1, 1}), 1);
    blank.Compact(CompactAll);
    ASSERT_EQ(blank.Images().Count(), 1);
    EXPECT_NO_THROW(SaveBytes(blank));
}

TEST(Optimizer, NoisyRepeatsStayWhenTransparencyWouldCostMore)
{
    TGIFImage image;
    std::vector<int> first(64 * 64), second(64 * 64);
    uint32_t seed = 12345;
    auto next = [&] { return int((seed = seed * 1103515245u + 12345u) >> 16); };
    for (size_t i = 0; i < first.size(); ++i) {
        first[i] = next() % 4;
        second[i] = next() % 2 ? first[i] : (first[i] + 1 + next() % 3) % 4;
    }
    AddFrame(image, 0, 0, 64, 64, first);
    TGIFSubImage *frame = AddFrame(image, 0, 0, 64, 64, second);
    const qsizetype before = SaveBytes(image).size();
    image.Compact(CompactRepeats | CompactTrim);
    EXPECT_LE(SaveBytes(image).size(), before);
    EXPECT_FALSE(frame->Transparent);
    EXPECT_EQ(Pixels(*frame), second);

    // The same noise in a corner only: the frame keeps its pixels, cropped to that corner.
    TGIFImage corner;
    std::vector<int> third = first, expected;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (x >= 40 && y >= 50) {
                third[size_t(y * 64 + x)] = second[size_t(y * 64 + x)];
                expected.push_back(third[size_t(y * 64 + x)]);
            }
    AddFrame(corner, 0, 0, 64, 64, first);
    TGIFSubImage *cropped = AddFrame(corner, 0, 0, 64, 64, third);
    corner.Compact(CompactRepeats | CompactTrim);
    EXPECT_FALSE(cropped->Transparent);
    EXPECT_EQ(std::make_tuple(cropped->Left, cropped->Top, cropped->Width, cropped->Height),
              std::make_tuple(uint16_t(40), uint16_t(50), uint16_t(24), uint16_t(14)));
    EXPECT_EQ(Pixels(*cropped), expected);
}

TEST(Optimizer, EveryFormOfAFrameShowsWhatTheOriginalShows)
{
    // Frames that change the picture here and there: in blocks, in noise, and in rows with
    // short and long gaps, so that each way of writing a frame gets its turn.
    uint32_t seed = 99;
    auto next = [&] { return int((seed = seed * 1103515245u + 12345u) >> 16); };
    TGIFImage image;
    for (int i = 0; i < 16; ++i)
        image.GlobalColorMap().Add(TColor(i * 0x0F0F0F));
    std::vector<int> pixels(48 * 32);
    for (int &p : pixels)
        p = next() % 3;
    AddFrame(image, 0, 0, 48, 32, pixels, 0);
    for (int f = 1; f < 8; ++f) {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 48; ++x) {
                const bool block = x / 12 == f % 4 && y / 8 == f % 3;
                const bool noise = f % 2 && next() % 9 == 0;
                const bool row = y == f * 3 && (x % 20 < 3 || x % 7 == 0);
                // A bar of one colour over noise that already has it in places.
                const bool bar = f == 2 && y >= 20 && y < 24 && x >= 4 && x < 40;
                if (block || noise || row || bar)
                    pixels[size_t(y * 48 + x)] = bar ? 2 : block ? (x + y) % 16 : next() % 16;
            }
        AddFrame(image, 0, 0, 48, 32, pixels, f == 5 ? 16 : 0);
    }
    const auto before = gifplayback::ShownScreens(image);
    image.Compact(CompactAll);
    ASSERT_EQ(image.Images().Count(), 8);
    EXPECT_TRUE(gifplayback::ShownScreens(image) == before);
}

TEST(Optimizer, PixelsBeyondTheirTableGetBlackEntriesAsWhenWritten)
{
    // Two colours in the global table; the second frame also shows indexes 6 and 7 (black).
    QByteArray f = Header(4, 1, 0);
    f.append(Descriptor(0, 0, 4, 1));
    f.append(Encoded({0, 1, 0, 1}, 4, 1, 3, 8));
    f.append(Descriptor(0, 0, 4, 1));
    f.append(Encoded({0, 1, 6, 7}, 4, 1, 3, 8));
    Loaded l = LoadBytes(f + ";");
    ASSERT_EQ(l.error, "");
    const auto shown = gifplayback::ShownScreens(*l.image);
    l.image->Compact(CompactAll);
    EXPECT_EQ(gifplayback::ShownScreens(*l.image), shown);
    EXPECT_EQ(gifplayback::ShownScreens(*LoadBytes(SaveBytes(*l.image)).image), shown);
}

// The delay and disposal of each frame as ImageMagick reads them: it carries those of the last
// graphic control block on to frames without one.
std::string MagickTiming(const QByteArray &file)
{
    QProcess identify;
    identify.start("identify", {"-format", "%T %D\n", "gif:-"});
    identify.write(file);
    identify.closeWriteChannel();
    identify.waitForFinished(60000);
    return identify.readAllStandardOutput().toStdString();
}

TEST(Optimizer, IdleControlBlocksStayWhereTheyEndAnEarlierDelay)
{
    if (QStandardPaths::findExecutable("identify").isEmpty())
        GTEST_SKIP() << "ImageMagick is not installed";
    TGIFImage image;
    const int delays[] = {50, 0, 7, 0, 0};
    for (int i = 0; i < 5; ++i)
        Control(*AddFrame(image, 0, 0, 4, 1, std::vector<int>(4, 1 + i % 2)))->SetDelay(uint16_t(delays[i]));
    Control(*image.Images()[2])->SetDisposal(1);
    const QByteArray before = SaveBytes(image);
    image.Compact(CompactAll);
    const QByteArray after = SaveBytes(image);
    EXPECT_EQ(MagickTiming(after), "50 Undefined\n0 Undefined\n7 None\n0 Undefined\n0 Undefined\n");
    EXPECT_EQ(MagickTiming(after), MagickTiming(before));
    // Where no delay is carried on, the idle block still goes.
    EXPECT_TRUE(image.Images()[1]->FrameControl && image.Images()[3]->FrameControl);
    EXPECT_FALSE(image.Images()[4]->FrameControl);
}

TEST(Optimizer, FramesMoveToTheGlobalTableWhereItHasRoom)
{
    TGIFImage image;
    for (int i = 0; i < 3; ++i)
        image.GlobalColorMap().Add(TColor(i * 0x101010));
    AddFrame(image, 0, 0, 3, 1, {0, 1, 2}, 0);
    // Four colours of its own table: three are global, the last fits in the fourth entry.
    TGIFSubImage *own = AddFrame(image, 0, 0, 4, 1, {3, 1, 0, 2});
    // Five of eight colours: the global table grows to take the new one, and the frame's codes
    // are no wider there.
    TGIFSubImage *many = AddFrame(image, 0, 0, 5, 1, {0, 1, 2, 3, 4}, 8);
    // Two rare colours the global table would put past index 3, for wider codes: the frame
    // keeps its own table and the global one does not keep them.
    TGIFSubImage *rare = AddFrame(image, 0, 0, 2, 1, {0, 1}, 0);
    rare->ColorTable().Add(TColor(0x505050));
    rare->ColorTable().Add(TColor(0x606060));
    image.Compact(CompactTables);
    EXPECT_EQ(own->ColorTable().Count(), 0);
    ASSERT_EQ(image.GlobalColorMap().Count(), 5);
    const std::vector<int> shown = Pixels(*own);
    EXPECT_EQ(image.GlobalColorMap().Colors(shown[0]), TColor(0x303030));
    EXPECT_EQ(image.GlobalColorMap().Colors(shown[1]), TColor(0x101010));
    EXPECT_EQ(image.GlobalColorMap().Colors(shown[3]), TColor(0x202020));
    EXPECT_EQ(many->ColorTable().Count(), 0);
    EXPECT_EQ(image.GlobalColorMap().Colors(Pixels(*many)[4]), TColor(0x404040));
    EXPECT_EQ(rare->ColorTable().Count(), 2);
}

TEST(Optimizer, WriteDataOptimisesOnlyWhenAsked)
{
    TGIFImage image;
    AddFrame(image, 0, 0, 4, 1, {0, 0, 1, 0}, 16);
    auto write = [&] {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.WriteData(buffer);
        return bytes;
    };
    const QByteArray plain = write();
    EXPECT_EQ(image.Images()[0]->ColorTable().Count(), 16);
    GIFOptimizeOnWrite = true;
    const QByteArray optimised = write();
    GIFOptimizeOnWrite = false;
    EXPECT_EQ(image.Images()[0]->ColorTable().Count(), 2);
    EXPECT_LT(optimised.size(), plain.size());
}

TEST(Clipboard, CopiesTheWholeFileAndItsPicture)
{
    const QByteArray file = ReadAll(TestDataDir() + "/real/animated-red-blue.gif");
    Loaded l = LoadBytes(file);
    QByteArray saved;
    {
        QBuffer buffer(&saved);
        buffer.open(QIODevice::WriteOnly);
        l.image->SaveToStream(buffer);
    }
    l.image->SaveToClipboardFormat();
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(mime->data(GIFClipboardMimeType), saved);
    const QImage picture = qvariant_cast<QImage>(mime->imageData());
    EXPECT_EQ(picture.size(), QSize(l.image->GetWidth(), l.image->GetHeight()));
}

TEST(Clipboard, PastesGIFFirstThenAnyPicture)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    TGIFImage image;
    image.ReductionMode = redOptimized;

    auto *both = new QMimeData;
    both->setData(GIFClipboardMimeType, ReadAll(TestDataDir() + "/real/animated-red-blue.gif"));
    both->setImageData(Colors(7, 7, [](int, int) { return qRgb(1, 2, 3); }));
    clipboard->setMimeData(both);
    image.LoadFromClipboardFormat();
    EXPECT_EQ(image.Images().Count(), 4);

    auto *picture = new QMimeData;
    picture->setImageData(Colors(7, 5, [](int x, int) { return x ? qRgb(250, 0, 0) : qRgba(0, 0, 0, 0); }));
    clipboard->setMimeData(picture);
    image.LoadFromClipboardFormat();
    ASSERT_EQ(image.Images().Count(), 1);
    EXPECT_EQ(image.GetWidth(), 7);
    EXPECT_EQ(image.GetHeight(), 5);
    EXPECT_TRUE(image.Images()[0]->Transparent);

    auto *text = new QMimeData;
    text->setText("words");
    clipboard->setMimeData(text);
    EXPECT_THROW(image.LoadFromClipboardFormat(), GIFException);
    auto *broken = new QMimeData;
    broken->setData(GIFClipboardMimeType, "GIF89a\x01");
    clipboard->setMimeData(broken);
    EXPECT_THROW(image.LoadFromClipboardFormat(), GIFException);
    EXPECT_EQ(image.Images().Count(), 1);   // the picture before the failed paste stays
}
