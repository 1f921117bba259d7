// libFuzzer target: playing every picture the reader accepts through the animation painter
// (run inside Draw with a clock that never waits), with the drawing options the input's last
// byte toggles, at the picture's own size or (as the byte before it chooses) stretched into a
// smaller area; then the picture's full-size bitmap and its image. Refusals for size are
// expected; any other failure is a finding.
#include "fuzz/FuzzInput.h"
#include "tests/support/GIFPlayback.h"

#include "platform/Graphic.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    LimitPictureSizes();
    TGIFImage image;
    if (!LoadInput(image, data, size))
        return 0;
    const uint8_t choice = InputChoice(data, size);
    static const uint16_t toggles[8] = {DrawTransparent, DrawAnimate, DrawLoop, DrawLoopForever,
                                        DrawDirect, DrawClearOnLoop, DrawTile, DrawAutoDither};
    uint16_t options = DefaultPaintFlags;
    for (int bit = 0; bit < 8; ++bit)
        if (choice & (1 << bit))
            options ^= toggles[bit];
    // The full-size bitmap and the painter's work bitmaps take the screen's size: large screens
    // are drawn straight onto a smaller area.
    const int64_t screen = int64_t(image.GetWidth()) * image.GetHeight();
    const bool large = screen > (1 << 18);
    if (large)
        options |= DrawDirect;
    const bool stretched = large || (size >= 2 && (data[size - 2] & 1));
    const QSize area = stretched ? QSize(std::clamp(image.GetWidth() / 3, 1, 300), std::clamp(image.GetHeight() / 3, 1, 300))
                                                : QSize(std::max(image.GetWidth(), 1), std::max(image.GetHeight(), 1));
    const int limit = 2 * image.Images().Count() + 2;
    try {
        Check(gifplayback::PlayFrames(image, options, area, limit) <= limit);
        if (!large) {
            image.Bitmap();
            image.ToImage();
        }
    } catch (const GIFException &) {
    } catch (const EInvalidGraphic &) {   // too large to draw
    } catch (const EOutOfMemory &) {
    }
    return 0;
}
