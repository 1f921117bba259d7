// A GIF picture on the clipboard: pasted from GIF data or from any picture, copied as GIF data
// with an image beside it for other programs.
#include "gif/GIFImage.h"

#include "platform/Bitmap.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

const char *const GIFClipboardMimeType = "image/gif";
const char *const GIFClipboardFormatName = "GIF Image";

// The application's clipboard, or none without a GUI application.
static QClipboard *Clipboard()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

void TGIFImage::LoadFromClipboardFormat()
{
    QClipboard *clipboard = Clipboard();
    const QMimeData *mime = clipboard ? clipboard->mimeData() : nullptr;
    if (!mime)
        throw GIFException("Unsupported clipboard format");
    // The pasted picture is made apart, so that a paste that fails leaves this one as it was.
    TGIFImage pasted;
    pasted.OnCodecWarning = OnCodecWarning;
    const char *gifFormat = nullptr;
    for (const char *format : {GIFClipboardFormatName, GIFClipboardMimeType})
        if (!gifFormat && mime->hasFormat(format))
            gifFormat = format;
    if (gifFormat) {
        QByteArray bytes = mime->data(gifFormat);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        pasted.LoadFromStream(buffer);
    } else {
        // Any other picture the clipboard offers becomes one frame.
        const QImage picture = mime->hasImage() ? qvariant_cast<QImage>(mime->imageData()) : QImage();
        if (picture.isNull())
            throw GIFException("Unsupported clipboard format");
        pasted.ReductionMode = ReductionMode;
        pasted.DitherKind = DitherKind;
        pasted.PaletteBits = PaletteBits;
        pasted.Assign(*BitmapFromImage(picture));
    }
    // Assign brings the pasted picture's settings along; this picture keeps its own.
    const uint16_t flags = PaintFlags;
    const uint8_t priority = PainterPriority;
    const TColor backdrop = BackdropColor;
    Assign(pasted);
    PaintFlags = flags;
    PainterPriority = priority;
    BackdropColor = backdrop;
}

void TGIFImage::SaveToClipboardFormat()
{
    if (GetEmpty())
        return;
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        SaveToStream(buffer);
    }
    QClipboard *clipboard = Clipboard();
    if (!clipboard)
        throw GIFException("Failed to store GIF on clipboard");
    auto mime = std::make_unique<QMimeData>();
    mime->setData(GIFClipboardFormatName, bytes);
    mime->setData(GIFClipboardMimeType, bytes);
    // A logical screen too large to draw in memory is copied as GIF data alone.
    if (qint64(GetWidth()) * GetHeight() <= MaxGraphicPixels) {
        const QImage picture = ToImage();
        if (!picture.isNull())
            mime->setImageData(picture);
    }
    clipboard->setMimeData(mime.release());   // the clipboard owns it from here
}
