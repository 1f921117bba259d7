// libFuzzer target: the whole-picture optimiser (TGIFImage::Compact) on every picture the
// reader accepts, with the options the input's last byte chooses (all of them for a file that
// ends with its trailer). The optimised picture must show what the original showed, save, and
// load again showing the same (where no frame without an image holds a graphic control block);
// optimising it again must not fail either.
#include "fuzz/FuzzInput.h"
#include "tests/support/GIFPlayback.h"

#include <QBuffer>

namespace {

QByteArray Save(TGIFImage &image)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    image.SaveToStream(out);   // a failure here is a finding
    return bytes;
}

// A frame without an image is written without one: its graphic control block joins the next
// image's when the file is read again, and may change what that image shows.
bool ControlsWithoutImage(TGIFImage &image)
{
    for (int i = 0; i < image.Images().Count(); ++i)
        if (image.Images()[i]->Empty() && image.Images()[i]->FrameControl)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    LimitPictureSizes();
    TGIFImage image;
    if (!LoadInput(image, data, size))
        return 0;
    const uint8_t options = uint8_t(CompactAll & ~InputChoice(data, size));
    const bool compare = gifplayback::QuickToCompose(image);
    std::vector<std::vector<uint32_t>> shown;
    if (compare)
        shown = gifplayback::ShownScreens(image);
    image.Compact(options);   // a failure here is a finding
    if (compare)
        Check(gifplayback::ShownScreens(image) == shown);
    const QByteArray saved = Save(image);
    TGIFImage again;
    Check(LoadInput(again, reinterpret_cast<const uint8_t *>(saved.constData()), size_t(saved.size())));
    if (compare && !ControlsWithoutImage(image))
        Check(gifplayback::ShownScreens(again) == shown);
    again.Compact(CompactAll);
    Save(again);
    return 0;
}
