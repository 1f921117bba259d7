#pragma once
// The graphic base class: a picture that knows its size and palette, draws itself into a
// rectangle of a canvas, loads from and saves to a stream, and reports change and progress.
// Concrete pictures (bitmaps, icons, metafiles, JPEG, GIF) derive from it and register their
// file extensions with the picture loader.
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPainter>
#include <QPointer>
#include <QRect>
#include <QRgb>
#include <QWidget>

#include <atomic>

#include "platform/Exceptions.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TGraphic;

// A drawing surface: a painter on a paint device. A canvas may outlive its painter (the
// picture control keeps one canvas and attaches the painter of each paint event to it);
// Active() tells whether it can be drawn on now.
class TCanvas {
public:
    TCanvas() = default;
    explicit TCanvas(QPainter &painter) : p(&painter) {}
    virtual ~TCanvas() = default;
    TCanvas(const TCanvas &) = delete;
    TCanvas &operator=(const TCanvas &) = delete;
    QPainter &Painter() const { return *p; }
    void Attach(QPainter *painter) { p = painter; }
    bool Active() const;

    // The widget the canvas paints, if any.
    QWidget *Owner() const { return owner; }
    void SetOwner(QWidget *widget) { owner = widget; }
    // A drawing step that may come between paint events begins (Lock) and ends (Unlock); a
    // canvas over an image opens its painter for it.
    virtual void Lock() {}
    virtual void Unlock() {}
    // What the canvas shows in rect: the pixels of an image, or the background of the
    // owning widget (what lies behind a picture control), else transparent.
    virtual QImage Grab(const QRect &rect) const;

    // Draws a graphic stretched over rect (the graphic's own Draw).
    void StretchDraw(const QRect &rect, TGraphic &graphic);
    // Draws a graphic at its own size with its top-left corner at (x, y).
    void Draw(int x, int y, TGraphic &graphic);
    // Draws an image stretched over rect; with a mask (1 bit per pixel, 1 = transparent, the
    // image's size), the destination stays where the mask bit is 1.
    void StretchDrawImage(const QRect &rect, const QImage &image);
    void StretchDrawMasked(const QRect &rect, const QImage &image, const QImage &mask);
    void FillRect(const QRect &rect, QRgb color);

private:
    QPainter *p = nullptr;
    QPointer<QWidget> owner;
};

// A canvas over an image that stays drawable between paint events: Lock opens a painter on
// the image, the matching Unlock closes it.
class TImageCanvas : public TCanvas {
public:
    explicit TImageCanvas(QImage &image) : image(image) {}
    ~TImageCanvas() override;
    void Lock() override;
    void Unlock() override;
    QImage Grab(const QRect &rect) const override;

private:
    QImage &image;
    QPainter painter;
    int locks = 0;
};

// A platform palette: up to 256 colours; an empty list means none.
using TPalette = QList<QRgb>;

enum class TProgressStage { Starting, Running, Ending };

class TGraphic : public QObject {
    Q_OBJECT
public:
    TGraphic() = default;
    ~TGraphic() override = default;

    virtual void Assign(const TGraphic &source);   // default: raises "Cannot assign ..."
    virtual bool Equals(const TGraphic &other) const { return this == &other; }
    virtual bool GetEmpty() const = 0;
    virtual int GetWidth() const = 0;
    virtual int GetHeight() const = 0;
    virtual void SetWidth(int) {}
    virtual void SetHeight(int) {}
    virtual TPalette GetPalette() const { return {}; }
    virtual void SetPalette(const TPalette &) {}
    virtual bool GetTransparent() const { return transparent; }
    virtual void SetTransparent(bool value);
    // Draws the picture over rect of the canvas, stretched to fit it.
    virtual void Draw(TCanvas &canvas, const QRect &rect) = 0;
    virtual void LoadFromStream(QIODevice &stream) = 0;
    virtual void SaveToStream(QIODevice &stream) = 0;
    virtual void LoadFromFile(const std::string &fileName);   // path as the program holds it
    virtual void SaveToFile(const std::string &fileName);
    // The picture rendered at its own size into a 32-bit image (transparent where the picture
    // is); the default draws it through Draw onto a transparent image.
    virtual QImage ToImage() const;
    // A picture that animates stops, keeping what it shows (StopAnimation), or so that it
    // plays from the start when it is drawn next (RewindAnimation). Others do nothing.
    virtual void StopAnimation() {}
    virtual void RewindAnimation() {}

    bool Modified() const { return modified; }
    void SetModified(bool value) { modified = value; }

    // Raises the change event (and marks the picture modified).
    virtual void Changed();
    // Raises the progress event; redraw asks listeners to repaint at once.
    void Progress(TProgressStage stage, int percent, bool redraw, const QRect &rect, const std::string &message);
    // True when a progress handler is connected (reports can be skipped otherwise).
    bool ProgressWanted() const;

signals:
    void changed(TGraphic *sender);
    void progress(TGraphic *sender, TProgressStage stage, int percent, bool redraw, const QRect &rect,
                  const QString &message);

protected:
    void connectNotify(const QMetaMethod &signal) override;

private:
    bool transparent = false;
    bool modified = false;
    // Set once anything connects to progress: until then no handler needs a look (most
    // pictures never have one, and the exact look costs more than a load of a small one).
    std::atomic<bool> progressConnected = false;
};

// A picture file that its decoder rejects (or that no class reads).
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// A drawing operation that the picture cannot carry out (a row outside the picture ...).
class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};

// Memory for a picture could not be had.
class EOutOfMemory : public Exception {
public:
    using Exception::Exception;
};

// The largest picture the decoders accept, in pixels (width x height): larger headers are
// refused before any pixel memory is allocated.
constexpr long long MaxGraphicPixels = 64LL * 1024 * 1024;
// The largest picture file read into memory, in bytes.
constexpr qint64 MaxGraphicFileBytes = 256LL * 1024 * 1024;
// Throws EInvalidGraphic(message) when width or height is not positive or their product is
// above MaxGraphicPixels.
void CheckGraphicSize(long long width, long long height, const std::string &message);
// The rest of a stream from its current position (at most MaxGraphicFileBytes, else
// EInvalidGraphic(message)).
QByteArray ReadRestOfStream(QIODevice &stream, const std::string &message);
// Saves into memory what save writes to a stream, then replaces the file's content with it
// whole (ReplaceFileContent), so that a failure, a crash or a full disk leaves the old file.
void SaveStreamToFile(const std::string &fileName, const std::function<void(QIODevice &)> &save);
class QFile;
// Opens a regular file, given by its path's file-system bytes, for reading; false for anything
// else, such as a pipe or a device, which could block or never end.
bool OpenRegularFile(QFile &file, const std::string &nativePath);
// Opens the regular file (OpenRegularFile) and lets load read it: EFOpenError ("Cannot open
// file %s") when it cannot be opened.
void LoadStreamFromFile(const std::string &fileName, const std::function<void(QIODevice &)> &load);

// The picture loader's table of file formats: extension (without dot, any letter case) to a
// factory of the graphic class that reads it.
using GraphicFactory = std::function<std::unique_ptr<TGraphic>()>;
void RegisterFileFormat(const std::string &extension, const std::string &description, GraphicFactory factory);
void UnregisterFileFormat(const std::string &extension);
// The factory for a file's extension, or nothing when no class is registered for it.
GraphicFactory GraphicFactoryForFile(const std::string &fileName);
std::string FileFormatDescription(const std::string &extension);
