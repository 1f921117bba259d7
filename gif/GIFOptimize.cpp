// The whole-picture optimiser: sorted and trimmed colour tables, no transparency or disposal
// that has no effect, frames made transparent where they repeat what is already shown,
// transparent borders cropped, and no extensions or frames that carry nothing to show.
#include "gif/GIFFrameControl.h"
#include "gif/GIFImage.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

bool Covers(const TGIFSubImage &outer, const TGIFSubImage &inner)
{
    return outer.Left <= inner.Left && outer.Top <= inner.Top &&
           outer.Left + outer.Width >= inner.Left + inner.Width && outer.Top + outer.Height >= inner.Top + inner.Height;
}

bool UsesTransparentIndex(const TGIFSubImage &frame)
{
    const int t = frame.TransparentIndex();
    const uint8_t *p = frame.Data();
    return t >= 0 && p && std::find(p, p + frame.DataSize(), uint8_t(t)) != p + frame.DataSize();
}

bool HasVisiblePixel(const TGIFSubImage &frame)
{
    const int t = frame.TransparentIndex();
    const uint8_t *p = frame.Data();
    return std::any_of(p, p + frame.DataSize(), [t](uint8_t pixel) { return pixel != t; });
}

// Extensions that carry nothing a player shows (the looping extension is judged apart).
bool NonDisplay(const TGIFExtension *extension)
{
    return dynamic_cast<const TGIFCommentExtension *>(extension) ||
           dynamic_cast<const TGIFTextExtension *>(extension) ||
           dynamic_cast<const TGIFUnknownAppExtension *>(extension);
}

// Moves every extension but the graphic control extensions of `from` to the front of `to`, so
// that a dropped frame's looping extension and comments stay in the picture.
void MoveExtensions(TGIFSubImage &from, TGIFSubImage &to)
{
    std::vector<TGIFExtension *> moved, kept;
    for (int i = 0; i < from.Extensions().Count(); ++i)
        if (!dynamic_cast<TGIFGraphicControlExtension *>(from.Extensions()[i]))
            moved.push_back(CopyExtension(*from.Extensions()[i], &to));
    if (moved.empty())
        return;
    while (to.Extensions().Count() > 0) {
        kept.push_back(to.Extensions()[0]);
        to.Extensions().Remove(kept.back());
    }
    for (TGIFExtension *e : moved)
        to.Extensions().Add(e);
    for (TGIFExtension *e : kept)
        to.Extensions().Add(e);
}

// The indexes some pixels show.
struct IndexSet : std::array<bool, 256> {
    IndexSet() { fill(false); }
    void Add(const uint8_t *pixels, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            (*this)[pixels[i]] = true;
    }
};

bool SamePixels(const TGIFSubImage &a, const TGIFSubImage &b)
{
    return a.DataSize() == b.DataSize() && (a.DataSize() == 0 || std::memcmp(a.Data(), b.Data(), a.DataSize()) == 0);
}

// Counts the bytes written to it, and refuses them once they pass a limit.
class ByteCounter : public QIODevice {
public:
    explicit ByteCounter(int64_t limit) : limit(limit) { open(QIODevice::WriteOnly); }
    int64_t Count() const { return count; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override
    {
        count += length;
        return count > limit ? -1 : length;
    }

private:
    int64_t limit, count = 0;
};

// The bytes the frame's table and pixels take in the file; INT64_MAX as soon as it is clear
// that they are more than limit.
int64_t EncodedSize(TGIFSubImage &frame, int64_t limit = INT64_MAX)
{
    if (frame.Empty())
        return 0;
    const int localColors = frame.ColorTable().Count() > 0 ? 1 << frame.BitsPerPixel() : 0;
    if (3 * localColors > limit)
        return INT64_MAX;
    ByteCounter counter(limit - 3 * localColors);
    try {
        EncodeFrame(frame, counter);
    } catch (const EInOutError &) {
        return INT64_MAX;
    }
    return counter.Count() + 3 * localColors;
}

// Adds a dropped frame's delay to the frame shown before it, so that the animation keeps its
// timing.
void AddDelay(TGIFSubImage &frame, int delay)
{
    if (delay <= 0)
        return;
    if (!frame.FrameControl)
        frame.Extensions().Add(new TGIFGraphicControlExtension(&frame));
    frame.FrameControl->SetDelay(uint16_t(std::min(frame.FrameControl->Delay() + delay, 0xFFFF)));
}

class Optimizer {
public:
    Optimizer(TGIFImage &image, uint8_t options) : image(image), frames(image.Images()), options(options) {}

    void Run()
    {
        total = 6 * frames.Count();
        WidenTables();
        if (options & CompactTables)
            SortTables();
        else
            Step(frames.Count());
        if (options & CompactCleanup) {
            DropUnusedTransparency();
            DropHiddenDisposal();
        } else {
            Step(2 * frames.Count());
        }
        if (options & CompactRepeats)
            DropRepeatedPixels();
        else
            Step(frames.Count());
        if (options & CompactTrim)
            TrimFrames();
        else
            Step(frames.Count());
        if (options & CompactCleanup)
            DropNonDisplay();
        else
            Step(frames.Count());
        if (options & CompactTables) {
            ShareGlobalTable();
            ShrinkFrameTables();
        }
    }

private:
    void Step(int n = 1)
    {
        done += n;
        if (image.ProgressWanted() && total > 0)
            image.Progress(TProgressStage::Running, std::min(done, total) * 100 / total, false, QRect(), "Optimizing...");
    }

    // Pixels beyond their table show black: they get black entries, as the writer gives them,
    // so that every step below finds each pixel's colour in its table.
    void WidenTables()
    {
        int globalColors = 0;
        for (int i = 0; i < frames.Count(); ++i) {
            TGIFSubImage &frame = *frames[i];
            if (frame.Empty())
                continue;
            if (frame.ColorTable().Count() > 0)
                AddBlackEntries(frame.ColorTable(), frame.HighestIndex() + 1);
            else
                globalColors = std::max(globalColors, frame.HighestIndex() + 1);
        }
        AddBlackEntries(image.GlobalColorMap(), globalColors);
    }

    static void AddBlackEntries(TGIFColorMap &table, int count)
    {
        while (table.Count() < count)
            table.Add(0);
    }

    void SortTables()
    {
        if (image.GlobalColorMap().Count() > 0)
            image.GlobalColorMap().SortByUse();
        for (int i = 0; i < frames.Count(); ++i) {
            if (frames[i]->ColorTable().Count() > 0)
                frames[i]->ColorTable().SortByUse();
            Step();
        }
    }

    // Cropping and merging leave colours of the global table unused: they go, and frames with
    // their own table move to the global one where it has room for their colours. The table is
    // then sorted by use again, and a frame whose codes that made wider than with its own
    // table gets that back.
    void ShareGlobalTable()
    {
        TGIFColorMap &global = image.GlobalColorMap();
        if (global.Count() > 0)
            global.SortByUse();
        // The frames moved, each with a copy of it as it was.
        std::vector<std::pair<TGIFSubImage *, std::unique_ptr<TGIFSubImage>>> merged;
        for (int i = 0; i < frames.Count(); ++i) {
            if (frames[i]->ColorTable().Count() == 0)
                continue;
            auto was = std::make_unique<TGIFSubImage>(&image);
            was->Assign(*frames[i]);
            if (MergeIntoGlobalTable(*frames[i]))
                merged.emplace_back(frames[i], std::move(was));
        }
        if (merged.empty())
            return;
        global.SortByUse();
        bool restored = false;
        for (const auto &[frame, was] : merged)
            if (FrameCodeSize(*frame) > FrameCodeSize(*was)) {
                frame->Assign(*was);
                restored = true;
            }
        if (restored)
            global.SortByUse();
    }

    // A frame that shows few of its table's colours codes shorter with a table of just those:
    // its codes are narrower, for the price of the table's bytes. Kept where that is smaller.
    void ShrinkFrameTables()
    {
        for (int i = 0; i < frames.Count(); ++i) {
            TGIFSubImage &frame = *frames[i];
            if (frame.Empty())
                continue;
            IndexSet used;
            used.Add(frame.Data(), frame.DataSize());
            const int t = frame.TransparentIndex();
            if (t >= 0)
                used[size_t(t)] = true;
            const int count = int(std::count(used.begin(), used.end(), true));
            TGIFColorMap &active = frame.ActiveColorMap();
            if (BitsForColors(std::max(count, 4)) >= FrameCodeSize(frame))
                continue;
            TGIFSubImage smaller(&image);
            smaller.Assign(frame);
            TGIFLocalColorMap &table = smaller.ColorTable();
            table.Clear();
            std::vector<uint8_t> translation(256, 0);
            for (int c = 0; c < 256; ++c)
                if (used[size_t(c)]) {
                    translation[size_t(c)] = uint8_t(table.Count());
                    // The transparent entry and entries beyond the table show no colour of their own.
                    table.Add(c != t && c < active.Count() ? active.Colors(c) : 0);
                }
            std::for_each(smaller.Data(), smaller.Data() + smaller.DataSize(),
                          [&](uint8_t &p) { p = translation[p]; });
            if (t >= 0)
                for (TGIFGraphicControlExtension *control : FrameControls(smaller))
                    control->SetTransparentIndex(translation[size_t(t)]);
            const int64_t size = EncodedSize(frame);
            if (EncodedSize(smaller, size - 1) < size)
                frame.Assign(smaller);
        }
    }

    // A frame whose colours the global table holds, or has room for, gives up its own table and
    // uses the global one (frames on it are coded only as wide as their highest index, so a
    // larger global table costs just its own bytes, once). True when it did.
    bool MergeIntoGlobalTable(TGIFSubImage &frame)
    {
        TGIFColorMap &local = frame.ColorTable(), &global = image.GlobalColorMap();
        if (global.Count() == 0 || frame.Empty())
            return false;
        std::vector<bool> taken(256, false);
        IndexSet used;
        used.Add(frame.Data(), frame.DataSize());
        const int t = frame.TransparentIndex();
        const int room = 256, globalCount = global.Count();
        auto undo = [&] {
            while (global.Count() > globalCount)
                global.Delete(global.Count() - 1);
            return false;
        };
        std::vector<uint8_t> translation(256, 0);
        for (int i = 0; i < 256; ++i) {
            if (!used[i] || i == t)
                continue;
            if (i >= local.Count())
                return undo();
            int g = global.IndexOf(local.Colors(i));
            if (g < 0 && global.Count() >= room)
                return undo();
            if (g < 0)
                g = global.Add(local.Colors(i));
            translation[size_t(i)] = uint8_t(g);
            taken[size_t(g)] = true;
        }
        if (t >= 0) {
            // Any entry the frame shows nowhere serves as its transparent index.
            int g = int(std::find(taken.begin(), taken.begin() + global.Count(), false) - taken.begin());
            if (g == global.Count() && g >= room)
                return undo();
            if (g == global.Count())
                global.Add(0);
            translation[size_t(t)] = uint8_t(g);
        }
        local.RemapPixels(translation);
        local.Clear();
        frame.DropRendering();
        return true;
    }

    // A frame without an image keeps these settings: its blocks are written before the next
    // image and apply to it when the file is read again.
    void DropUnusedTransparency()
    {
        for (int i = 0; i < frames.Count(); ++i) {
            TGIFSubImage &frame = *frames[i];
            if (!frame.Empty() && frame.Transparent && !UsesTransparentIndex(frame))
                for (TGIFGraphicControlExtension *control : FrameControls(frame))
                    control->SetTransparent(false);
            Step();
        }
    }

    // Restoring the area of a frame is needless when the next frame is opaque and covers it.
    void DropHiddenDisposal()
    {
        for (int i = 0; i < frames.Count(); ++i) {
            if (i + 1 < frames.Count()) {
                TGIFSubImage &frame = *frames[i], &next = *frames[i + 1];
                const int disposal = FrameDisposal(frame);
                if ((disposal == 2 || disposal == 3) && !frame.Empty() && !next.Transparent && !next.Empty() &&
                    Covers(next, frame))
                    for (TGIFGraphicControlExtension *control : FrameControls(frame))
                        control->SetDisposal(0);
            }
            Step();
        }
    }

    // Of these forms of a frame, each cropped to the box of the pixels that change, the
    // smallest is kept: as it was; with the pixels that repeat the frame below made
    // transparent but for short holes; and that with runs of one colour kept too. In a noisy
    // picture scattered transparent pixels can cost more than they save, while the box still
    // spares what does not change.
    void DropRepeatedPixels()
    {
        for (int i = frames.Count() - 1; i >= 1; --i) {
            int below = i - 1;
            while (below > 0 && FrameDisposal(*frames[below]) == 3)
                --below;
            TGIFSubImage &frame = *frames[i];
            TGIFSubImage before(&image);
            before.Assign(frame);
            TGIFColorMap &table = frame.ActiveColorMap();
            const int tableSize = table.Count();
            frame.DropRepeats(frames[below]);
            if (!SamePixels(frame, before))
                KeepSmallest(frame, before);
            // An entry added for the repeated pixels that they no longer take goes again, so
            // that it does not fill the table.
            if (table.Count() > tableSize && frame.TransparentIndex() < tableSize)
                table.Delete(table.Count() - 1);
            Step();
        }
        Step();
    }

    // The repeated pixels take the lowest index that the pixels within the box of changes do
    // not show (nor short holes filled from them): tables are sorted by use, so the codes
    // stay as narrow as the colours that change allow.
    static void LowerTransparentIndex(TGIFSubImage &merged, TGIFSubImage &changed, const TGIFSubImage &before)
    {
        const int t = merged.TransparentIndex();
        IndexSet used;
        for (int y = 0; y < changed.Height; ++y) {
            const uint8_t *row =
                before.Data() + size_t(changed.Top - before.Top + y) * before.Width + (changed.Left - before.Left);
            used.Add(row, size_t(changed.Width));
        }
        used[size_t(t)] = false;
        const int lowest = int(std::find(used.begin(), used.end(), false) - used.begin());
        if (lowest >= t || lowest >= merged.ActiveColorMap().Count())
            return;
        for (TGIFSubImage *frame : {&merged, &changed}) {
            std::replace(frame->Data(), frame->Data() + frame->DataSize(), uint8_t(t), uint8_t(lowest));
            for (TGIFGraphicControlExtension *control : FrameControls(*frame))
                control->SetTransparentIndex(lowest);
            frame->DropRendering();
        }
    }

    void KeepSmallest(TGIFSubImage &merged, const TGIFSubImage &before)
    {
        TGIFSubImage changed(&image);
        changed.Assign(merged);
        changed.Trim();
        if (!changed.Empty())
            LowerTransparentIndex(merged, changed, before);
        TGIFSubImage opaque(&image), holes(&image), runs(&image);
        opaque.Assign(before);
        holes.Assign(merged);
        FillShortHoles(holes, before);
        runs.Assign(holes);
        KeepUniformRuns(runs, before, changed);
        // All forms show only the box of the changes, but a frame restored to the background
        // clears its whole area: its size must stay.
        if ((options & CompactTrim) && FrameDisposal(before) != 2 && !changed.Empty())
            for (TGIFSubImage *form : {&opaque, &merged, &holes, &runs})
                form->Crop(changed.Left, changed.Top, changed.Width, changed.Height);
        if (FewLongRepeats(merged)) {
            merged.Assign(opaque);
            return;
        }
        // Each form is encoded only as far as it can still beat the smallest so far.
        TGIFSubImage *best = &opaque;
        int64_t bestSize = EncodedSize(opaque);
        for (TGIFSubImage *form : {&holes, &runs}) {
            const int64_t size = EncodedSize(*form, bestSize - 1);
            if (size < bestSize) {
                best = form;
                bestSize = size;
            }
        }
        merged.Assign(*best);
    }

    // Repeats scattered over a large frame, as where noise in a photo happens to match, make
    // holes that cost more codes than they save: on real footage the opaque box then always
    // won by far, so the forms with holes are not measured where under 1/32 of the pixels
    // lie in runs of 16 or more repeated ones.
    static bool FewLongRepeats(const TGIFSubImage &merged)
    {
        const int64_t size = merged.DataSize();
        if (size < 4096)
            return false;
        const uint8_t *p = merged.Data(), t = uint8_t(merged.TransparentIndex());
        int64_t inRuns = 0;
        for (int64_t i = 0; i < size;) {
            const int64_t end = std::find_if(p + i, p + size, [t](uint8_t c) { return c != t; }) - p;
            if (end - i >= 16)
                inRuns += end - i;
            i = std::max(end, i + 1);
            i = std::find(p + i, p + size, t) - p;
        }
        return inRuns * 32 < size;
    }

    // Runs of repeated pixels of one colour keep it: a run codes as well as a hole, and
    // continues the strings of that colour around it. Short ones between other colours stay
    // holes.
    static void KeepUniformRuns(TGIFSubImage &merged, const TGIFSubImage &before, const TGIFSubImage &box)
    {
        const int t = merged.TransparentIndex(), wasTransparent = before.TransparentIndex();
        const int minimum = 5;
        const int left = box.Left - merged.Left, right = left + box.Width;
        for (int y = box.Top - merged.Top; y < box.Top - merged.Top + box.Height; ++y) {
            uint8_t *row = merged.Data() + size_t(y) * merged.Width;
            const uint8_t *original = before.Data() + size_t(y) * merged.Width;
            int x = left;
            while (x < right) {
                if (row[x] != t || original[x] == wasTransparent) {
                    ++x;
                    continue;
                }
                int end = x;
                while (end < right && row[end] == t && original[end] != wasTransparent)
                    ++end;
                const uint8_t colour = original[x];
                const bool uniform = std::all_of(original + x, original + end, [colour](uint8_t c) { return c == colour; });
                if (end - x >= minimum && uniform)
                    std::copy(original + x, original + end, row + x);
                x = end;
            }
        }
        merged.DropRendering();
    }

    // Short runs of repeated pixels between changed ones in a row get their colour back: a
    // hole in a run of colours often codes longer than the colours it hides.
    static void FillShortHoles(TGIFSubImage &merged, const TGIFSubImage &before)
    {
        const int t = merged.TransparentIndex(), wasTransparent = before.TransparentIndex();
        // Longer holes mostly pay for themselves; 64 did best on real animations.
        const int limit = 64;
        for (int y = 0; y < merged.Height; ++y) {
            uint8_t *row = merged.Data() + size_t(y) * merged.Width;
            const uint8_t *original = before.Data() + size_t(y) * merged.Width;
            int x = 0;
            while (x < merged.Width) {
                if (row[x] != t || original[x] == wasTransparent) {
                    ++x;
                    continue;
                }
                int end = x;
                while (end < merged.Width && row[end] == t && original[end] != wasTransparent)
                    ++end;
                if (x > 0 && end < merged.Width && end - x <= limit)
                    std::copy(original + x, original + end, row + x);
                x = end;
            }
        }
        merged.DropRendering();
    }

    void TrimFrames()
    {
        const int count = frames.Count();
        for (int i = count - 1; i >= 0; --i) {
            Step();
            TGIFSubImage &frame = *frames[i];
            // A frame restored to the background clears its whole area afterwards, seen or not:
            // its size is part of what the animation shows.
            if (frame.Empty() || !frame.Transparent || frame.TransparentIndex() < 0 || FrameDisposal(frame) == 2)
                continue;
            if (HasVisiblePixel(frame)) {
                frame.Trim();
                continue;
            }
            // Nothing of the frame shows: it goes, unless it is the only one, and the frame before
            // is shown for longer. But the first frame shows the empty screen, and a frame after
            // one that is restored shows the screen restored: these keep one pixel.
            if (frames.Count() == 1)
                continue;
            if (i == 0 || frames[i - 1]->Empty() || FrameDisposal(*frames[i - 1]) == 2 ||
                FrameDisposal(*frames[i - 1]) == 3) {
                frame.Crop(frame.Left, frame.Top, 1, 1);
                continue;
            }
            const int delay = frame.FrameControl ? frame.FrameControl->Delay() : 0;
            MoveExtensions(frame, *frames[i + 1 < frames.Count() ? i + 1 : i - 1]);
            AddDelay(*frames[i - 1], delay);
            frames.Delete(i);
        }
    }

    void DropNonDisplay()
    {
        DropIdleControls();
        const int count = frames.Count();
        for (int i = count - 1; i >= 0; --i) {
            TGIFSubImage &frame = *frames[i];
            TGIFExtensionList &extensions = frame.Extensions();
            for (int e = extensions.Count() - 1; e >= 0; --e) {
                const TGIFExtension *extension = extensions[e];
                const bool loop = dynamic_cast<const TGIFAppExtNSLoop *>(extension) != nullptr;
                if (NonDisplay(extension) || (loop && !(i == 0 && count > 1)))
                    extensions.Delete(e);
            }
            if (frame.Empty() && extensions.Count() == 0 && frames.Count() > 1)
                frames.Delete(i);
            Step();
        }
    }

    // A graphic control block that asks for nothing (no delay, transparency, input or disposal)
    // goes. Some decoders (ImageMagick among them) carry the delay and disposal of the last
    // block to the frames without one, so a block also stays where it resets a delay or a
    // disposal that an earlier block set. A picture of one frame has no timing to keep.
    void DropIdleControls()
    {
        const bool single = frames.Count() == 1;
        bool carried = false;   // a kept block before sets a delay or a disposal
        for (int i = 0; i < frames.Count(); ++i)
            for (TGIFGraphicControlExtension *control : FrameControls(*frames[i])) {
                const bool timing = control->Delay() != 0 || control->Disposal() >= 2;
                if (!control->Transparent() && !control->WaitForInput() && (single || (!timing && !carried)))
                    frames[i]->Extensions().Delete(frames[i]->Extensions().IndexOf(control));
                else
                    carried = timing;
            }
    }

    TGIFImage &image;
    TGIFImageList &frames;
    uint8_t options;
    int total = 0, done = 0;
};

} // namespace

void TGIFImage::Compact(uint8_t options, uint8_t reductionMode, uint8_t, int)
{
    if (GetEmpty())
        return;
    // Checked before anything changes, so that a refused call leaves the picture as it was.
    if ((options & CompactColors) && !(options & CompactCleanup) && reductionMode == 9)
        throw GIFException("Invalid reduction method");
    // No painter may read the frames while they change; a later Draw starts a new one.
    StopPainters();
    Progress(TProgressStage::Starting, 0, false, QRect(), "Optimizing...");
    narrowCodeSizes = true;
    try {
        Optimizer(*this, options).Run();
    } catch (...) {
        Progress(TProgressStage::Ending, 0, false, QRect(), "Optimizing...");
        throw;
    }
    Changed();
    Progress(TProgressStage::Ending, 100, false, QRect(), "Optimizing...");
}
