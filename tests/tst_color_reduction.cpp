// Colour reduction: the colour cube and its lookup, the Floyd-Steinberg engine's walk and
// error shares, and the pixel buffer writer's layout and failures.
#include "gif/ColorReduction.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Two colours, black and white, split at 128; records every colour it is asked about.
class TwoLevelLookup : public TColorLookup {
public:
    TwoLevelLookup() : TColorLookup(2) {}
    uint8_t MapColor(uint8_t &red, uint8_t &green, uint8_t &blue) override
    {
        asked.push_back(red);
        const uint8_t index = red >= 128 ? 1 : 0;
        red = green = blue = index ? 255 : 0;
        return index;
    }
    std::vector<int> asked;
};

// Feeds one grey value to every pixel of a picture in the engine's order; returns the
// columns visited, row by row.
std::vector<int> Walk(TDitherEngine &engine, int height, uint8_t grey)
{
    std::vector<int> columns;
    for (int y = 0; y < height; ++y) {
        while (engine.InRow()) {
            columns.push_back(engine.Column());
            uint8_t r = grey, g = grey, b = grey;
            engine.DitherPixel(r, g, b);
        }
        engine.NextRow();
    }
    return columns;
}

} // namespace

TEST(ColorCube, PaletteAndLevels)
{
    const TPalette cube = MakeNetscapePalette();
    ASSERT_EQ(cube.size(), 216);
    EXPECT_EQ(cube[36 * 2 + 6 * 4 + 5], qRgb(102, 204, 255));

    TNetscapeColorLookup lookup;
    EXPECT_EQ(lookup.Colors(), 216);
    const int levels[][2] = {{0, 0}, {47, 0}, {48, 1}, {98, 1}, {99, 2}, {149, 2}, {150, 3},
                             {200, 3}, {201, 4}, {251, 4}, {252, 5}, {255, 5}};
    for (const auto &[value, level] : levels) {
        uint8_t r = uint8_t(value), g = 0, b = 0;
        EXPECT_EQ(lookup.MapColor(r, g, b), 36 * level) << value;
        EXPECT_EQ(r, 51 * level) << value;
    }
    uint8_t r = 255, g = 255, b = 255;
    EXPECT_EQ(lookup.MapColor(r, g, b), 215);
    r = 255, g = 0, b = 0;
    EXPECT_EQ(lookup.MapColor(r, g, b), 180);
    EXPECT_EQ(cube[180], qRgb(r, g, b));
}

TEST(Dithering, SerpentineWalkAndNearestColour)
{
    TwoLevelLookup lookup;
    TDitherEngine nearest(3, lookup);
    EXPECT_EQ(Walk(nearest, 2, 100), (std::vector<int>{0, 1, 2, 2, 1, 0}));
    // Nearest colour never corrects: every pixel is asked about as it is.
    EXPECT_EQ(lookup.asked, std::vector<int>(6, 100));

    TwoLevelLookup fsLookup;
    TFloydSteinbergDitherer fs(3, fsLookup);
    EXPECT_EQ(Walk(fs, 2, 100), (std::vector<int>{0, 1, 2, 2, 1, 0}));
}

TEST(Dithering, FloydSteinbergShares)
{
    // One pixel wide: only the share straight below (5/16) reaches the next row.
    TwoLevelLookup narrow;
    TFloydSteinbergDitherer column(1, narrow);
    Walk(column, 3, 100);
    EXPECT_EQ(narrow.asked, (std::vector<int>{100, 100 + (500 + 8) / 16, 100 + (5 * (131 - 255) + 8) / 16}));

    // Two pixels: 7/16 ahead in the row, then on the way back 5/16 below and 1/16 ahead-below
    // for the first, 3/16 behind-below plus the row share for the second.
    TwoLevelLookup wide;
    TFloydSteinbergDitherer fs(2, wide);
    Walk(fs, 2, 100);
    ASSERT_EQ(wide.asked.size(), 4u);
    EXPECT_EQ(wide.asked[0], 100);
    EXPECT_EQ(wide.asked[1], 100 + (700 + 8) / 16);   // 144: white, error -111
    // Row 1 runs right to left: column 1 first gets 5*(-111) + 1*100 from above.
    EXPECT_EQ(wide.asked[2], 100 + (5 * -111 + 100 + 8) / 16);
    const int error2 = wide.asked[2];   // black
    EXPECT_EQ(wide.asked[3], 100 + (5 * 100 + 3 * -111 + 7 * error2 + 8) / 16);

    // A flat grey keeps its average brightness.
    TwoLevelLookup flat;
    TFloydSteinbergDitherer field(64, flat);
    int white = 0;
    for (int y = 0; y < 64; ++y) {
        while (field.InRow()) {
            uint8_t r = 64, g = 64, b = 64;
            white += field.DitherPixel(r, g, b);
        }
        field.NextRow();
    }
    EXPECT_NEAR(white / double(64 * 64), 64 / 255.0, 0.01);
}

TEST(Dithering, LeftOutPixelSpreadsAndUsesNothing)
{
    TwoLevelLookup lookup;
    TFloydSteinbergDitherer fs(3, lookup);
    uint8_t r = 100, g = 100, b = 100;
    fs.DitherPixel(r, g, b);   // black, error 100
    fs.StepColumn();           // column 1 left out: its 7/16 share is dropped
    r = g = b = 100;
    fs.DitherPixel(r, g, b);
    EXPECT_EQ(lookup.asked.back(), 100);
    EXPECT_FALSE(fs.InRow());
    fs.NextRow();
    // Row 1, right to left: column 2 got 5*100 from its own pixel; column 1 (left out) only
    // the shares of its neighbours: 1*100 from column 0 and 3*100 from column 2.
    r = g = b = 100;
    fs.DitherPixel(r, g, b);
    EXPECT_EQ(lookup.asked.back(), 100 + (500 + 8) / 16);
}

TEST(Dithering, WholeRowsAsPixelByPixel)
{
    // Rows of an indexed picture dithered at once equal the same rows dithered pixel by pixel,
    // for the colour cube (computed in place) and for any other lookup.
    const int width = 37, height = 9;
    uint8_t colors[256 * 3];
    std::vector<uint8_t> indexes(width * height);
    uint32_t seed = 12345;
    auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 16; };
    for (uint8_t &c : colors)
        c = uint8_t(next());
    for (uint8_t &i : indexes)
        i = uint8_t(next() % 7);   // index 3 is left out
    TNetscapeColorLookup cube;
    TwoLevelLookup twoLevels;
    for (TColorLookup *lookup : std::initializer_list<TColorLookup *>{&cube, &twoLevels}) {
        TFloydSteinbergDitherer rows(width, *lookup), pixels(width, *lookup);
        std::vector<uint8_t> byRow(indexes.size(), 99), byPixel(indexes.size(), 99);
        for (int y = 0; y < height; ++y) {
            rows.DitherIndexedRow(&indexes[y * width], colors, 3, &byRow[y * width]);
            while (pixels.InRow()) {
                const int x = pixels.Column();
                const uint8_t index = indexes[y * width + x];
                if (index == 3) {
                    pixels.StepColumn();
                    continue;
                }
                uint8_t r = colors[3 * index], g = colors[3 * index + 1], b = colors[3 * index + 2];
                byPixel[y * width + x] = pixels.DitherPixel(r, g, b);
            }
            pixels.NextRow();
        }
        EXPECT_EQ(byRow, byPixel);
        EXPECT_EQ(byRow[size_t(std::find(indexes.begin(), indexes.end(), 3) - indexes.begin())], 99);
    }
}

TEST(DIBWriter, LayoutAndHandOver)
{
    TBitmap bitmap;
    const TPalette palette = {qRgb(255, 0, 0), qRgb(0, 0, 255)};
    {
        TDIBWriter writer(bitmap, TPixelFormat::pf8bit, 5, 3, palette);
        EXPECT_EQ(writer.RowSize(), 8);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                writer.ScanLine(y)[x] = uint8_t((x + y) & 1);
        // Rows bottom-up after a 40-byte header and 256 colour entries (blue, green, red, 0).
        const QByteArray &dib = writer.Buffer();
        ASSERT_EQ(dib.size(), 40 + 1024 + 3 * 8);
        EXPECT_EQ(dib[0], char(40));
        EXPECT_EQ(dib[4], char(5));
        EXPECT_EQ(dib[8], char(3));
        EXPECT_EQ(dib[14], char(8));
        EXPECT_EQ(dib[32], char(0));   // 256 colours used (low byte 0, next byte 1)
        EXPECT_EQ(dib[33], char(1));
        EXPECT_EQ(dib[36], char(2));   // 2 important
        EXPECT_EQ(dib[40 + 4 + 0], char(255));   // entry 1: blue
        EXPECT_EQ(dib[40 + 2], char(255));       // entry 0: red
        EXPECT_EQ(writer.ScanLine(0), reinterpret_cast<const uint8_t *>(dib.constData()) + 40 + 1024 + 2 * 8);
        EXPECT_TRUE(bitmap.GetEmpty());   // nothing handed over yet
    }
    ASSERT_EQ(bitmap.GetWidth(), 5);
    ASSERT_EQ(bitmap.GetHeight(), 3);
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bitmap.PixelIndex(1, 0), 1);
    EXPECT_EQ(bitmap.PixelIndex(1, 1), 0);
    EXPECT_EQ(bitmap.Pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(bitmap.Pixel(0, 1), qRgb(0, 0, 255));

    TBitmap colour;
    TDIBWriter writer(colour, TPixelFormat::pf24bit, 2, 1, {});
    uint8_t *row = writer.ScanLine(0);
    row[0] = 1, row[1] = 2, row[2] = 3;   // blue, green, red
    writer.Finish();
    EXPECT_EQ(colour.Pixel(0, 0), qRgb(3, 2, 1));
    EXPECT_EQ(writer.RowSize(), 8);
}

TEST(DIBWriter, Failures)
{
    TBitmap bitmap;
    auto message = [&](auto &&make) {
        try {
            make();
        } catch (const Exception &e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(message([&] { TDIBWriter(bitmap, TPixelFormat::pf4bit, 2, 2, {}); }), "Unsupported PixelFormat");
    EXPECT_EQ(message([&] { TDIBWriter(bitmap, TPixelFormat::pf8bit, 0, 2, {}); }), "Invalid image dimensions");
    TDIBWriter writer(bitmap, TPixelFormat::pf8bit, 2, 2, {});
    EXPECT_THROW(writer.ScanLine(2), EInvalidGraphicOperation);
    EXPECT_THROW(writer.ScanLine(-1), EInvalidGraphicOperation);
    TDIBWriter huge(bitmap, TPixelFormat::pf8bit, 65535, 65535, {});
    EXPECT_THROW(huge.ScanLine(0), EOutOfMemory);
    EXPECT_THROW(huge.Finish(), EOutOfMemory);
    EXPECT_TRUE(bitmap.GetEmpty());
}
