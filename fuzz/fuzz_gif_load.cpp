// libFuzzer target: TGIFImage::LoadFromStream on arbitrary bytes. A failed load must set the
// stream back. Every picture that loads is copied with Assign, saved with both encoders and
// loaded again: the copy must write the same bytes, the reloaded picture must hold the same
// frames, pixels and extensions, warn of nothing the first reading did not, and write the same
// bytes again.
#include "fuzz/FuzzInput.h"
#include "tests/support/GIFExtensionBytes.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace {

QByteArray Save(TGIFImage &image, int encoding)
{
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    image.Encoding = uint8_t(encoding);
    image.SaveToStream(out);   // a failure here is a finding
    return bytes;
}

// Frames that hold only extensions are written without an image, so their extensions join the
// next frame when the file is read again: compare the frames that have images, and the
// extensions of all frames in their order (AllExtensions).
std::vector<TGIFSubImage *> FramesWithImages(TGIFImage &image)
{
    std::vector<TGIFSubImage *> frames;
    for (int i = 0; i < image.Images().Count(); ++i)
        if (!image.Images()[i]->Empty())
            frames.push_back(image.Images()[i]);
    return frames;
}

bool SameFrame(const TGIFSubImage &a, const TGIFSubImage &b)
{
    return a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height &&
           a.Interlaced() == b.Interlaced() && a.DataSize() == b.DataSize() &&
           std::memcmp(a.Data(), b.Data(), a.DataSize()) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    LimitPictureSizes();
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TGIFImage image;
    std::set<std::string> warned;
    image.OnCodecWarning = [&warned](TGIFImage &, int, const std::string &message) { warned.insert(message); };
    try {
        image.LoadFromStream(buffer);
    } catch (const GIFException &) {
        Check(buffer.pos() == 0);   // the stream must be set back after a failed load
        return 0;
    }
    TGIFImage copy;
    copy.Assign(image);
    for (int encoding : {int(encLZW), int(encRunLength)}) {
        const QByteArray saved = Save(image, encoding);
        Check(Save(copy, encoding) == saved);
        QBuffer in;
        in.setData(saved);
        in.open(QIODevice::ReadOnly);
        TGIFImage again;
        bool newWarning = false;
        again.OnCodecWarning = [&](TGIFImage &, int, const std::string &message) {
            newWarning = newWarning || !warned.count(message);
        };
        again.LoadFromStream(in);   // a failure here is a finding
        Check(!newWarning);
        Check(in.pos() == saved.size());
        const std::vector<TGIFSubImage *> a = FramesWithImages(image), b = FramesWithImages(again);
        Check(a.size() == b.size());
        for (size_t i = 0; i < a.size(); ++i)
            Check(SameFrame(*a[i], *b[i]));
        Check(AllExtensions(image) == AllExtensions(again));
        Check(Save(again, encoding) == saved);
    }
    return 0;
}
