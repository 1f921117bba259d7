#include "gif/VarianceQuantizer.h"
#include "gif/ColorReduction.h"
#include "gif/NearestColorLookup.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

// The colours of the picture, when there are no more than `limit`; false otherwise (at the
// first colour too many).
bool DistinctColors(TDIB &reader, int width, int height, int limit, TPalette &colors)
{
    // An open hash set of twice the limit or more; 0xFFFFFFFF marks a free slot.
    constexpr uint32_t Free = 0xFFFFFFFF;
    std::vector<uint32_t> table(1024, Free);
    const uint32_t mask = uint32_t(table.size()) - 1;
    uint32_t previous = Free;
    for (int y = 0; y < height; ++y) {
        const uint8_t *bgr = reader.ScanLine(y);
        for (int x = 0; x < width; ++x, bgr += 3) {
            const uint32_t color = uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
            if (color == previous)
                continue;
            previous = color;
            uint32_t slot = (color * 2654435761u) >> 22 & mask;
            while (table[slot] != Free && table[slot] != color)
                slot = (slot + 1) & mask;
            if (table[slot] == color)
                continue;
            if (colors.size() == limit)
                return false;
            table[slot] = color;
            colors.append(qRgb(bgr[2], bgr[1], bgr[0]));
        }
    }
    return true;
}

// Pixel count, channel sums and the sum of squared channel values of a set of colours.
struct Moment {
    int64_t w = 0, r = 0, g = 0, b = 0;
    double m2 = 0;
    Moment &operator+=(const Moment &o)
    {
        w += o.w, r += o.r, g += o.g, b += o.b, m2 += o.m2;
        return *this;
    }
    Moment &operator-=(const Moment &o)
    {
        w -= o.w, r -= o.r, g -= o.g, b -= o.b, m2 -= o.m2;
        return *this;
    }
    friend Moment operator-(Moment a, const Moment &b) { return a -= b; }
    // The squared error the colours keep when they all take their mean is m2 - Spread().
    double Spread() const { return w > 0 ? (double(r) * r + double(g) * g + double(b) * b) / double(w) : 0.0; }
    QRgb Mean() const
    {
        const auto mean = [&](int64_t sum) { return int((sum + w / 2) / w); };
        return qRgb(mean(r), mean(g), mean(b));
    }
};

constexpr int CellBits = 6;
constexpr int Side = 1 << CellBits;   // cells per channel
constexpr int Dim = Side + 1;         // with a row of zeros before the first cell

// A box of cells: along each axis (red, green, blue) the cells above lo up to hi.
struct Box {
    std::array<int, 3> lo{}, hi{};
    int Cells() const { return (hi[0] - lo[0]) * (hi[1] - lo[1]) * (hi[2] - lo[2]); }
};

// The colour cube in cells, each with the moment of the picture's colours inside it; after
// Accumulate, each holds the moment of every cell up to it on all three axes, so that a box's
// moment takes eight reads.
class ColorCells {
public:
    ColorCells() : cells(size_t(Dim) * Dim * Dim) {}

    void Add(int red, int green, int blue)
    {
        Moment &m = At((red >> (8 - CellBits)) + 1, (green >> (8 - CellBits)) + 1, (blue >> (8 - CellBits)) + 1);
        m.w += 1, m.r += red, m.g += green, m.b += blue;
        m.m2 += double(red * red + green * green + blue * blue);
    }
    // The cells that hold colours, each as one moment.
    std::vector<Moment> Occupied() const
    {
        std::vector<Moment> occupied;
        for (const Moment &m : cells)
            if (m.w > 0)
                occupied.push_back(m);
        return occupied;
    }
    void Accumulate()
    {
        for (int r = 1; r < Dim; ++r)
            for (int g = 1; g < Dim; ++g)
                for (int b = 1; b < Dim; ++b) {
                    Moment &m = At(r, g, b);
                    m += At(r - 1, g, b);
                    m += At(r, g - 1, b);
                    m += At(r, g, b - 1);
                    m -= At(r - 1, g - 1, b);
                    m -= At(r - 1, g, b - 1);
                    m -= At(r, g - 1, b - 1);
                    m += At(r - 1, g - 1, b - 1);
                }
    }
    Moment Volume(const Box &box) const
    {
        Moment v;
        for (int corner = 0; corner < 8; ++corner) {
            int at[3], lows = 0;
            for (int axis = 0; axis < 3; ++axis) {
                const bool low = corner >> axis & 1;
                at[axis] = low ? box.lo[axis] : box.hi[axis];
                lows += low;
            }
            const Moment &m = At(at[0], at[1], at[2]);
            if (lows % 2)
                v -= m;
            else
                v += m;
        }
        return v;
    }

private:
    Moment &At(int r, int g, int b) { return cells[(size_t(r) * Dim + size_t(g)) * Dim + size_t(b)]; }
    const Moment &At(int r, int g, int b) const { return cells[(size_t(r) * Dim + size_t(g)) * Dim + size_t(b)]; }
    std::vector<Moment> cells;
};

// A box with the cut across it that removes the most squared error, and how much that is.
struct Split {
    Box box;
    Moment whole;
    double gain = 0;   // 0: the box cannot be cut
    int axis = 0, at = 0;
};

Split BestCut(const ColorCells &cells, const Box &box)
{
    Split split{box, cells.Volume(box)};
    for (int axis = 0; axis < 3; ++axis)
        for (int at = box.lo[axis] + 1; at < box.hi[axis]; ++at) {
            Box lower = box;
            lower.hi[axis] = at;
            const Moment low = cells.Volume(lower);
            if (low.w == 0 || low.w == split.whole.w)
                continue;
            const double gain = low.Spread() + (split.whole - low).Spread() - split.whole.Spread();
            if (gain > split.gain) {
                split.gain = gain;
                split.axis = axis;
                split.at = at;
            }
        }
    return split;
}

// Up to `colors` boxes, cut one at a time where that removes the most error.
std::vector<Split> CutBoxes(const ColorCells &cells, int colors)
{
    Box all;
    all.hi = {Side, Side, Side};
    std::vector<Split> boxes{BestCut(cells, all)};
    while (int(boxes.size()) < colors) {
        const auto best = std::max_element(boxes.begin(), boxes.end(),
                                           [](const Split &a, const Split &b) { return a.gain < b.gain; });
        if (best->gain <= 0)
            break;
        Box lower = best->box, upper = best->box;
        lower.hi[best->axis] = best->at;
        upper.lo[best->axis] = best->at;
        *best = BestCut(cells, lower);
        boxes.push_back(BestCut(cells, upper));
    }
    return boxes;
}

// Moves every entry to the mean of the colours nearest to it, until no entry moves (or enough
// passes have run). Entries no colour is nearest to stay where they are.
void RefineByKMeans(TPalette &palette, const std::vector<Moment> &colors)
{
    // Later passes move the entries less and less: beyond a few they gain hundredths of a dB.
    constexpr int MaxPasses = 6;
    std::vector<Moment> nearest(size_t(palette.size()));
    for (int pass = 0; pass < MaxPasses; ++pass) {
        TNearestColorLookup lookup(palette);
        std::fill(nearest.begin(), nearest.end(), Moment());
        for (const Moment &c : colors) {
            const QRgb mean = c.Mean();
            nearest[size_t(lookup.Nearest(qRed(mean), qGreen(mean), qBlue(mean)))] += c;
        }
        bool moved = false;
        for (qsizetype i = 0; i < palette.size(); ++i) {
            const Moment &m = nearest[size_t(i)];
            if (m.w > 0 && m.Mean() != palette[i]) {
                palette[i] = m.Mean();
                moved = true;
            }
        }
        if (!moved)
            break;
    }
}

} // namespace

TPalette MakeMinimumErrorPalette(TDIB &reader, int width, int height, int colors)
{
    colors = std::clamp(colors, 1, 256);
    TPalette palette;
    if (DistinctColors(reader, width, height, colors, palette))
        return palette;
    ColorCells cells;
    for (int y = 0; y < height; ++y) {
        const uint8_t *bgr = reader.ScanLine(y);
        for (int x = 0; x < width; ++x, bgr += 3)
            cells.Add(bgr[2], bgr[1], bgr[0]);
    }
    const std::vector<Moment> occupied = cells.Occupied();
    cells.Accumulate();
    palette.clear();
    for (const Split &box : CutBoxes(cells, colors))
        palette.append(box.whole.Mean());
    RefineByKMeans(palette, occupied);
    // Two entries that ended on the same colour are one.
    TPalette distinct;
    for (QRgb c : palette)
        if (!distinct.contains(c))
            distinct.append(c);
    return distinct;
}
