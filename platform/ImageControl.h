#pragma once
// The picture control (`PreviewV`, `Image1`): a widget that shows the graphic of its picture
// holder, stretched over its area or at its own size from the top-left corner (or centred),
// and repaints whenever the graphic reports a change. An animated graphic plays while the
// control is shown; hidden, it stops, and it plays from the start when the control shows again.
#include "platform/Picture.h"

#include <QWidget>

#include <string>

class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget *parent = nullptr);
    ~TImage() override;

    TPicture &Picture() { return picture; }
    const TPicture &Picture() const { return picture; }

    // Stretch: the graphic fills the whole control. Otherwise it is drawn at its own size,
    // from the top-left corner, or in the middle when Center is set.
    bool Stretch() const { return stretch; }
    void SetStretch(bool value);
    bool Center() const { return center; }
    void SetCenter(bool value);
    // Transparent: the graphic's transparent parts show the control's background (the
    // graphic's own Transparent is switched on for every graphic it holds); otherwise a bitmap
    // is drawn opaque. Icons and metafiles are always transparent.
    bool Transparent() const { return transparent; }
    void SetTransparent(bool value);

    // The control's canvas: the same object in every paint event, active only while the
    // control paints (a graphic must not keep drawing on it afterwards).
    TCanvas &Canvas() { return canvas; }

    // The rectangle the graphic is drawn into, in widget coordinates (empty without graphic).
    QRect DestRect() const;

    // Stops an animated graphic where it is; it keeps showing that frame.
    void StopAnimation();

    // A screen reader names the control by the file of its picture while it shows one, and
    // "No picture" otherwise.
    void SetPictureName(const QString &name);

signals:
    void progress(TGraphic *sender, TProgressStage stage, int percent, bool redraw, const QRect &rect,
                  const QString &message);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void PictureChanged();
    void UpdateAccessibleName();
    TPicture picture;
    QString pictureName;
    TCanvas canvas;
    bool stretch = false, center = false, transparent = false;
    bool painting = false;
};

// The picture loader: loads the file at path (8-bit code page, used as stored) into
// the control's picture by its extension, compared case-insensitively. Throws on an unknown
// extension, an unreadable file or a file its decoder rejects; the control then keeps its
// previous picture.
void LoadPicture(TImage &control, const std::string &path);
// The same for a path given as text.
void LoadPicture(TImage &control, const QString &path);
