// libFuzzer target: TGIFImage::LoadFromStream on arbitrary bytes; a picture that loads is also
// saved with both encoders and loaded again (the second load must succeed).
#include "gif/GIFImage.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Keep single allocations small enough for the fuzzer's memory limit.
    GIFMaxFramePixels = uint64_t(1) << 22;
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TGIFImage image;
    int warnings = 0;
    image.OnCodecWarning = [&warnings](TGIFImage &, int, const std::string &) { ++warnings; };
    try {
        image.LoadFromStream(buffer);
    } catch (const GIFException &) {
        if (buffer.pos() != 0)
            std::abort();   // the stream must be set back after a failed load
        return 0;
    }
    // The writer writes every application extension with block size 11: one read as "unknown"
    // because of an odd block size, but carrying a registered identifier, comes back as that
    // registered class and may then refuse its own sub-blocks. Such pictures skip the re-load.
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFExtensionList &list = image.Images()[i]->Extensions();
        for (int e = 0; e < list.Count(); ++e)
            if (auto *app = dynamic_cast<TGIFUnknownAppExtension *>(list[e]))
                if (FindAppExtension(app->Identifier.data()))
                    return 0;
    }
    for (int encoding : {int(encLZW), int(encRunLength)}) {
        QByteArray saved;
        QBuffer out(&saved);
        out.open(QIODevice::WriteOnly);
        image.Encoding = uint8_t(encoding);
        try {
            image.SaveToStream(out);
        } catch (const GIFException &) {
            continue;   // no frames, or pixels beyond the colour table
        }
        out.close();
        out.open(QIODevice::ReadOnly);
        TGIFImage again;
        again.LoadFromStream(out);   // a failure here is a finding
        // Frames that hold only extensions are written without an image, so their extensions
        // join the next frame on reloading: compare the frames that have images.
        std::vector<TGIFSubImage *> a, b;
        for (int i = 0; i < image.Images().Count(); ++i)
            if (!image.Images()[i]->Empty())
                a.push_back(image.Images()[i]);
        for (int i = 0; i < again.Images().Count(); ++i)
            if (!again.Images()[i]->Empty())
                b.push_back(again.Images()[i]);
        if (a.size() != b.size())
            std::abort();
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i]->DataSize() != b[i]->DataSize() || memcmp(a[i]->Data(), b[i]->Data(), a[i]->DataSize()) != 0)
                std::abort();
    }
    return 0;
}
