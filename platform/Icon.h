#pragma once
// The icon: one image of an ICO file (Qt's ICO reader), drawn with its transparency.
#include "platform/Graphic.h"

#include <QByteArray>
#include <QImage>

class TIcon : public TGraphic {
    Q_OBJECT
public:
    TIcon() = default;

    void Assign(const TGraphic &source) override;   // from another icon
    bool GetEmpty() const override { return image.isNull(); }
    int GetWidth() const override { return image.width(); }
    int GetHeight() const override { return image.height(); }
    // An icon is always drawn through its mask.
    bool GetTransparent() const override { return true; }
    void SetTransparent(bool) override {}
    void Draw(TCanvas &canvas, const QRect &rect) override;
    // An ICO (or CUR) file; of several images the one nearest to 32 x 32 with the most colours.
    void LoadFromStream(QIODevice &stream) override;
    // The file as it was read (an icon made otherwise is written as a one-image ICO).
    void SaveToStream(QIODevice &stream) override;
    QImage ToImage() const override { return image; }

    // The picture (32-bit with alpha) and its 1-bit mask (QImage::Format_Mono, 1 = transparent).
    const QImage &Image() const { return image; }
    QImage Mask() const;
    void SetImage(const QImage &value);

private:
    QImage image;        // Format_ARGB32
    QByteArray original; // the ICO file as read
};
