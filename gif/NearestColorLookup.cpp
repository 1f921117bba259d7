#include "gif/NearestColorLookup.h"

#include <algorithm>
#include <climits>

namespace {
constexpr int CellBits = 5;                 // cells per channel: 32 of 8 colours
constexpr int CellSide = 256 >> CellBits;
constexpr float FarAway = 1e4f;

int CellOf(int red, int green, int blue)
{
    constexpr int shift = 8 - CellBits;
    return (red >> shift) << (2 * CellBits) | (green >> shift) << CellBits | (blue >> shift);
}

int Square(int v) { return v * v; }
} // namespace

TNearestColorLookup::TNearestColorLookup(const TPalette &palette)
    : TColorLookup(int(std::min<qsizetype>(palette.size(), 256))), entries(palette.mid(0, 256)),
      cellOffset(size_t(1) << (3 * CellBits), -1)
{
    for (int i = 0; i < 256; ++i) {
        const bool used = i < entries.size();
        channels[0][i] = used ? float(qRed(entries[i])) : FarAway;
        channels[1][i] = used ? float(qGreen(entries[i])) : FarAway;
        channels[2][i] = used ? float(qBlue(entries[i])) : FarAway;
    }
}

int32_t TNearestColorLookup::MakeCell(int cell)
{
    constexpr int mask = (1 << CellBits) - 1;
    const int low[3] = {(cell >> (2 * CellBits)) * CellSide, ((cell >> CellBits) & mask) * CellSide,
                        (cell & mask) * CellSide};
    // For every entry the least and the largest distance a colour of the cell can have to it,
    // computed for all 256 places at once (exact in floats).
    alignas(64) float least[256] = {}, largest[256] = {};
    for (int k = 0; k < 3; ++k) {
        const float lo = float(low[k]), hi = float(low[k] + CellSide - 1);
        const float *value = channels[k];
        for (int i = 0; i < 256; ++i) {
            const float below = lo - value[i], above = value[i] - hi;
            const float outside = std::max(below, 0.0f) + std::max(above, 0.0f);
            const float farthest = std::max(-below, -above);
            least[i] += outside * outside;
            largest[i] += farthest * farthest;
        }
    }
    // (Eight running minima, so that the loop runs on vectors too.)
    float lanes[8];
    std::copy_n(largest, 8, lanes);
    for (int i = 8; i < 256; i += 8)
        for (int j = 0; j < 8; ++j)
            lanes[j] = std::min(lanes[j], largest[i + j]);
    const float leastLargest = *std::min_element(lanes, lanes + 8);
    // An entry farther from every colour of the cell than some other entry is from all of them
    // never wins.
    Candidate found[257];
    int n = 1;
    for (int i = 0; i < entries.size(); ++i) {
        found[n] = {int32_t(least[i]), uint8_t(channels[0][i]), uint8_t(channels[1][i]), uint8_t(channels[2][i]),
                    uint8_t(i)};
        n += least[i] <= leastLargest;
    }
    found[0] = {n - 1, 0, 0, 0, 0};
    const auto offset = int32_t(candidates.size());
    candidates.insert(candidates.end(), found, found + n);
    std::sort(candidates.begin() + offset + 1, candidates.end(), [](const Candidate &a, const Candidate &b) {
        return a.bound != b.bound ? a.bound < b.bound : a.index < b.index;
    });
    return cellOffset[size_t(cell)] = offset;
}

int TNearestColorLookup::Nearest(int red, int green, int blue)
{
    const int cell = CellOf(red, green, blue);
    int32_t offset = cellOffset[size_t(cell)];
    if (offset < 0)
        offset = MakeCell(cell);
    const Candidate *c = candidates.data() + offset;
    const Candidate *end = c + 1 + c->bound;
    int best = INT_MAX, bestIndex = 0;
    for (++c; c != end && c->bound <= best; ++c) {
        const int distance = Square(c->red - red) + Square(c->green - green) + Square(c->blue - blue);
        if (distance < best || (distance == best && c->index < bestIndex)) {
            best = distance;
            bestIndex = c->index;
        }
    }
    return bestIndex;
}

uint8_t TNearestColorLookup::MapColor(uint8_t &red, uint8_t &green, uint8_t &blue)
{
    if (entries.isEmpty())
        return 0;
    const int index = Nearest(red, green, blue);
    red = uint8_t(qRed(entries[index]));
    green = uint8_t(qGreen(entries[index]));
    blue = uint8_t(qBlue(entries[index]));
    return uint8_t(index);
}
