#pragma once
// The extensions of all frames of a picture in their order, as written: the same after a save
// and a reload even where a frame that holds only extensions is written without an image and
// its extensions join the next frame. Shared by the codec tests and the fuzz target.
#include "gif/GIFImage.h"

#include <QBuffer>
#include <QByteArray>

inline QByteArray AllExtensions(TGIFImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    for (int i = 0; i < image.Images().Count(); ++i)
        image.Images()[i]->Extensions().SaveToStream(buffer);
    return bytes;
}
