// The palette of least error (redBest) and its exact nearest-colour lookup.
#include "gif/ColorReduction.h"
#include "gif/GIFImage.h"
#include "gif/NearestColorLookup.h"

#include "platform/Bitmap.h"
#include "support/TrueColorBitmap.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

int Distance(QRgb a, QRgb b)
{
    const int r = qRed(a) - qRed(b), g = qGreen(a) - qGreen(b), bl = qBlue(a) - qBlue(b);
    return r * r + g * g + bl * bl;
}

// The squared error of the reduced picture, summed over the pixels.
int64_t Error(const TBitmap &source, const TBitmap &reduced)
{
    int64_t sum = 0;
    for (int y = 0; y < source.GetHeight(); ++y)
        for (int x = 0; x < source.GetWidth(); ++x)
            sum += Distance(source.Pixel(x, y), reduced.Pixel(x, y));
    return sum;
}

// The pixel's colours in the palette (each exactly once).
std::set<QRgb> Colours(const TBitmap &bitmap)
{
    std::set<QRgb> colours;
    for (int y = 0; y < bitmap.GetHeight(); ++y)
        for (int x = 0; x < bitmap.GetWidth(); ++x)
            colours.insert(bitmap.Pixel(x, y));
    return colours;
}

} // namespace

TEST(NearestColorLookup, FindsTheNearestEntryLowestIndexFirst)
{
    std::mt19937 random(5);
    TPalette palette;
    for (int i = 0; i < 200; ++i)
        palette.append(qRgb(int(random() % 256), int(random() % 256), int(random() % 256)));
    palette.append(palette[17]);   // a repeated colour: the lower index wins
    TNearestColorLookup lookup(palette);
    for (int n = 0; n < 20000; ++n) {
        const QRgb colour = n == 0 ? palette[17] : qRgb(int(random() % 256), int(random() % 256), int(random() % 256));
        int best = 0;
        for (int i = 1; i < palette.size(); ++i)
            if (Distance(palette[i], colour) < Distance(palette[best], colour))
                best = i;
        uint8_t r = uint8_t(qRed(colour)), g = uint8_t(qGreen(colour)), b = uint8_t(qBlue(colour));
        ASSERT_EQ(lookup.MapColor(r, g, b), best) << n;
        EXPECT_EQ(qRgb(r, g, b), palette[best]);
    }
}

TEST(BestPalette, KeepsFewColoursExactly)
{
    // One colour, two colours, and fewer colours than the palette holds: each kept exactly.
    const std::vector<QRgb> colours = {qRgb(12, 34, 56), qRgb(250, 200, 150), qRgb(0, 0, 0), qRgb(13, 34, 56),
                                       qRgb(255, 255, 255)};
    for (size_t n : {1, 2, 5}) {
        auto picture = TrueColor(700, 800, [&](int x, int y) { return colours[size_t(x * 7 + y) % n]; });
        for (int dither : {dkNearest, dkFloydSteinberg}) {
            auto result = ReduceBitmapColors(*picture, redBest, dither, n == 2 ? 1 : 8);
            EXPECT_EQ(result->GetPalette().size(), qsizetype(n));
            EXPECT_EQ(Error(*picture, *result), 0) << n;
        }
    }
}

TEST(BestPalette, GradientsGetEvenlySpreadColours)
{
    // A grey ramp of 256 levels in 16 colours: every grey within 8 levels of its colour.
    auto ramp = TrueColor(256, 4, [](int x, int) { return qRgb(x, x, x); });
    auto result = ReduceBitmapColors(*ramp, redBest, dkNearest, 4);
    EXPECT_EQ(result->GetPalette().size(), 16);
    for (int x = 0; x < 256; ++x)
        EXPECT_LE(std::abs(qRed(result->Pixel(x, 0)) - x), 8) << x;

    // A colour gradient in 2 colours, and in 256 against the octree: each pixel takes the nearest
    // colour of the palette, and the error is smaller than the octree's.
    auto colourful = TrueColor(300, 200, [](int x, int y) { return qRgb(x * 255 / 299, y * 255 / 199, (x + y) % 256); });
    auto two = ReduceBitmapColors(*colourful, redBest, dkNearest, 1);
    ASSERT_EQ(two->GetPalette().size(), 2);
    for (int y = 0; y < 200; y += 7)
        for (int x = 0; x < 300; x += 7) {
            const QRgb pixel = colourful->Pixel(x, y);
            EXPECT_LE(Distance(pixel, two->Pixel(x, y)), Distance(pixel, two->GetPalette()[0]));
            EXPECT_LE(Distance(pixel, two->Pixel(x, y)), Distance(pixel, two->GetPalette()[1]));
        }
    const auto best = ReduceBitmapColors(*colourful, redBest, dkNearest, 8);
    EXPECT_EQ(Colours(*best).size(), 256u);
    EXPECT_LT(Error(*colourful, *best), Error(*colourful, *ReduceBitmapColors(*colourful, redOptimized, dkNearest, 8)));
    EXPECT_THROW(ReduceBitmapColors(*colourful, redBest, dkNearest, 9), GIFException);
}

TEST(BestPalette, TransparentPixelsTakeNoColour)
{
    // A 32-bit picture of three colours, half of it transparent: the frame keeps the three
    // colours exactly and the transparent pixels apart.
    QImage argb(64, 64, QImage::Format_ARGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            argb.setPixel(x, y, x < 32 ? qRgba(0, 0, 0, 0) : y < 20 ? qRgb(200, 10, 10) : y < 40 ? qRgb(10, 200, 10) : qRgb(10, 10, 200));
    TGIFImage image;
    image.ReductionMode = redBest;
    image.Add(*BitmapFromImage(argb));
    TGIFSubImage &frame = *image.Images()[0];
    ASSERT_TRUE(frame.Transparent);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int index = frame.Pixels(x, y);
            if (x < 32)
                ASSERT_EQ(index, frame.TransparentIndex()) << x << "," << y;
            else {
                const TGIFColor shown = frame.ActiveColorMap().Entry(index);
                ASSERT_EQ(qRgb(shown.Red, shown.Green, shown.Blue), argb.pixel(x, y)) << x << "," << y;
            }
        }
}
