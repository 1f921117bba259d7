#include "gif/GIFStreamIO.h"

#include <QBuffer>

#include <cerrno>

void GIFReadDevice(QIODevice &device, const std::function<void(TGIFInput &)> &read)
{
    const qint64 start = device.pos();
    auto *buffer = qobject_cast<QBuffer *>(&device);
    const bool inMemory = buffer && buffer->isReadable();
    // A QBuffer's bytes are shared, not copied. (Held, not just referred to: a warning handler
    // may change the buffer while its bytes are read.)
    const QByteArray bytes = inMemory ? buffer->data() : device.readAll();
    TGIFInput input(reinterpret_cast<const uint8_t *>(bytes.constData()), bytes.size(), inMemory ? start : 0);
    const qint64 base = inMemory ? 0 : start;
    struct Reached {
        QIODevice &device;
        const TGIFInput &input;
        qint64 base;
        ~Reached()
        {
            if (!device.isSequential() && device.pos() != base + input.Pos())
                device.seek(base + input.Pos());
        }
    } reached{device, input, base};
    read(input);
}

void GIFWriteBytes(QIODevice &stream, const void *buffer, qint64 count)
{
    if (count > 0 && stream.write(static_cast<const char *>(buffer), count) != count)
        throw EInOutError(EIO);
}

void GIFWriteByte(QIODevice &stream, uint8_t b) { GIFWriteBytes(stream, &b, 1); }
