#pragma once
// A 24-bit bitmap whose pixels a function gives, for the colour reduction tests.
#include "platform/Bitmap.h"

#include <QImage>

#include <functional>
#include <memory>

inline std::unique_ptr<TBitmap> TrueColor(int w, int h, const std::function<QRgb(int, int)> &color)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, color(x, y));
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetImage(image, TPixelFormat::pf24bit);
    return bitmap;
}
