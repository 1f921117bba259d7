#include "platform/TimedImagePainter.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>

// Hands every operation on to a painter of the image while there is time.
class TimedPaintEngine : public QPaintEngine {
public:
    TimedPaintEngine(QImage &image, QDeadlineTimer deadline) : QPaintEngine(AllFeatures), image(image), deadline(deadline) {}

    bool expired = false;

    bool begin(QPaintDevice *) override { return target.begin(&image); }
    bool end() override { return target.end(); }
    Type type() const override { return User; }

    void updateState(const QPaintEngineState &state) override
    {
        const DirtyFlags dirty = state.state();
        if (dirty & DirtyTransform)
            target.setTransform(state.transform());
        if (dirty & DirtyPen)
            target.setPen(state.pen());
        if (dirty & DirtyBrush)
            target.setBrush(state.brush());
        if (dirty & DirtyBrushOrigin)
            target.setBrushOrigin(state.brushOrigin());
        if (dirty & DirtyBackground)
            target.setBackground(state.backgroundBrush());
        if (dirty & DirtyBackgroundMode)
            target.setBackgroundMode(state.backgroundMode());
        if (dirty & DirtyFont)
            target.setFont(state.font());
        if (dirty & DirtyHints)
            target.setRenderHints(state.renderHints());
        if (dirty & DirtyCompositionMode)
            target.setCompositionMode(state.compositionMode());
        if (dirty & DirtyOpacity)
            target.setOpacity(state.opacity());
        if (dirty & DirtyClipPath)
            target.setClipPath(state.clipPath(), state.clipOperation());
        if (dirty & DirtyClipRegion)
            target.setClipRegion(state.clipRegion(), state.clipOperation());
        if (dirty & DirtyClipEnabled)
            target.setClipping(state.isClipEnabled());
    }

    void drawPath(const QPainterPath &path) override
    {
        if (Live())
            target.drawPath(path);
    }
    void drawPolygon(const QPointF *points, int count, PolygonDrawMode mode) override
    {
        if (!Live())
            return;
        if (mode == PolylineMode)
            target.drawPolyline(points, count);
        else
            target.drawPolygon(points, count, mode == WindingMode ? Qt::WindingFill : Qt::OddEvenFill);
    }
    void drawRects(const QRectF *rects, int count) override
    {
        if (Live())
            target.drawRects(rects, count);
    }
    void drawLines(const QLineF *lines, int count) override
    {
        if (Live())
            target.drawLines(lines, count);
    }
    void drawEllipse(const QRectF &rect) override
    {
        if (Live())
            target.drawEllipse(rect);
    }
    void drawPoints(const QPointF *points, int count) override
    {
        if (Live())
            target.drawPoints(points, count);
    }
    void drawPixmap(const QRectF &rect, const QPixmap &pixmap, const QRectF &source) override
    {
        if (Live())
            target.drawPixmap(rect, pixmap, source);
    }
    void drawTiledPixmap(const QRectF &rect, const QPixmap &pixmap, const QPointF &offset) override
    {
        if (Live())
            target.drawTiledPixmap(rect, pixmap, offset);
    }
    void drawImage(const QRectF &rect, const QImage &picture, const QRectF &source, Qt::ImageConversionFlags flags) override
    {
        if (Live())
            target.drawImage(rect, picture, source, flags);
    }
    void drawTextItem(const QPointF &position, const QTextItem &item) override
    {
        // The base class fills the glyphs' outlines through drawPath.
        if (Live())
            QPaintEngine::drawTextItem(position, item);
    }

private:
    bool Live()
    {
        if (!expired && deadline.hasExpired())
            expired = true;
        return !expired;
    }

    QImage &image;
    QDeadlineTimer deadline;
    QPainter target;
};

TimedImageDevice::TimedImageDevice(QImage &image, QDeadlineTimer deadline)
    : image(image), engine(std::make_unique<TimedPaintEngine>(image, deadline))
{
}

TimedImageDevice::~TimedImageDevice() = default;

QPaintEngine *TimedImageDevice::paintEngine() const { return engine.get(); }

bool TimedImageDevice::Expired() const { return engine->expired; }

int TimedImageDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth: return image.width();
    case PdmHeight: return image.height();
    case PdmWidthMM: return image.widthMM();
    case PdmHeightMM: return image.heightMM();
    case PdmDpiX:
    case PdmPhysicalDpiX: return image.logicalDpiX();
    case PdmDpiY:
    case PdmPhysicalDpiY: return image.logicalDpiY();
    case PdmDepth: return image.depth();
    case PdmNumColors: return image.colorCount();
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
    default: return QPaintDevice::metric(metric);
    }
}
