#include "platform/SvgImage.h"

#include "platform/SvgSafety.h"
#include "platform/TimedImagePainter.h"

#include <QPainter>
#include <QSvgRenderer>

namespace {
const char *const InvalidSvg = "SVG drawing is not valid";
// Larger files are not read: an SVG a person draws is far smaller.
constexpr qint64 MaxSvgFileBytes = 16LL << 20;

// The drawing's own size, scaled down to fit MaxSvgSide; a drawing that gives none is 300 x 150,
// as in web browsers.
QSize ShownSize(QSizeF own)
{
    if (!(own.width() > 0 && own.height() > 0))
        own = QSizeF(300, 150);
    const double side = TSvgImage::MaxSvgSide;
    if (own.width() > side || own.height() > side)
        own.scale(side, side, Qt::KeepAspectRatio);
    return QSize(std::max(1, qRound(own.width())), std::max(1, qRound(own.height())));
}
} // namespace

TSvgImage::TSvgImage() = default;
TSvgImage::~TSvgImage() = default;

void TSvgImage::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *svg = qobject_cast<const TSvgImage *>(&source)) {
        data = svg->data;
        safe = svg->safe;
        renderer = std::make_unique<QSvgRenderer>(safe);
        renderer->setAspectRatioMode(Qt::IgnoreAspectRatio);
        size = svg->size;
        shown = {};
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

QImage TSvgImage::Rendered(const QSize &at) const
{
    QImage image(at, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    TimedImageDevice device(image, QDeadlineTimer(DrawingTime));
    QPainter painter(&device);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer->render(&painter, QRectF(QPointF(0, 0), QSizeF(at)));
    painter.end();
    return image;
}

void TSvgImage::Draw(TCanvas &canvas, const QRect &rect)
{
    if (GetEmpty() || rect.isEmpty())
        return;
    if (shown.size() != rect.size())
        shown = Rendered(rect.size());
    canvas.StretchDrawImage(rect, shown);
}

QImage TSvgImage::ToImage() const
{
    return GetEmpty() ? QImage() : Rendered(size).convertToFormat(QImage::Format_ARGB32);
}

void TSvgImage::LoadFromStream(QIODevice &stream)
{
    const QByteArray file = ReadRestOfStream(stream, InvalidSvg);
    if (file.size() > MaxSvgFileBytes)
        throw EInvalidGraphic(InvalidSvg);
    QByteArray drawn = SafeSvg(file);
    auto parsed = std::make_unique<QSvgRenderer>(drawn);
    if (!parsed->isValid())
        throw EInvalidGraphic(InvalidSvg);
    parsed->setAspectRatioMode(Qt::IgnoreAspectRatio);   // stretched like every other picture
    data = file;
    safe = std::move(drawn);
    renderer = std::move(parsed);
    QSizeF own = renderer->defaultSize();
    if (own.isEmpty())
        own = renderer->viewBoxF().size();
    size = ShownSize(own);
    shown = {};
    Changed();
}

void TSvgImage::SaveToStream(QIODevice &stream)
{
    if (!data.isEmpty() && stream.write(data) != data.size())
        throw EInvalidGraphic("Unable to write SVG drawing");
}
