// Colour reduction: the octree quantizer, the lookups, the error-diffusion kernels, the DIB
// reader and ReduceBitmapColors.
#include "gif/ColorQuantizer.h"
#include "gif/ColorReduction.h"

#include "platform/Bitmap.h"
#include "support/TrueColorBitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <set>
#include <tuple>

namespace {

using RGB = std::array<int, 3>;

std::vector<RGB> Table(const TColorQuantizer &q)
{
    const std::vector<uint8_t> t = q.ColorTable();
    std::vector<RGB> rgb;
    for (size_t i = 0; i + 3 < t.size(); i += 4)
        rgb.push_back({t[i + 2], t[i + 1], t[i]});
    return rgb;
}

// Answers every colour with itself, except the colour `marked`, which it answers with black:
// only that pixel leaves an error, and the colours asked for afterwards show where it went.
class MarkingLookup : public TColorLookup {
public:
    explicit MarkingLookup(int marked) : TColorLookup(256), marked(marked) {}
    uint8_t MapColor(uint8_t &red, uint8_t &green, uint8_t &blue) override
    {
        asked.push_back({red, green, blue});
        if (red == marked)
            red = green = blue = 0;
        return 0;
    }
    int marked;
    std::vector<RGB> asked;
};

} // namespace

TEST(OctreeQuantizer, KeepsFewColoursExactlyInTreeOrder)
{
    TColorQuantizer one(256);
    for (int i = 0; i < 50; ++i)
        one.AddColor(10, 200, 30);
    EXPECT_EQ(Table(one), (std::vector<RGB>{{10, 200, 30}}));

    TColorQuantizer q(8);
    for (RGB c : {RGB{255, 0, 0}, RGB{0, 255, 0}, RGB{0, 0, 255}, RGB{0, 0, 0}})
        q.AddColor(uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
    EXPECT_EQ(Table(q), (std::vector<RGB>{{0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}}));
}

TEST(OctreeQuantizer, MergesTheLaterNodeFirstAndTruncatesAverages)
{
    // (0,0,0)/(0,0,1) and (2,0,0)/(2,0,1) share deepest parents; the second parent is newer.
    TColorQuantizer q(3);
    for (RGB c : {RGB{0, 0, 0}, RGB{0, 0, 1}, RGB{2, 0, 0}, RGB{2, 0, 1}})
        q.AddColor(uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]));
    EXPECT_EQ(q.LeafCount(), 3);
    EXPECT_EQ(Table(q), (std::vector<RGB>{{0, 0, 0}, {0, 0, 1}, {2, 0, 0}}));

    TColorQuantizer all(1);
    all.AddColor(0, 10, 255);
    all.AddColor(255, 11, 0);
    all.AddColor(255, 0, 0);
    EXPECT_EQ(Table(all), (std::vector<RGB>{{170, 7, 85}}));
}

TEST(OctreeQuantizer, SumsHoldMorePixelsThanThirtyTwoBitsCould)
{
    TColorQuantizer q(1);
    for (int i = 0; i < 17'000'000; ++i)
        q.AddColor(255, 255, 255);
    q.AddColor(0, 0, 0);
    EXPECT_EQ(Table(q), (std::vector<RGB>{{254, 254, 254}}));
}

TEST(OctreeQuantizer, PaletteRepeatsTheLastLeafAndPlacesSystemColours)
{
    auto two = TrueColor(4, 1, [](int x, int) { return x < 2 ? qRgb(1, 2, 3) : qRgb(200, 100, 50); });
    TDIBReader reader(*two);
    const TPalette p = MakeOptimizedPalette(reader, 4, 1, 16, 8, false);
    ASSERT_EQ(p.size(), 16);
    EXPECT_EQ(p[0], qRgb(1, 2, 3));
    for (int i = 1; i < 16; ++i)
        EXPECT_EQ(p[i], qRgb(200, 100, 50)) << i;

    const TPalette s = MakeOptimizedPalette(reader, 4, 1, 256, 8, true);
    ASSERT_EQ(s.size(), 256);
    EXPECT_EQ(s.mid(0, 10), SystemPalette20().mid(0, 10));
    EXPECT_EQ(s.mid(246, 10), SystemPalette20().mid(10, 10));
    EXPECT_EQ(s[10], qRgb(1, 2, 3));
    EXPECT_EQ(s[245], qRgb(200, 100, 50));
    EXPECT_THROW(MakeOptimizedPalette(reader, 4, 1, 512, 8, false), GIFException);
}

TEST(ColorLookups, GreyMonochromeAndCachedNearest)
{
    TGrayScaleLookup grey;
    uint8_t r = 255, g = 255, b = 255;
    EXPECT_EQ(grey.MapColor(r, g, b), 255);
    r = 0, g = 0, b = 255;
    EXPECT_EQ(grey.MapColor(r, g, b), 28);
    EXPECT_EQ(std::tie(r, g, b), std::make_tuple(uint8_t(28), uint8_t(28), uint8_t(28)));

    TMonochromeLookup mono;
    r = g = b = 128;
    EXPECT_EQ(mono.MapColor(r, g, b), 1);
    EXPECT_EQ(r, 255);
    r = g = b = 127;
    EXPECT_EQ(mono.MapColor(r, g, b), 0);
    EXPECT_EQ(r, 0);

    TFastColorLookup fast({qRgb(0, 0, 0), qRgb(100, 100, 100), qRgb(100, 100, 100), qRgb(255, 255, 255)});
    EXPECT_EQ(fast.Colors(), 4);
    r = g = b = 100;
    EXPECT_EQ(fast.MapColor(r, g, b), 1);
    r = g = b = 90;   // searched: the lower of two equal entries wins
    EXPECT_EQ(fast.MapColor(r, g, b), 1);
    // Every colour of a 5-5-5 cell gets what its first colour found: 55 shares 48's cell,
    // although 100 is nearer to it than 0.
    r = g = b = 48;
    EXPECT_EQ(fast.MapColor(r, g, b), 0);
    r = g = b = 55;
    EXPECT_EQ(fast.MapColor(r, g, b), 0);
    TFastColorLookup fresh({qRgb(0, 0, 0), qRgb(100, 100, 100)});
    r = g = b = 55;
    EXPECT_EQ(fresh.MapColor(r, g, b), 1);
    r = g = b = 180;   // 180 is nearer 255 than 100 by the sum of differences
    EXPECT_EQ(fast.MapColor(r, g, b), 3);
    EXPECT_EQ(r, 255);
}

TEST(Ditherers, KernelsSpreadTheirWeightsToTheRightPixels)
{
    struct Case {
        int kind, divisor;
        std::vector<std::array<int, 3>> shares;   // dx, dy, weight from the pixel at (2, 0)
    };
    const std::vector<Case> cases = {
        {dkFloydSteinberg, 16, {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}}},
        {dkStucki, 42, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2},
                        {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}}},
        {dkSierra, 32, {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5}, {1, 1, 4}, {2, 1, 2},
                        {-1, 2, 2}, {0, 2, 3}, {1, 2, 2}}},
        {dkJaJuNi, 48, {{1, 0, 7}, {2, 0, 5}, {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5}, {2, 1, 3},
                        {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5}, {1, 2, 3}, {2, 2, 1}}},
        {dkSteveArche, 200, {{2, 0, 32}, {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16}, {-2, 2, 12},
                             {0, 2, 26}, {2, 2, 12}, {-3, 3, 5}, {-1, 3, 12}, {1, 3, 12}, {3, 3, 5}}},
        {dkBurkes, 32, {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}}},
    };
    const int width = 7, height = 4, error = 200;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        MarkingLookup lookup(error);
        auto engine = CreateDitherer(c.kind, width, lookup);
        ASSERT_TRUE(engine);
        std::vector<std::vector<int>> seen(height, std::vector<int>(width, -1));
        for (int y = 0; y < height; ++y) {
            while (engine->InRow()) {
                const int x = engine->Column();
                uint8_t r = x == 3 && y == 0 ? error : 0, g = 0, b = 0;
                engine->DitherPixel(r, g, b);
                seen[y][x] = lookup.asked.back()[0];
            }
            engine->NextRow();
        }
        std::vector<std::vector<int>> expected(height, std::vector<int>(width, 0));
        expected[0][3] = error;
        for (const auto &s : c.shares)
            expected[s[1]][3 + s[0]] = (error * s[2] + c.divisor / 2) / c.divisor;
        EXPECT_EQ(seen, expected);
    }
}

TEST(Ditherers, WalkSerpentineAndDropSharesBesideAOnePixelRow)
{
    MarkingLookup order(-1);
    TDitherEngine nearest(3, order);
    for (int y = 0; y < 2; ++y) {
        while (nearest.InRow()) {
            uint8_t r = uint8_t(10 * y + nearest.Column()), g = 0, b = 0;
            nearest.DitherPixel(r, g, b);
        }
        nearest.NextRow();
    }
    std::vector<int> visited;
    for (const RGB &c : order.asked)
        visited.push_back(c[0]);
    EXPECT_EQ(visited, (std::vector<int>{0, 1, 2, 12, 11, 10}));

    // A column of value 100 against a lookup that answers black: each pixel's whole value is
    // its error, and only the shares straight below come back.
    for (int kind : {int(dkFloydSteinberg), int(dkStucki), int(dkSteveArche)}) {
        struct Black : TColorLookup {
            Black() : TColorLookup(1) {}
            uint8_t MapColor(uint8_t &r, uint8_t &g, uint8_t &b) override
            {
                asked.push_back(r);
                r = g = b = 0;
                return 0;
            }
            std::vector<int> asked;
        } lookup;
        auto engine = CreateDitherer(kind, 1, lookup);
        for (int y = 0; y < 4; ++y) {
            uint8_t r = 100, g = 100, b = 100;
            engine->DitherPixel(r, g, b);
            engine->NextRow();
        }
        const std::map<int, std::pair<int, std::vector<int>>> below = {
            {dkFloydSteinberg, {16, {5}}}, {dkStucki, {42, {8, 4}}}, {dkSteveArche, {200, {0, 26}}}};
        const auto &[divisor, weights] = below.at(kind);
        std::vector<int> expected;
        for (int y = 0; y < 4; ++y) {
            int sum = 0;
            for (size_t d = 0; d < weights.size() && d < size_t(y); ++d)
                sum += expected[size_t(y) - 1 - d] * weights[d];
            expected.push_back(std::min(255, 100 + (sum + divisor / 2) / divisor));
        }
        EXPECT_EQ(lookup.asked, expected) << kind;
    }
}

TEST(DIBReader, ReadsRowsWithoutChangingTheBitmap)
{
    TBitmap empty;
    EXPECT_THROW(TDIBReader{empty}, EInvalidGraphic);

    QImage argb(2, 2, QImage::Format_ARGB32);
    argb.fill(qRgba(10, 20, 30, 0));
    TBitmap deep;
    deep.SetImage(argb, TPixelFormat::pf32bit);
    TDIBReader reader(deep);
    EXPECT_EQ(reader.PixelFormat(), TPixelFormat::pf24bit);
    const uint8_t *row = reader.ScanLine(1);
    EXPECT_EQ(std::vector<int>(row, row + 3), (std::vector<int>{30, 20, 10}));
    EXPECT_EQ(deep.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(qAlpha(deep.Pixel(0, 0)), 0);
    try {
        reader.ScanLine(2);
        ADD_FAILURE();
    } catch (const EInvalidGraphicOperation &e) {
        EXPECT_STREQ(e.what(), "Scan line index out of range");
    }

    TBitmap four(3, 1, TPixelFormat::pf4bit);
    four.SetPixelIndex(0, 0, 1);
    four.SetPixelIndex(1, 0, 15);
    four.SetPixelIndex(2, 0, 7);
    TDIBReader nibbles(four, TPixelFormat::pf4bit);
    row = nibbles.ScanLine(0);
    EXPECT_EQ(row[0], 0x1F);
    EXPECT_EQ(row[1], 0x70);
}

TEST(ReduceBitmapColors, PaletteOfEveryModeAndTheRefusals)
{
    auto photoBitmap = TrueColor(40, 30, [](int x, int y) { return qRgb(x * 6, y * 8, (x * y) % 256); });
    const TBitmap &photo = *photoBitmap;
    const std::map<int, int> sizes = {{redSystem20, 20}, {redHalftone, 256}, {redSystemGray4, 4},
                                      {redMonochrome, 2}, {redGrayScale, 256}, {redNetscape, 216},
                                      {redOptimized, 16}, {redOptimizedSystem, 256}};
    for (const auto &[mode, size] : sizes) {
        for (int kind = dkNearest; kind <= dkBurkes; ++kind) {
            auto result = ReduceBitmapColors(photo, mode, kind, 4);
            ASSERT_EQ(result->PixelFormat(), TPixelFormat::pf8bit) << mode;
            EXPECT_EQ(result->GetPalette().size(), size) << mode;
            EXPECT_EQ(result->GetWidth(), 40);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    ASSERT_LT(result->PixelIndex(x, y), size) << mode << " " << kind;
        }
    }
    const TPalette halftone = MakeHalftonePalette();
    EXPECT_EQ(std::set<QRgb>(halftone.begin(), halftone.end()).size(), 256u);

    auto copy = ReduceBitmapColors(photo, redNone, dkNearest, 8);
    EXPECT_EQ(copy->PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(copy->Pixel(39, 29), photo.Pixel(39, 29));

    EXPECT_TRUE(ReduceBitmapColors(photo, redBest + 1, dkNearest, 8)->GetEmpty());
    EXPECT_TRUE(ReduceBitmapColors(photo, redNetscape, 7, 8)->GetEmpty());
    EXPECT_TRUE(ReduceBitmapColors(photo, redCustomPalette, dkNearest, 8)->GetEmpty());
    auto custom = ReduceBitmapColors(photo, redCustomPalette, dkNearest, 8, {qRgb(0, 0, 0), qRgb(255, 0, 0)});
    EXPECT_EQ(custom->GetPalette().size(), 2);
    for (int bits : {-1, 9, 32})
        EXPECT_THROW(ReduceBitmapColors(photo, redOptimized, dkNearest, bits), GIFException) << bits;
}

TEST(ReduceBitmapColors, LargePictureKeepsItsColours)
{
    // More than 500000 pixels, two colours: the optimised palette keeps both exactly.
    auto big = TrueColor(1000, 600, [](int x, int) { return x < 500 ? qRgb(12, 34, 56) : qRgb(250, 200, 150); });
    auto result = ReduceBitmapColors(*big, redOptimized, dkFloydSteinberg, 8);
    EXPECT_EQ(result->Pixel(0, 599), qRgb(12, 34, 56));
    EXPECT_EQ(result->Pixel(999, 0), qRgb(250, 200, 150));
    EXPECT_EQ(result->Pixel(499, 300), qRgb(12, 34, 56));
}
