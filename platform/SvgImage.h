#pragma once
// An SVG drawing, drawn with Qt SVG. Only what is safe of the file is drawn (SvgSafety.h): it
// never loads another file. Its size is the drawing's own, scaled down to fit MaxSvgSide; it is
// drawn at the size it is shown at, each time within a time limit, and transparent where it
// paints nothing.
#include "platform/Graphic.h"

#include <QByteArray>
#include <QImage>

#include <chrono>
#include <memory>

class QSvgRenderer;

class TSvgImage : public TGraphic {
    Q_OBJECT
public:
    static constexpr int MaxSvgSide = 2048;
    static constexpr std::chrono::milliseconds DrawingTime{1000};

    TSvgImage();
    ~TSvgImage() override;

    void Assign(const TGraphic &source) override;   // from another SVG drawing
    bool GetEmpty() const override { return safe.isEmpty(); }
    int GetWidth() const override { return size.width(); }
    int GetHeight() const override { return size.height(); }
    bool GetTransparent() const override { return true; }
    void SetTransparent(bool) override {}
    void Draw(TCanvas &canvas, const QRect &rect) override;
    QImage ToImage() const override;
    // Throws EInvalidGraphic for a damaged or unsafe file.
    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;   // the file as read

    // The drawing at a size, made within DrawingTime; what did not fit in the time is left out.
    QImage Rendered(const QSize &at) const;

private:
    QByteArray data, safe;
    std::unique_ptr<QSvgRenderer> renderer;
    QSize size;
    QImage shown;   // the drawing at the size it was last drawn at
};
