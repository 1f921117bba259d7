#pragma once
// The JPEG picture, decoded and encoded through libjpeg's own API (never Qt's JPEG plugin).
// A corrupt or truncated file fails with EInvalidGraphic instead of ending the program.
#include "platform/DecoderProcess.h"
#include "platform/Graphic.h"

#include <QByteArray>
#include <QImage>

class TJPEGImage : public TGraphic {
    Q_OBJECT
public:
    TJPEGImage() = default;

    void Assign(const TGraphic &source) override;   // a JPEG picture, or any graphic (encoded)
    bool GetEmpty() const override { return image.isNull(); }
    int GetWidth() const override { return image.width(); }
    int GetHeight() const override { return image.height(); }
    void Draw(TCanvas &canvas, const QRect &rect) override;
    // Decodes the file in a child process (DecodeJpegFile).
    void LoadFromStream(QIODevice &stream) override;
    // The file as read, or the picture compressed at CompressionQuality.
    void SaveToStream(QIODevice &stream) override;
    QImage ToImage() const override { return image.convertToFormat(QImage::Format_ARGB32); }

    const QImage &Image() const { return image; }   // Format_RGB32 (opaque)
    void SetImage(const QImage &value);
    int CompressionQuality() const { return quality; }
    void SetCompressionQuality(int value) { quality = qBound(1, value, 100); }
    bool Grayscale() const { return grayscale; }     // the file held one component

private:
    QImage image;
    QByteArray original;
    int quality = 90;
    bool grayscale = false;
};

// Reads the header, refuses pictures above MaxGraphicPixels and files of more than a hundred
// scans, and decompresses to RGB rows; facts[0] is 1 for a file of one (grey) component.
// Throws EInvalidGraphic with libjpeg's error.
DecodedPicture DecodeJpegFile(const QByteArray &file);
