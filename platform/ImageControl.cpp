#include "platform/ImageControl.h"

#include "platform/CodePage.h"

#include <QFileInfo>
#include <QPainter>

TImage::TImage(QWidget *parent) : QWidget(parent)
{
    canvas.SetOwner(this);
    UpdateAccessibleName();
    connect(&picture, &TPicture::changed, this, [this](TPicture *) { PictureChanged(); });
    connect(&picture, &TPicture::progress, this,
            [this](TGraphic *sender, TProgressStage stage, int percent, bool redraw, const QRect &rect,
                   const QString &message) {
                emit progress(sender, stage, percent, redraw, rect, message);
                if (redraw && !painting && isVisible())
                    repaint();
            });
}

TImage::~TImage() { picture.disconnect(this); }

void TImage::SetStretch(bool value)
{
    if (value != stretch) {
        stretch = value;
        update();
    }
}

void TImage::SetCenter(bool value)
{
    if (value != center) {
        center = value;
        update();
    }
}

void TImage::SetTransparent(bool value)
{
    if (value != transparent) {
        transparent = value;
        if (TGraphic *g = picture.Graphic())
            g->SetTransparent(value);
        update();
    }
}

void TImage::PictureChanged()
{
    if (TGraphic *g = picture.Graphic()) {
        if (g->GetTransparent() != transparent) {
            const QSignalBlocker block(g);   // no second change report for this
            g->SetTransparent(transparent);  // icons and metafiles stay transparent
        }
    }
    if (!painting)
        update();
}

QRect TImage::DestRect() const
{
    const TGraphic *g = picture.Graphic();
    if (!g || g->GetEmpty())
        return {};
    if (stretch)
        return rect();
    QRect r(0, 0, g->GetWidth(), g->GetHeight());
    if (center) {
        r.moveLeft((width() - r.width()) / 2);
        r.moveTop((height() - r.height()) / 2);
    }
    return r;
}

void TImage::paintEvent(QPaintEvent *)
{
    TGraphic *g = picture.Graphic();
    if (!g || g->GetEmpty())
        return;
    const QRect dest = DestRect();
    if (dest.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    struct Attached {
        TImage &control;
        Attached(TImage &c, QPainter &p) : control(c)
        {
            control.painting = true;
            control.canvas.Attach(&p);
        }
        ~Attached()
        {
            control.canvas.Attach(nullptr);
            control.painting = false;
        }
    } attached(*this, painter);
    g->Draw(canvas, dest);
}

void TImage::StopAnimation()
{
    if (TGraphic *g = picture.Graphic())
        g->StopAnimation();
}

void TImage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    UpdateAccessibleName();
}

void TImage::hideEvent(QHideEvent *event)
{
    if (TGraphic *g = picture.Graphic())
        g->RewindAnimation();
    QWidget::hideEvent(event);
    UpdateAccessibleName();
}

void TImage::SetPictureName(const QString &name)
{
    pictureName = name;
    UpdateAccessibleName();
}

void TImage::UpdateAccessibleName()
{
    const bool shows = isVisible() && picture.Graphic() && !pictureName.isEmpty();
    const QString name = shows ? pictureName : QStringLiteral("No picture");
    if (accessibleName() != name)
        setAccessibleName(name);
}

void LoadPicture(TImage &control, const std::string &path) { LoadPicture(control, PathFromAnsi(path)); }

void LoadPicture(TImage &control, const QString &path)
{
    control.Picture().LoadFromFile(path);
    // A screen reader names the picture by its file.
    control.SetPictureName(QFileInfo(path).fileName());
}
