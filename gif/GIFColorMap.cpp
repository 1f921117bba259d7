// The global and local colour tables: entries, look-ups, and the sort by use.
#include "gif/GIFImage.h"

#include <algorithm>
#include <cstring>

namespace {

TColor ColorOf(const TGIFColor &c) { return TColor(c.Red) | (TColor(c.Green) << 8) | (TColor(c.Blue) << 16); }
TGIFColor EntryOf(TColor color)
{
    return TGIFColor{uint8_t(color & 0xFF), uint8_t((color >> 8) & 0xFF), uint8_t((color >> 16) & 0xFF)};
}

} // namespace

int TGIFColorMap::CapacityFor(int n)
{
    return std::min(n <= 16 ? 16 : ((n + 31) / 32) * 32, 256);
}

void TGIFColorMap::Grow(int n)
{
    if (n < capacity)
        return;
    const int newCapacity = CapacityFor(n);
    if (newCapacity > capacity) {
        // The new entries are black (resize leaves the bytes of plain entries unset).
        const int old = int(colors.size());
        colors.resize(newCapacity);
        std::memset(static_cast<void *>(colors.data() + old), 0, sizeof(TGIFColor) * size_t(newCapacity - old));
        capacity = newCapacity;
    }
}

void TGIFColorMap::Clear()
{
    if (!colors.isEmpty()) {
        colors.clear();
        colors.shrink_to_fit();
    }
    count = 0;
    capacity = 0;
    optimized = false;
}

int TGIFColorMap::IndexOf(TColor color) const
{
    const TGIFColor c = EntryOf(color);
    if (optimized) {
        for (int i = 0; i < count; ++i)
            if (colors[size_t(i)] == c)
                return i;
    } else {
        for (int i = count - 1; i >= 0; --i)
            if (colors[size_t(i)] == c)
                return i;
    }
    return -1;
}

int TGIFColorMap::Add(TColor color)
{
    if (count >= 256)
        throw GIFException("Color table overflow");
    Grow(count + 1);
    colors[size_t(count)] = EntryOf(color);
    ++count;
    optimized = false;
    Changed();
    return count - 1;
}

int TGIFColorMap::AddIfAbsent(TColor color)
{
    const int index = IndexOf(color);
    return index >= 0 ? index : Add(color);
}

void TGIFColorMap::Delete(int index)
{
    if (index < 0 || index >= count)
        throw GIFException("Invalid color index");
    for (int i = index; i < count - 1; ++i)
        colors[size_t(i)] = colors[size_t(i) + 1];
    --count;
    optimized = false;
    Changed();
}

TGIFColor TGIFColorMap::Entry(int index)
{
    if (index < 0 || index >= count) {
        Warn(1, "Invalid color index");
        if (count == 0)
            throw GIFException("Color table is empty");
        index = 0;
    }
    return colors[size_t(index)];
}

TColor TGIFColorMap::Colors(int index) { return ColorOf(Entry(index)); }

void TGIFColorMap::SetColors(int index, TColor color)
{
    if (index < 0 || index >= count)
        throw GIFException("Invalid color index");
    colors[size_t(index)] = EntryOf(color);
    Changed();
}

void TGIFColorMap::FromPalette(const TPalette &palette)
{
    Clear();
    const int n = std::min<int>(int(palette.size()), 256);
    Grow(n);
    for (int i = 0; i < n; ++i)
        colors[size_t(i)] = TGIFColor{uint8_t(qRed(palette[i])), uint8_t(qGreen(palette[i])), uint8_t(qBlue(palette[i]))};
    count = n;
    Changed();
}

void TGIFColorMap::FromColorEntries(const uint8_t *entries, int n)
{
    Clear();
    n = std::min(n, 256);
    Grow(n);
    for (int i = 0; i < n; ++i)
        colors[size_t(i)] = TGIFColor{entries[4 * i + 2], entries[4 * i + 1], entries[4 * i]};
    count = n;
    Changed();
}

TPalette TGIFColorMap::ToPalette() const
{
    TPalette palette;
    for (int i = 0; i < count; ++i)
        palette.append(qRgb(colors[size_t(i)].Red, colors[size_t(i)].Green, colors[size_t(i)].Blue));
    return palette;
}

void TGIFColorMap::Assign(const TGIFColorMap &source)
{
    if (&source == this)
        return;
    colors = source.colors;
    count = source.count;
    capacity = source.capacity;
    optimized = source.optimized;
    Changed();
}

bool TGIFColorMap::SortByUse()
{
    if (count <= 1)
        return false;
    optimized = true;
    std::vector<uint32_t> counts(256, 0);
    CountUses(counts);
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        order[size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return counts[size_t(a)] > counts[size_t(b)]; });
    bool changedOrder = false;
    for (int i = 0; i < count; ++i)
        if (order[size_t(i)] != i)
            changedOrder = true;
    if (changedOrder) {
        std::vector<uint8_t> translation(256);
        for (int i = 0; i < 256; ++i)
            translation[size_t(i)] = uint8_t(i);
        for (int newIndex = 0; newIndex < count; ++newIndex)
            translation[size_t(order[size_t(newIndex)])] = uint8_t(newIndex);
        RemapPixels(translation);
        auto sorted = colors;
        for (int i = 0; i < count; ++i)
            sorted[size_t(i)] = colors[size_t(order[size_t(i)])];
        colors = sorted;
    }
    // Unused entries are dropped also when the order was already right.
    int used = 1;
    while (used < count && counts[size_t(order[size_t(used)])] > 0)
        ++used;
    count = used;
    Changed();
    return true;
}

// Global table
void TGIFGlobalColorMap::Warn(int severity, const std::string &message)
{
    if (header && header->Image())
        header->Image()->Warn(this, severity, message);
}

// Adds the uses of every colour index by one frame's pixels.
static void CountFramePixels(TGIFSubImage &frame, std::vector<uint32_t> &counts)
{
    if (!frame.Data())
        return;
    // Four tallies, so that runs of one index do not wait on one counter.
    uint32_t tally[4][256] = {};
    const uint8_t *p = frame.Data();
    const size_t size = frame.DataSize();
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++tally[0][p[i]];
        ++tally[1][p[i + 1]];
        ++tally[2][p[i + 2]];
        ++tally[3][p[i + 3]];
    }
    for (; i < size; ++i)
        ++tally[0][p[i]];
    for (int c = 0; c < 256; ++c)
        counts[size_t(c)] += tally[0][c] + tally[1][c] + tally[2][c] + tally[3][c];
}

// Rewrites one frame's pixels, and its transparent index, through a translation table.
static void RemapFramePixels(TGIFSubImage &frame, const std::vector<uint8_t> &translation)
{
    if (frame.Data()) {
        uint8_t *p = frame.Data();
        // Held apart: the pixel writes could alias them.
        const uint8_t *to = translation.data();
        const size_t size = frame.DataSize();
        for (size_t i = 0; i < size; ++i)
            p[i] = to[p[i]];
    }
    if (frame.Transparent && frame.FrameControl)
        frame.FrameControl->TransparentIndexValue = translation[frame.FrameControl->TransparentIndexValue];
}

// Calls use for every frame of the picture that shows the table.
template <typename F>
static void ForEachFrameShowing(const TGIFColorMap &table, TGIFImage *image, F use)
{
    if (!image)
        return;
    for (int f = 0; f < image->Images().Count(); ++f) {
        TGIFSubImage *frame = image->Images()[f];
        if (&frame->ActiveColorMap() == &table)
            use(*frame);
    }
}

void TGIFGlobalColorMap::CountUses(std::vector<uint32_t> &counts)
{
    counts.assign(256, 0);
    ForEachFrameShowing(*this, header->Image(), [&](TGIFSubImage &frame) { CountFramePixels(frame, counts); });
}

void TGIFGlobalColorMap::RemapPixels(const std::vector<uint8_t> &translation)
{
    // The background index follows its colour.
    header->BackgroundColorIndex = translation[header->BackgroundColorIndex];
    ForEachFrameShowing(*this, header->Image(), [&](TGIFSubImage &frame) { RemapFramePixels(frame, translation); });
}

bool TGIFGlobalColorMap::SortByUse()
{
    if (!header->Image() || header->Image()->Images().Count() == 0)
        return false;
    return TGIFColorMap::SortByUse();
}

void TGIFGlobalColorMap::Changed()
{
    if (header && header->Image())
        header->Image()->SetPalette({});
}

// Local table
void TGIFLocalColorMap::Warn(int severity, const std::string &message)
{
    if (frame && frame->Image())
        frame->Image()->Warn(this, severity, message);
}

void TGIFLocalColorMap::CountUses(std::vector<uint32_t> &counts)
{
    counts.assign(256, 0);
    CountFramePixels(*frame, counts);
}

void TGIFLocalColorMap::RemapPixels(const std::vector<uint8_t> &translation)
{
    RemapFramePixels(*frame, translation);
}

void TGIFLocalColorMap::Changed()
{
    if (frame)
        frame->SetPalette({});
}
