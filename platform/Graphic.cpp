#include "platform/Graphic.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/TextFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QMetaMethod>
#include <QPainter>

#include <map>
#include <unistd.h>

bool TCanvas::Active() const { return p && p->isActive(); }

void TCanvas::StretchDraw(const QRect &rect, TGraphic &graphic) { graphic.Draw(*this, rect); }

void TCanvas::Draw(int x, int y, TGraphic &graphic)
{
    graphic.Draw(*this, QRect(x, y, graphic.GetWidth(), graphic.GetHeight()));
}

void TCanvas::StretchDrawImage(const QRect &rect, const QImage &image)
{
    if (image.isNull() || rect.isEmpty())
        return;
    p->drawImage(rect, image);
}

void TCanvas::StretchDrawMasked(const QRect &rect, const QImage &image, const QImage &mask)
{
    if (image.isNull() || rect.isEmpty())
        return;
    if (mask.isNull() || mask.size() != image.size()) {
        p->drawImage(rect, image);
        return;
    }
    // The mask's bits are read as bits (index 0 or 1), whatever its colour table says.
    QImage masked = image.convertToFormat(QImage::Format_ARGB32);
    const QImage m = mask.format() == QImage::Format_Mono ? mask : mask.convertToFormat(QImage::Format_Mono);
    for (int y = 0; y < masked.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(masked.scanLine(y));
        const uchar *bits = m.constScanLine(y);
        for (int x = 0; x < masked.width(); ++x)
            if (bits[x >> 3] & (0x80 >> (x & 7)))
                row[x] = 0;
    }
    p->drawImage(rect, masked);
}

QImage TCanvas::Grab(const QRect &rect) const
{
    if (rect.isEmpty())
        return {};
    if (p && p->isActive())
        if (auto *device = dynamic_cast<QImage *>(p->device()))
            return device->copy(p->transform().mapRect(rect)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage behind(rect.size(), QImage::Format_ARGB32_Premultiplied);
    behind.fill(owner ? owner->palette().color(owner->backgroundRole()) : QColor(Qt::transparent));
    return behind;
}

TImageCanvas::~TImageCanvas()
{
    if (painter.isActive())
        painter.end();
}

void TImageCanvas::Lock()
{
    if (locks++ == 0 && !image.isNull() && painter.begin(&image))
        Attach(&painter);
}

void TImageCanvas::Unlock()
{
    if (locks > 0 && --locks == 0) {
        if (painter.isActive())
            painter.end();
        Attach(nullptr);
    }
}

QImage TImageCanvas::Grab(const QRect &rect) const
{
    if (rect.isEmpty())
        return {};
    return image.copy(rect).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void TCanvas::FillRect(const QRect &rect, QRgb color) { p->fillRect(rect, QColor::fromRgba(color)); }

QImage TGraphic::ToImage() const
{
    const int w = GetWidth(), h = GetHeight();
    if (GetEmpty() || w <= 0 || h <= 0)
        return {};
    CheckGraphicSize(w, h, "Graphic is too large");
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    TCanvas canvas(painter);
    const_cast<TGraphic *>(this)->Draw(canvas, QRect(0, 0, w, h));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

void CheckGraphicSize(long long width, long long height, const std::string &message)
{
    if (width <= 0 || height <= 0 || width * height > MaxGraphicPixels)
        throw EInvalidGraphic(message);
}

QByteArray ReadRestOfStream(QIODevice &stream, const std::string &message)
{
    if (!stream.isSequential()) {
        const qint64 rest = stream.size() - stream.pos();
        if (rest > MaxGraphicFileBytes)
            throw EInvalidGraphic(message);
        return rest > 0 ? stream.read(rest) : QByteArray();
    }
    // A pipe or socket: read in pieces, never more than the limit.
    QByteArray data;
    while (true) {
        const QByteArray piece = stream.read(64 * 1024);
        if (piece.isEmpty())
            break;
        data += piece;
        if (data.size() > MaxGraphicFileBytes)
            throw EInvalidGraphic(message);
    }
    return data;
}

void TGraphic::Assign(const TGraphic &source)
{
    throw Exception(std::string("Cannot assign a ") + source.metaObject()->className() + " to a " +
                    metaObject()->className());
}

void TGraphic::SetTransparent(bool value)
{
    if (value != transparent) {
        transparent = value;
        Changed();
    }
}

void TGraphic::Changed()
{
    modified = true;
    emit changed(this);
}

void TGraphic::Progress(TProgressStage stage, int percent, bool redraw, const QRect &rect, const std::string &message)
{
    // Nothing to convert the message for when nobody listens.
    if (!ProgressWanted())
        return;
    emit progress(this, stage, percent, redraw, rect, FromAnsi(message));
}

namespace {
const QMetaMethod &ProgressSignal()
{
    static const QMetaMethod signal = QMetaMethod::fromSignal(&TGraphic::progress);
    return signal;
}
} // namespace

bool TGraphic::ProgressWanted() const { return progressConnected.load() && isSignalConnected(ProgressSignal()); }

void TGraphic::connectNotify(const QMetaMethod &signal)
{
    if (signal == ProgressSignal())
        progressConnected = true;
}

bool OpenRegularFile(QFile &file, const std::string &nativePath)
{
    const int fd = OpenFileForReading(nativePath);
    if (fd < 0)
        return false;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
}

void LoadStreamFromFile(const std::string &fileName, const std::function<void(QIODevice &)> &load)
{
    QFile file;
    if (!OpenRegularFile(file, QFile::encodeName(PathFromAnsi(fileName)).toStdString()))
        throw EFOpenError("Cannot open file " + fileName);
    load(file);
}

void TGraphic::LoadFromFile(const std::string &fileName)
{
    LoadStreamFromFile(fileName, [this](QIODevice &stream) { LoadFromStream(stream); });
}

void SaveStreamToFile(const std::string &fileName, const std::function<void(QIODevice &)> &save)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    save(buffer);
    ReplaceFileContent(fileName, bytes.toStdString());
}

void TGraphic::SaveToFile(const std::string &fileName)
{
    SaveStreamToFile(fileName, [this](QIODevice &stream) { SaveToStream(stream); });
}

namespace {
struct FileFormat {
    std::string description;
    GraphicFactory factory;
};

std::string LowerExtension(std::string extension)
{
    for (char &c : extension)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return extension;
}

std::map<std::string, FileFormat> &Formats()
{
    static std::map<std::string, FileFormat> formats;
    return formats;
}
} // namespace

void RegisterFileFormat(const std::string &extension, const std::string &description, GraphicFactory factory)
{
    Formats()[LowerExtension(extension)] = {description, std::move(factory)};
}

void UnregisterFileFormat(const std::string &extension) { Formats().erase(LowerExtension(extension)); }

GraphicFactory GraphicFactoryForFile(const std::string &fileName)
{
    const auto dot = fileName.find_last_of('.');
    const auto slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    auto it = Formats().find(LowerExtension(fileName.substr(dot + 1)));
    return it == Formats().end() ? GraphicFactory{} : it->second.factory;
}

std::string FileFormatDescription(const std::string &extension)
{
    auto it = Formats().find(LowerExtension(extension));
    return it == Formats().end() ? std::string{} : it->second.description;
}
