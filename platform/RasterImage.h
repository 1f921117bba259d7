#pragma once
// A PNG or WebP picture, read and written through Qt's image readers. It is a 32-bit bitmap
// whose own alpha channel says where it is transparent, whatever the control asks for.
#include "platform/Bitmap.h"

#include <QByteArray>

class TRasterImage : public TBitmap {
    Q_OBJECT
public:
    // format: Qt's name of the file format ("png", "webp").
    explicit TRasterImage(const QByteArray &format);

    bool GetTransparent() const override { return true; }
    void SetTransparent(bool) override {}
    void Draw(TCanvas &canvas, const QRect &rect) override;
    QImage ToImage() const override;
    // Throws EInvalidGraphic for a damaged file or one larger than MaxGraphicPixels.
    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;

private:
    QByteArray format;
    std::string invalid;   // the message for a file this format cannot read
};
