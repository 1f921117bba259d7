#pragma once
// What a GIF picture shows as it plays, for the codec tests and the fuzz targets: the screens
// a player composes frame by frame, and a play through the program's own painter that never
// waits.
#include "gif/GIFFrameControl.h"
#include "gif/GIFImage.h"
#include "gif/GIFPainter.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace gifplayback {

// The logical screen after each frame that has an image: frames drawn over each other without
// their transparent pixels, then restored to the background (disposal 2) or to what was shown
// before them (disposal 3). Pixels beyond a frame's table show black, the background is 0, and
// screens that repeat the one before are left out (a frame that changes nothing shows
// nothing).
inline std::vector<std::vector<uint32_t>> ShownScreens(TGIFImage &image)
{
    const int width = image.GetWidth(), height = image.GetHeight();
    std::vector<uint32_t> screen(size_t(width) * size_t(height), 0);
    std::vector<std::vector<uint32_t>> shown;
    for (int f = 0; f < image.Images().Count(); ++f) {
        TGIFSubImage &frame = *image.Images()[f];
        if (frame.Empty())
            continue;
        const std::vector<uint32_t> before = screen;
        const TGIFColorMap &colors = frame.ActiveColorMap();
        const int transparent = frame.TransparentIndex();
        // The area of the frame that lies on the screen.
        const int left = std::min<int>(frame.Left, width), top = std::min<int>(frame.Top, height);
        const int right = std::clamp(frame.Left + frame.Width, left, width);
        const int bottom = std::clamp(frame.Top + frame.Height, top, height);
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const int p = frame.Data()[size_t(y - frame.Top) * frame.Width + size_t(x - frame.Left)];
                if (p == transparent)
                    continue;
                uint32_t rgb = 0;
                if (p < colors.Count()) {
                    const TGIFColor &c = colors.Data()[p];
                    rgb = uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
                }
                screen[size_t(y) * width + size_t(x)] = 0xFF000000u | rgb;
            }
        if (shown.empty() || shown.back() != screen)
            shown.push_back(screen);
        const int disposal = FrameDisposal(frame);
        if (disposal == 3)
            screen = before;
        if (disposal == 2)
            for (int y = top; y < bottom; ++y)
                std::fill(screen.begin() + y * width + left, screen.begin() + y * width + right, 0u);
    }
    return shown;
}

// Composing every frame on the screen costs screen x frames: true for the pictures where that
// stays quick.
inline bool QuickToCompose(const TGIFImage &image)
{
    const uint64_t screen = uint64_t(image.GetWidth()) * uint64_t(image.GetHeight());
    return screen <= (1u << 16) && screen * uint64_t(image.Images().Count()) <= (1u << 22);
}

// A painter clock whose time moves on only by the waits, at once.
class InstantClock : public TPainterClock {
public:
    int64_t Now() override { return now; }
    bool Wait(TPainterEvent &event, int64_t ms) override
    {
        now += std::max<int64_t>(ms, 0);
        return event.WaitFor(0);
    }

private:
    int64_t now = 0;
};

// Plays the picture with the drawing options (without a thread of its own) into an image of
// the given size, and stops after `limit` frames. Returns the frames painted; failures of the
// drawing propagate.
inline int PlayFrames(TGIFImage &image, uint16_t options, const QSize &size, int limit)
{
    InstantClock clock;
    int painted = 0;
    struct Restore {
        TGIFImage &image;
        ~Restore()
        {
            image.PainterClock = nullptr;
            image.OnFramePainted = nullptr;
        }
    } restore{image};
    image.PainterClock = &clock;
    image.PaintFlags = uint16_t(options & ~DrawAsync);
    image.OnFramePainted = [&](TGIFPainter &painter) {
        if (++painted >= limit)
            painter.Stop();
    };
    QImage target(size, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::white);
    QPainter painter(&target);
    TCanvas canvas(painter);
    image.Draw(canvas, target.rect());
    return painted;
}

} // namespace gifplayback
