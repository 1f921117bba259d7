#include "platform/Picture.h"

#include "platform/Bitmap.h"
#include "platform/CodePage.h"
#include "platform/Icon.h"
#include "platform/JPEGImage.h"
#include "platform/Metafile.h"
#include "platform/RasterImage.h"
#include "platform/SvgImage.h"

#include <QFile>

TPicture::~TPicture()
{
    // The graphic goes first, without telling anybody.
    if (graphic)
        graphic->disconnect(this);
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> value)
{
    if (graphic)
        graphic->disconnect(this);
    graphic = std::move(value);
    if (graphic) {
        connect(graphic.get(), &TGraphic::changed, this, [this](TGraphic *) { emit changed(this); });
        connect(graphic.get(), &TGraphic::progress, this, &TPicture::progress);
    }
    emit changed(this);
}

TBitmap &TPicture::Bitmap()
{
    if (auto *b = qobject_cast<TBitmap *>(graphic.get()))
        return *b;
    SetGraphic(std::make_unique<TBitmap>());
    return static_cast<TBitmap &>(*graphic);
}

namespace {
std::unique_ptr<TGraphic> NewGraphicFor(const std::string &fileName)
{
    const GraphicFactory factory = GraphicFactoryForFile(fileName);
    if (!factory) {
        const auto dot = fileName.find_last_of('.');
        const auto slash = fileName.find_last_of('/');
        const std::string ext =
            dot == std::string::npos || (slash != std::string::npos && dot < slash) ? std::string() : fileName.substr(dot);
        throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
    }
    std::unique_ptr<TGraphic> fresh = factory();
    if (!fresh)
        throw EInvalidGraphic("Unknown picture file extension");
    return fresh;
}
} // namespace

void TPicture::LoadFromFile(const std::string &fileName)
{
    std::unique_ptr<TGraphic> fresh = NewGraphicFor(fileName);
    fresh->LoadFromFile(fileName);   // throws; the previous graphic stays
    fresh->SetModified(false);
    SetGraphic(std::move(fresh));
}

void TPicture::LoadFromFile(const QString &path)
{
    const std::string name = ToAnsiLossy(path);   // the extension, and the name in a message
    std::unique_ptr<TGraphic> fresh = NewGraphicFor(name);
    QFile file;
    if (!OpenRegularFile(file, NativePath(path)))
        throw EFOpenError("Cannot open file " + name);
    fresh->LoadFromStream(file);   // throws; the previous graphic stays
    fresh->SetModified(false);
    SetGraphic(std::move(fresh));
}

void TPicture::SaveToFile(const std::string &fileName)
{
    if (graphic)
        graphic->SaveToFile(fileName);
}

void TPicture::Assign(const TPicture &source)
{
    if (&source == this)
        return;
    if (!source.graphic) {
        SetGraphic(nullptr);
        return;
    }
    const GraphicFactory factory = [&]() -> GraphicFactory {
        const TGraphic &g = *source.graphic;
        if (qobject_cast<const TBitmap *>(&g))
            return [] { return std::make_unique<TBitmap>(); };
        if (qobject_cast<const TIcon *>(&g))
            return [] { return std::make_unique<TIcon>(); };
        if (qobject_cast<const TMetafile *>(&g))
            return [] { return std::make_unique<TMetafile>(); };
        if (qobject_cast<const TJPEGImage *>(&g))
            return [] { return std::make_unique<TJPEGImage>(); };
        return [] { return std::make_unique<TBitmap>(); };
    }();
    auto copy = factory();
    copy->Assign(*source.graphic);
    SetGraphic(std::move(copy));
}

void RegisterBuiltInFormats()
{
    RegisterFileFormat("bmp", "Bitmaps", [] { return std::make_unique<TBitmap>(); });
    RegisterFileFormat("ico", "Icons", [] { return std::make_unique<TIcon>(); });
    RegisterFileFormat("wmf", "Metafiles", [] { return std::make_unique<TMetafile>(); });
    RegisterFileFormat("emf", "Enhanced Metafiles", [] { return std::make_unique<TMetafile>(); });
    RegisterFileFormat("jpg", "JPEG Image File", [] { return std::make_unique<TJPEGImage>(); });
    RegisterFileFormat("jpeg", "JPEG Image File", [] { return std::make_unique<TJPEGImage>(); });
    RegisterFileFormat("png", "PNG Image", [] { return std::make_unique<TRasterImage>("png"); });
    RegisterFileFormat("webp", "WebP Image", [] { return std::make_unique<TRasterImage>("webp"); });
    RegisterFileFormat("svg", "SVG Drawing", [] { return std::make_unique<TSvgImage>(); });
}
