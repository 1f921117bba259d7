#pragma once
// The metafile: a Windows metafile (WMF, played through libwmf's own API into SVG) or an
// enhanced metafile (EMF, converted by libemf2svg), drawn with Qt SVG so that it scales.
// Metafiles are transparent: what they do not paint shows what lies behind them.
#include "platform/Graphic.h"

#include <QByteArray>

#include <memory>

class QSvgRenderer;

class TMetafile : public TGraphic {
    Q_OBJECT
public:
    TMetafile();
    ~TMetafile() override;

    void Assign(const TGraphic &source) override;   // from another metafile
    bool GetEmpty() const override { return data.isEmpty(); }
    // Size in screen pixels (96 per inch).
    int GetWidth() const override { return width; }
    int GetHeight() const override { return height; }
    bool GetTransparent() const override { return true; }
    void SetTransparent(bool) override {}
    void Draw(TCanvas &canvas, const QRect &rect) override;
    // A WMF (placeable or not) or EMF file, told apart by its header.
    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;   // the file as read

    bool Enhanced() const { return enhanced; }
    // Size in 0.01 mm.
    int MMWidth() const { return mmWidth; }
    int MMHeight() const { return mmHeight; }
    // The SVG the metafile was turned into (for tests and diagnostics).
    const QByteArray &Svg() const { return svg; }

private:
    QByteArray data;
    QByteArray svg;
    std::unique_ptr<QSvgRenderer> renderer;
    bool enhanced = false;
    int width = 0, height = 0, mmWidth = 0, mmHeight = 0;
};
