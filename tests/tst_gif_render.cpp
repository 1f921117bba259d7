// Drawing GIF pictures without animation: frame placement and scaling, tiling, masks and
// transparency, dithering to the colour cube, pictures without colours, and the
// "Rendering..." progress.
#include "gif/ColorReduction.h"
#include "gif/GIFImage.h"
#include "platform/Bitmap.h"
#include "support/GIFPictures.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace gifpictures;

namespace {
const QRgb White = qRgb(255, 255, 255), Red = qRgb(255, 0, 0), Blue = qRgb(0, 0, 255), Green = qRgb(0, 255, 0);
const QRgb Backdrop = qRgb(1, 2, 3);
} // namespace

TEST(GIFDrawing, OneFrameDrawsAtOnceWithoutPainter)
{
    auto image = NewPicture(4, 4, {White, Red});
    AddFrame(*image, QRect(0, 0, 4, 4), 1, 10);
    for (uint16_t flags : {DefaultPaintFlags, uint16_t(DefaultPaintFlags | DrawLoopForever | DrawDirect)}) {
        image->PaintFlags = flags;
        ImageCanvas target(4, 4, Backdrop);
        image->Draw(target.canvas, QRect(0, 0, 4, 4));
        EXPECT_EQ(image->PainterCount(), 0);
        EXPECT_EQ(target.Pixel(3, 3), Red);
    }
}

TEST(GIFDrawing, FramesKeepTheirPlaceWhenScaled)
{
    // (10, 10) of a 100 x 100 screen drawn into 200 x 200 lands at (20, 20).
    auto image = NewPicture(100, 100, {White, Red});
    AddFrame(*image, QRect(10, 10, 20, 20), 1);
    EXPECT_EQ(image->Images()[0]->MapArea(QRect(0, 0, 200, 200)), QRect(20, 20, 40, 40));
    EXPECT_EQ(image->Images()[0]->MapArea(QRect(5, 0, 150, 30)), QRect(20, 3, 30, 6));   // rounded products
    ImageCanvas target(200, 200, Backdrop);
    image->Draw(target.canvas, QRect(0, 0, 200, 200));
    EXPECT_EQ(target.Pixel(19, 19), Backdrop);
    EXPECT_EQ(target.Pixel(20, 20), Red);
    EXPECT_EQ(target.Pixel(59, 59), Red);
    EXPECT_EQ(target.Pixel(60, 60), Backdrop);
}

TEST(GIFDrawing, TilesFillTheRectangleAndStopAtItsEdge)
{
    // A 10 x 10 picture tiled over 25 x 25: three tiles each way, the last ones cut.
    auto image = NewPicture(10, 10, {White, Red, Blue});
    AddFrame(*image, QRect(0, 0, 10, 10), 1);
    image->Images()[0]->Data()[0] = 2;   // the tiles' corners are blue
    image->PaintFlags |= DrawTile;
    ImageCanvas target(40, 40, Backdrop);
    image->Draw(target.canvas, QRect(5, 5, 25, 25));
    for (int tile = 0; tile < 3; ++tile)
        EXPECT_EQ(target.Pixel(5 + 10 * tile, 5 + 10 * tile), Blue) << tile;
    EXPECT_EQ(target.Pixel(29, 29), Red);
    EXPECT_EQ(target.Pixel(30, 30), Backdrop);
    EXPECT_EQ(target.Pixel(4, 4), Backdrop);
}

TEST(GIFDrawing, MaskMarksTransparentPixelsOnly)
{
    auto image = NewPicture(20, 2, {White, Red});
    TGIFSubImage &frame = AddFrame(*image, QRect(0, 0, 20, 2), 1, 0, 1, 0);
    frame.Pixels(17, 1) = 0;
    ASSERT_TRUE(frame.MaskReady());
    EXPECT_EQ(frame.Mask.bytesPerLine(), 4);   // 20 bits padded to 32 = two 16-bit words
    EXPECT_EQ(frame.Mask.constScanLine(1)[2], 0x40);
    EXPECT_EQ(frame.Mask.constScanLine(0)[2], 0);

    ImageCanvas seeThrough(20, 2, Backdrop);
    image->Draw(seeThrough.canvas, QRect(0, 0, 20, 2));
    EXPECT_EQ(seeThrough.Pixel(17, 1), Backdrop);
    EXPECT_EQ(seeThrough.Pixel(16, 1), Red);

    // Without DrawTransparent the pixel shows its table colour.
    image->PaintFlags &= ~DrawTransparent;
    ImageCanvas opaque(20, 2, Backdrop);
    image->Draw(opaque.canvas, QRect(0, 0, 20, 2));
    EXPECT_EQ(opaque.Pixel(17, 1), White);

    // Transparency asked for, but no pixel uses the index: no mask, drawn opaque.
    auto solid = NewPicture(4, 4, {White, Red});
    TGIFSubImage &plain = AddFrame(*solid, QRect(0, 0, 4, 4), 1, 0, 1, 0);
    EXPECT_FALSE(plain.MaskReady());
    EXPECT_TRUE(plain.Mask.isNull());
    ImageCanvas target(4, 4, Backdrop);
    solid->Draw(target.canvas, QRect(0, 0, 4, 4));
    EXPECT_EQ(target.Pixel(0, 0), Red);
}

TEST(GIFDrawing, DitheringToTheColourCube)
{
    const QRgb Grey = qRgb(128, 128, 128), Pink = qRgb(250, 100, 150);
    auto image = NewPicture(32, 32, {Red, Grey, Pink});
    TGIFSubImage &frame = AddFrame(*image, QRect(0, 0, 32, 32), 1, 0, 1, 2);
    for (int x = 0; x < 32; ++x)
        frame.Pixels(x, 0) = 0;
    frame.Pixels(5, 5) = 2;

    // Auto-dithering on a true-colour screen: the frame keeps its own palette.
    ASSERT_FALSE(GIFPaletteDisplay);
    EXPECT_FALSE(image->DitheringApplies());
    EXPECT_EQ(frame.EnsureBitmap().color(0), Red);

    image->PaintFlags &= ~DrawAutoDither;
    frame.DropRendering();
    image->SetPalette({});
    ASSERT_TRUE(image->DitheringApplies());
    const QImage bitmap = frame.EnsureBitmap();
    EXPECT_EQ(bitmap.colorTable().mid(0, 216), MakeNetscapePalette());
    EXPECT_EQ(bitmap.pixelIndex(7, 0), 180);   // red is a cube colour
    // Grey lies between two cube levels (102 and 153): the mean stays near 128.
    double sum = 0;
    for (int y = 8; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            sum += qRed(bitmap.pixel(x, y));
    EXPECT_NEAR(sum / (24 * 32), 128, 2);
    // The transparent pixel holds the cube colour nearest to its entry, and is masked.
    EXPECT_EQ(bitmap.pixel(5, 5), qRgb(204, 102, 153));
    ASSERT_TRUE(frame.MaskReady());
    EXPECT_EQ(frame.Mask.pixelIndex(5, 5), 1);
    EXPECT_EQ(image->GetPalette(), MakeNetscapePalette());
}

TEST(GIFDrawing, PictureWithoutColoursShowsBlack)
{
    auto image = NewPicture(3, 3, {});
    AddFrame(*image, QRect(0, 0, 3, 3), 1);
    AddFrame(*image, QRect(0, 0, 3, 3), 2);
    ImageCanvas target(3, 3, Backdrop);
    image->Images()[0]->Draw(target.canvas, QRect(0, 0, 3, 3), true, false);
    EXPECT_EQ(target.Pixel(1, 1), qRgb(0, 0, 0));

    // A later frame without a table shows black too, not the first frame's colours: so the
    // file is written back.
    auto coloured = NewPicture(3, 3, {});
    AddFrame(*coloured, QRect(0, 0, 3, 3), 0).ColorTable().Add(ToTColor(Red));
    AddFrame(*coloured, QRect(0, 0, 3, 3), 0);
    coloured->Images()[1]->Draw(target.canvas, QRect(0, 0, 3, 3), true, false);
    EXPECT_EQ(target.Pixel(1, 1), qRgb(0, 0, 0));
}

TEST(GIFDrawing, RenderingReportsProgress)
{
    auto image = NewPicture(10, 70, {White, Red});
    TGIFSubImage &frame = AddFrame(*image, QRect(0, 0, 10, 70), 1);
    std::vector<std::pair<TProgressStage, int>> reports;
    QObject::connect(image.get(), &TGraphic::progress,
                     [&](TGraphic *, TProgressStage stage, int percent, bool, const QRect &, const QString &message) {
                         EXPECT_EQ(message, "Rendering...");
                         reports.emplace_back(stage, percent);
                     });
    frame.EnsureBitmap();
    frame.EnsureBitmap();   // cached: rendered once
    using S = TProgressStage;
    EXPECT_EQ(reports, (std::vector<std::pair<S, int>>{{S::Starting, 0}, {S::Running, 0}, {S::Running, 45},
                                                        {S::Running, 91}, {S::Ending, 100}}));
}

TEST(GIFDrawing, FullSizeBitmapAndPictureImage)
{
    auto image = NewPicture(6, 4, {White, Red, Green});
    AddFrame(*image, QRect(2, 1, 2, 2), 1);
    AddFrame(*image, QRect(0, 0, 6, 4), 2);
    const QImage full = image->Bitmap();
    ASSERT_EQ(full.size(), QSize(6, 4));
    EXPECT_EQ(full.pixel(2, 1), Red);
    EXPECT_EQ(qAlpha(full.pixel(0, 0)), 0);   // outside the first frame
    const QImage picture = image->ToImage();
    EXPECT_EQ(picture.pixel(3, 2), Red);
    EXPECT_EQ(image->PainterCount(), 0);
}

TEST(GIFDrawing, CopiesAndBitmapsGetTheFullSizePictureWithoutTransparency)
{
    auto image = NewPicture(10, 10, {White, Red, Blue});
    TGIFSubImage &first = AddFrame(*image, QRect(3, 3, 4, 4), 1, 5, 1, 2);
    first.Pixels(0, 0) = 2;
    AddFrame(*image, QRect(0, 0, 10, 10), 2, 5);

    image->SaveToClipboardFormat();
    const QImage copied = qvariant_cast<QImage>(QGuiApplication::clipboard()->mimeData()->imageData());
    TBitmap bitmap;
    bitmap.Assign(*image);
    for (const QImage &full : {copied, bitmap.Image()}) {
        ASSERT_EQ(full.size(), QSize(10, 10));
        EXPECT_EQ(full.pixel(3, 3), Blue);   // the transparent pixel in its table colour
        EXPECT_EQ(full.pixel(6, 6), Red);
    }
    // Neither holds the animation on its first frame.
    ImageCanvas target(10, 10, Backdrop);
    image->Draw(target.canvas, QRect(0, 0, 10, 10));
    EXPECT_NE(image->CurrentPainter(), nullptr);
    image->StopPainters();

    // A screen too large to draw is copied as GIF data alone.
    auto huge = NewPicture(9000, 9000, {White, Red});
    AddFrame(*huge, QRect(0, 0, 1, 1), 1);
    huge->SaveToClipboardFormat();
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasImage());
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat(GIFClipboardMimeType));
}

TEST(GIFDrawing, NewPaletteAsksForOneRedraw)
{
    auto image = NewPicture(2, 1, {White, Red});
    TGIFSubImage &first = AddFrame(*image, QRect(0, 0, 2, 1), 1);
    TGIFSubImage &second = AddFrame(*image, QRect(0, 0, 2, 1), 0);
    first.EnsureBitmap();
    QSignalSpy changes(image.get(), &TGraphic::changed);
    first.SetPalette({Blue, Green});
    first.EnsureBitmap();
    EXPECT_EQ(changes.count(), 2);   // the new palette, and the frame drawn with it
    second.EnsureBitmap();
    EXPECT_EQ(changes.count(), 2);
}
