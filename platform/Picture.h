#pragma once
// The picture holder: one graphic of any registered class. LoadFromFile picks the class by
// the file's extension (any letter case) from the registry of Graphic.h and keeps its previous
// graphic when the file cannot be loaded.
#include "platform/Graphic.h"

#include <QObject>

#include <memory>
#include <string>

class TBitmap;

class TPicture : public QObject {
    Q_OBJECT
public:
    TPicture() = default;
    ~TPicture() override;

    TGraphic *Graphic() const { return graphic.get(); }
    // Takes the graphic (none empties the holder); reports a change.
    void SetGraphic(std::unique_ptr<TGraphic> value);
    // The graphic when it is a bitmap; otherwise the holder's graphic is replaced by a new
    // empty bitmap (as the toolkit's picture does).
    TBitmap &Bitmap();
    int Width() const { return graphic ? graphic->GetWidth() : 0; }
    int Height() const { return graphic ? graphic->GetHeight() : 0; }

    // Path in the program's 8-bit code page. Throws EInvalidGraphic for an extension without
    // a registered class ("Unknown picture file extension (.xyz)"), EFOpenError for a file that
    // cannot be opened, and the decoder's exception for a file it rejects; in all three cases
    // the holder keeps its previous graphic.
    void LoadFromFile(const std::string &fileName);
    // The same for a path given as text (a UTF-8 Deck's field).
    void LoadFromFile(const QString &path);
    void SaveToFile(const std::string &fileName);
    void Assign(const TPicture &source);   // a copy of the other holder's graphic

signals:
    // The graphic was replaced or reported a change.
    void changed(TPicture *sender);
    // The graphic's progress, passed on.
    void progress(TGraphic *sender, TProgressStage stage, int percent, bool redraw, const QRect &rect,
                  const QString &message);

private:
    std::unique_ptr<TGraphic> graphic;
};

// Registers the built-in formats: bmp (TBitmap), ico (TIcon), wmf and emf (TMetafile), jpg and
// jpeg (TJPEGImage), png and webp (TRasterImage), svg (TSvgImage). Called once at program start
// (the GIF codec adds "gif" itself).
void RegisterBuiltInFormats();
