#pragma once
// The metafile: a Windows metafile (WMF, played through libwmf's own API into SVG) or an
// enhanced metafile (EMF, converted by libemf2svg), drawn by Qt SVG at its own size in a child
// process (DecoderProcess.h), since a hostile file can make each of these take without end.
// Metafiles are transparent: what they do not paint shows what lies behind them.
#include "platform/DecoderProcess.h"
#include "platform/Graphic.h"

#include <QByteArray>
#include <QImage>

class TMetafile : public TGraphic {
    Q_OBJECT
public:
    TMetafile();
    ~TMetafile() override;

    void Assign(const TGraphic &source) override;   // from another metafile
    bool GetEmpty() const override { return data.isEmpty(); }
    // Size in screen pixels (96 per inch).
    int GetWidth() const override { return picture.width(); }
    int GetHeight() const override { return picture.height(); }
    bool GetTransparent() const override { return true; }
    void SetTransparent(bool) override {}
    void Draw(TCanvas &canvas, const QRect &rect) override;
    // A WMF (placeable or not) or EMF file, told apart by its header, drawn in a child process.
    void LoadFromStream(QIODevice &stream) override;
    void SaveToStream(QIODevice &stream) override;   // the file as read

    bool Enhanced() const { return enhanced; }
    // Size in 0.01 mm.
    int MMWidth() const { return mmWidth; }
    int MMHeight() const { return mmHeight; }
private:
    QByteArray data;
    QImage picture;   // drawn at its own size, transparent where nothing is painted
    bool enhanced = false;
    int mmWidth = 0, mmHeight = 0;
};

// Checks the records (MetafileRecords.h), plays the file into SVG and draws that at the
// picture's own size. facts: 1 for an enhanced metafile, then its width and height in 0.01 mm.
// Throws EInvalidGraphic.
DecodedPicture DrawMetafileFile(const QByteArray &file);
