// Drawing GIF pictures: frame bitmaps with their palettes and transparency masks, drawing
// frames scaled, tiled and transparent, and the picture's Draw, which shows the first frame or
// starts an animation painter and shows what it paints.
#include "gif/ColorReduction.h"
#include "gif/GIFImage.h"
#include "gif/GIFPainter.h"
#include "gif/GIFTiles.h"

#include "platform/MainThreadCalls.h"

#include <QPointer>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

const char *const RenderingText = "Rendering...";

// a * b / c rounded to the nearest integer (halves away from zero).
int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return 0;
    int64_t n = int64_t(a) * b, d = c;
    if (d < 0) {
        n = -n;
        d = -d;
    }
    return int(n >= 0 ? (n + d / 2) / d : -((-n + d / 2) / d));
}

// Runs f on the picture's own thread: at once there, handed over otherwise (a painter renders
// the next frame in its thread). A picture gone by then drops the call.
template <typename F>
void OnPictureThread(TGIFImage *image, F f)
{
    if (!image)
        return;
    if (QThread::currentThread() == image->thread())
        f(*image);
    else
        QMetaObject::invokeMethod(image, [image, f] { f(*image); }, Qt::QueuedConnection);
}

void ReportRendering(TGIFImage *image, TProgressStage stage, int percent, bool redraw)
{
    OnPictureThread(image, [=](TGIFImage &picture) { picture.Progress(stage, percent, redraw, QRect(), RenderingText); });
}

// The transparency mask while a frame is rendered: 1 bit per pixel, 1 where the pixel is
// transparent, most significant bit first, rows padded to 16 bits.
class MaskBuilder {
public:
    MaskBuilder(int width, int height, bool wanted)
        : width(width), height(height), rowBytes(((width + 15) / 16) * 2),
          bits(wanted ? new std::vector<uint8_t>(size_t(rowBytes) * size_t(height), 0) : nullptr)
    {
    }
    ~MaskBuilder() { delete bits; }
    bool Wanted() const { return bits != nullptr; }
    void Set(int x, int y)
    {
        (*bits)[size_t(y) * rowBytes + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
        any = true;
    }
    // The mask, or none when no pixel was transparent.
    QImage Take()
    {
        if (!bits || !any)
            return {};
        std::vector<uint8_t> *owned = std::exchange(bits, nullptr);
        QImage mask(owned->data(), width, height, rowBytes, QImage::Format_Mono,
                    [](void *buffer) { delete static_cast<std::vector<uint8_t> *>(buffer); }, owned);
        mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        return mask;
    }

private:
    int width, height, rowBytes;
    std::vector<uint8_t> *bits;
    bool any = false;
};

// A frame bitmap (8 bits per pixel) in colours, ready to be drawn: opaque, or with the masked
// pixels transparent. Painting converts it anew for every frame of an animation, so the
// colours go into a buffer that is kept from one frame to the next.
const QImage &Displayable(const QImage &bitmap, const QImage &mask)
{
    thread_local QImage opaque, masked;
    QImage &buffer = mask.isNull() ? opaque : masked;
    const QImage::Format format = mask.isNull() ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    if (buffer.size() != bitmap.size())
        buffer = QImage(bitmap.size(), format);
    if (buffer.isNull())
        throw EOutOfMemory("Failed to allocate memory for GIF DIB");
    QRgb colors[256];
    const QList<QRgb> table = bitmap.colorTable();
    for (int i = 0; i < 256; ++i)
        colors[i] = i < table.size() ? table[i] | 0xFF000000u : 0xFF000000u;
    const int width = bitmap.width(), height = bitmap.height();
    for (int y = 0; y < height; ++y) {
        const uchar *indexes = bitmap.constScanLine(y);
        auto *row = reinterpret_cast<QRgb *>(buffer.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = colors[indexes[x]];
        if (mask.isNull())
            continue;
        const uchar *bits = mask.constScanLine(y);
        for (int x = 0; x < width; x += 8) {
            const uchar byte = bits[x >> 3];
            for (int bit = 0; byte && bit < 8 && x + bit < width; ++bit)
                if (byte & (0x80 >> bit))
                    row[x + bit] = 0;
        }
    }
    return buffer;
}

// Every 32nd row. A painter rendering the next frame in its own thread keeps the picture's
// thread free, and reports only where rendering starts and ends.
void ReportRow(TGIFImage *image, int row, int height)
{
    if (row % 32 == 0 && image && image->ProgressWanted() && QThread::currentThread() == image->thread())
        ReportRendering(image, TProgressStage::Running, row * 100 / height, false);
}

// Renders the frame row by row through a DIB writer with the palette: renderRow fills a row of
// the bitmap from the frame's row, and the mask marks the transparent pixels.
template <typename RenderRow>
void RenderRows(TGIFSubImage &frame, TBitmap &target, const TPalette &palette, MaskBuilder &mask, int transparent,
                RenderRow renderRow)
{
    const int width = frame.Width, height = frame.Height;
    TDIBWriter writer(target, TPixelFormat::pf8bit, width, height, palette);
    for (int y = 0; y < height; ++y) {
        const uint8_t *source = frame.Data() + size_t(y) * width;
        renderRow(source, writer.ScanLine(y));
        if (mask.Wanted())
            for (int x = 0; x < width; ++x)
                if (source[x] == transparent)
                    mask.Set(x, y);
        ReportRow(frame.Image(), y, height);
    }
    writer.Finish();
}

// Frame pixels copied unchanged under the frame's palette.
void RenderDirect(TGIFSubImage &frame, TBitmap &target, MaskBuilder &mask, int transparent)
{
    RenderRows(frame, target, frame.GetPalette(), mask, transparent,
               [&](const uint8_t *source, uint8_t *row) { std::memcpy(row, source, size_t(frame.Width)); });
}

// Frame colours dithered to the colour cube; transparent pixels keep the cube colour nearest
// to the transparent entry and spread no error.
void RenderDithered(TGIFSubImage &frame, TBitmap &target, MaskBuilder &mask, int transparent)
{
    // Entries beyond the table are black, as the direct renderer shows them.
    std::array<TGIFColor, 256> colors{};
    static_assert(sizeof(TGIFColor) == 3);
    const TGIFColorMap &map = frame.ActiveColorMap();
    std::copy_n(map.Data(), std::min(map.Count(), 256), colors.begin());
    TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer ditherer(frame.Width, lookup);
    uint8_t fill = 0;
    if (transparent >= 0) {
        TGIFColor c = colors[size_t(transparent)];
        fill = lookup.MapColor(c.Red, c.Green, c.Blue);
    }
    RenderRows(frame, target, MakeNetscapePalette(), mask, transparent, [&](const uint8_t *source, uint8_t *row) {
        std::memset(row, fill, size_t(frame.Width));
        ditherer.DitherIndexedRow(source, &colors[0].Red, transparent, row);
    });
}

} // namespace

// ---------------------------------------------------------------------------------------
// Frames

TPalette TGIFSubImage::GetPalette()
{
    if (!Bitmap.isNull() && Bitmap.colorCount() > 0)
        return Bitmap.colorTable();
    if (!Palette.isEmpty())
        return Palette;
    if (image && image->DitheringApplies())
        return Palette = MakeNetscapePalette();
    if (colorTable.Count() > 0)
        return Palette = colorTable.ToPalette();
    // Without a table of its own the frame shows the picture's global table. With none at all
    // its pixels show black, as other decoders show them and as the file is written back.
    if (!image || image->GlobalColorMap().Count() == 0)
        return {};
    return image->GetPalette();
}

void TGIFSubImage::SetPalette(const TPalette &palette)
{
    if (palette == Palette)
        return;
    Palette = palette;
    if (!Bitmap.isNull() && Bitmap.colorTable() != palette) {
        Bitmap = QImage();
        if (image) {
            image->PaletteModified = true;
            image->Changed();
        }
    }
}

void TGIFSubImage::DropRendering()
{
    // (Most frames never had a rendering: nothing to free.)
    if (!Bitmap.isNull())
        Bitmap = QImage();
    if (!Mask.isNull())
        Mask = QImage();
    Palette.clear();
    MaskPending = true;
}

QImage TGIFSubImage::EnsureBitmap()
{
    if (!Bitmap.isNull() || Empty())
        return Bitmap;
    std::unique_lock<std::recursive_mutex> guard;
    if (image)
        guard = std::unique_lock<std::recursive_mutex>(image->RenderLock());
    if (!Bitmap.isNull())
        return Bitmap;
    ReportRendering(image, TProgressStage::Starting, 0, false);
    try {
        const bool buildMask = MaskPending && Transparent && Mask.isNull();
        MaskPending = false;
        MaskBuilder mask(Width, Height, buildMask);
        TBitmap target;
        if (image && image->DitheringApplies())
            RenderDithered(*this, target, mask, TransparentIndex());
        else
            RenderDirect(*this, target, mask, TransparentIndex());
        Bitmap = target.Image();
        if (buildMask)
            Mask = mask.Take();
    } catch (...) {
        ReportRendering(image, TProgressStage::Ending, 0, false);
        throw;
    }
    const bool redraw = image && image->PaletteModified.exchange(false);
    ReportRendering(image, TProgressStage::Ending, 100, redraw);
    if (redraw)
        OnPictureThread(image, [](TGIFImage &picture) { picture.Changed(); });
    return Bitmap;
}

bool TGIFSubImage::MaskReady()
{
    if (MaskPending && Transparent) {
        std::unique_lock<std::recursive_mutex> guard;
        if (image)
            guard = std::unique_lock<std::recursive_mutex>(image->RenderLock());
        if (MaskPending && Transparent) {
            Bitmap = QImage();
            EnsureBitmap();
        }
    }
    return !Mask.isNull();
}

QRect TGIFSubImage::MapArea(const QRect &rect) const
{
    // A picture without a logical screen size is measured by this frame.
    const int screenWidth = image && image->GetWidth() > 0 ? image->GetWidth() : Left + Width;
    const int screenHeight = image && image->GetHeight() > 0 ? image->GetHeight() : Top + Height;
    const int left = rect.left() + MulDiv(Left, rect.width(), screenWidth);
    const int right = rect.left() + MulDiv(Left + Width, rect.width(), screenWidth);
    const int top = rect.top() + MulDiv(Top, rect.height(), screenHeight);
    const int bottom = rect.top() + MulDiv(Top + Height, rect.height(), screenHeight);
    return QRect(left, top, right - left, bottom - top);
}

void TGIFSubImage::Draw(TCanvas &canvas, const QRect &rect, bool transparent, bool tile)
{
    PaintFrame(canvas, tile ? rect : MapArea(rect), tile, transparent);
}

void TGIFSubImage::PaintFrame(TCanvas &canvas, const QRect &rect, bool tile, bool transparent)
{
    if (!canvas.Active() || rect.isEmpty())
        return;
    QImage bitmap = EnsureBitmap();
    QImage mask;
    if (transparent && Transparent && MaskReady()) {
        bitmap = Bitmap;
        mask = Mask;
    }
    if (bitmap.isNull())
        return;
    const QImage &colors = Displayable(bitmap, mask);
    auto paint = [&](const QRect &area) { canvas.StretchDrawImage(area, colors); };
    if (!tile) {
        paint(rect);
        return;
    }
    const QSize step = image ? QSize(image->GetWidth(), image->GetHeight()) : QSize(Width, Height);
    QPainter &painter = canvas.Painter();
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    ForEachTile(rect, QPoint(Left, Top), QSize(Width, Height), step, paint);
    painter.restore();
}

// ---------------------------------------------------------------------------------------
// The picture

bool TGIFImage::DitheringApplies() const
{
    return (PaintFlags & DrawDither) && (!(PaintFlags & DrawAutoDither) || GIFPaletteDisplay);
}

QImage TGIFImage::Bitmap()
{
    if (cachedBitmap.isNull())
        cachedBitmap = DrawFullSize();
    return cachedBitmap;
}

QImage TGIFImage::DrawFullSize()
{
    const QRect screen(0, 0, GetWidth(), GetHeight());
    if (GetEmpty() || screen.isEmpty())
        return {};
    TGIFSubImage *first = images.Frame(0);
    if (first->Left == 0 && first->Top == 0 && first->Width == screen.width() && first->Height == screen.height() &&
        !first->EnsureBitmap().isNull())
        return first->Bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    CheckGraphicSize(screen.width(), screen.height(), "Image dimensions too large");
    QImage full(screen.size(), QImage::Format_ARGB32_Premultiplied);
    full.fill(Qt::transparent);
    TImageCanvas canvas(full);
    canvas.Lock();
    first->Draw(canvas, screen, false, false);
    canvas.Unlock();
    return full;
}

QImage TGIFImage::ToImage() const
{
    const int w = GetWidth(), h = GetHeight();
    if (GetEmpty() || w <= 0 || h <= 0)
        return {};
    CheckGraphicSize(w, h, "Graphic is too large");
    const QImage full = cachedBitmap.isNull() ? const_cast<TGIFImage *>(this)->DrawFullSize() : cachedBitmap;
    return full.convertToFormat(QImage::Format_ARGB32);
}

void TGIFImage::DropCachedBitmap()
{
    {
        std::lock_guard<std::mutex> guard(painterLock);
        if (currentPainter)
            currentPainter->Stop();
    }
    cachedBitmap = QImage();
}

TGIFPainter *TGIFImage::CurrentPainter() const
{
    std::lock_guard<std::mutex> guard(painterLock);
    return currentPainter;
}

int TGIFImage::PainterCount() const
{
    std::lock_guard<std::mutex> guard(painterLock);
    return int(painterList.size());
}

void TGIFImage::Draw(TCanvas &canvas, const QRect &rect)
{
    if (drawing || images.Count() == 0)
        return;
    drawing = true;
    // A painter run inside Draw lets events through, and with them the end of this picture.
    struct DrawingFlag {
        QPointer<TGIFImage> image;
        ~DrawingFlag()
        {
            if (image)
                image->drawing = false;
        }
    } flag{this};

    if (images.Count() == 1 || !(PaintFlags & DrawAnimate)) {
        images.Frame(0)->Draw(canvas, rect, PaintFlags & DrawTransparent, PaintFlags & DrawTile);
        return;
    }
    const bool direct = PaintFlags & DrawDirect;
    if (!cachedBitmap.isNull() && !direct) {
        ShowBitmap(canvas, rect);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(painterLock);
        if (currentPainter && currentPainter->DrawsFor(canvas, rect))
            return;
    }
    StopCurrentPainter(false);
    TGIFPainter *painter;
    if (direct) {
        painter = StartPainter(canvas, rect, canvas, rect);
    } else {
        // The painter paints into the full-size bitmap, which first holds what lies behind.
        const QRect screen(0, 0, GetWidth(), GetHeight());
        if (screen.isEmpty() || rect.isEmpty())
            return;
        CheckGraphicSize(screen.width(), screen.height(), "Image dimensions too large");
        cachedBitmap = QImage(screen.size(), QImage::Format_ARGB32_Premultiplied);
        {
            QPainter behind(&cachedBitmap);
            behind.setCompositionMode(QPainter::CompositionMode_Source);
            behind.drawImage(screen, canvas.Grab(rect));
        }
        if (!bitmapCanvas)
            bitmapCanvas = std::make_unique<TImageCanvas>(cachedBitmap);
        painter = StartPainter(*bitmapCanvas, screen, canvas, rect);
    }
    if (!flag.image || !painter || direct)
        return;
    TMainThreadCalls *calls = TMainThreadCalls::Instance();
    if (calls)
        calls->WaitUntil([&] {
            std::lock_guard<std::mutex> guard(painterLock);
            return currentPainter != painter || painter->Painted;
        });
    ShowBitmap(canvas, rect);
}

TGIFPainter *TGIFImage::StartPainter(TCanvas &target, const QRect &targetRect, const TCanvas &caller,
                                     const QRect &callerRect)
{
    if (GetEmpty() || targetRect.isEmpty())
        return nullptr;
    uint16_t options = PaintFlags;
    if (images.Count() == 1)
        options &= uint16_t(~(DrawAsync | DrawAnimate));
    // Painters hand their steps to this thread; the queue must exist before they start.
    if (options & DrawAsync)
        TMainThreadCalls::Instance();
    auto *painter = new TGIFPainter(*this, options, targetRect, target, caller.Owner());
    painter->SetCaller(caller, callerRect);
    painter->OnAnimationStart = OnAnimationStart;
    painter->OnFramePaint = OnFramePaint;
    painter->OnFramePainted = OnFramePainted;
    painter->OnAnimationLoop = OnAnimationLoop;
    painter->OnAnimationEnd = OnAnimationEnd;
    {
        std::lock_guard<std::mutex> guard(painterLock);
        painterList.push_back(painter);
        painterStarted.store(true, std::memory_order_release);
        currentPainter = painter;
    }
    if (options & DrawAsync) {
        painter->Start();
        return painter;
    }
    // Runs here to its end; the picture may be gone by then.
    std::unique_ptr<TGIFPainter> owned(painter);
    owned->Execute();
    const std::exception_ptr failure = owned->FatalError;
    owned.reset();
    if (failure)
        std::rethrow_exception(failure);
    return nullptr;
}

void TGIFImage::ShowBitmap(TCanvas &canvas, const QRect &rect)
{
    if (cachedBitmap.isNull() || !canvas.Active())
        return;
    if (!(PaintFlags & DrawTile)) {
        canvas.StretchDrawImage(rect, cachedBitmap);
        return;
    }
    QPainter &painter = canvas.Painter();
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    const QSize size(GetWidth(), GetHeight());
    ForEachTile(rect, QPoint(0, 0), size, size, [&](const QRect &tile) { canvas.StretchDrawImage(tile, cachedBitmap); });
    painter.restore();
}

void TGIFImage::StopCurrentPainter(bool keepBitmap)
{
    for (;;) {
        TGIFPainter *painter;
        {
            std::lock_guard<std::mutex> guard(painterLock);
            painter = currentPainter;
            if (!painter)
                break;
            painter->Stop();
            // One that runs inside a Draw or a step further up cannot end before we return.
            if (!painter->Async() || painter->InStep())
                break;
        }
        TMainThreadCalls *calls = TMainThreadCalls::Instance();
        if (!calls || !calls->WaitUntil([&] {
                std::lock_guard<std::mutex> guard(painterLock);
                return currentPainter != painter;
            })) {
            WaitForPainters();
            break;
        }
    }
    if (!keepBitmap)
        cachedBitmap = QImage();
}

void TGIFImage::StopPainters()
{
    // A picture that never started a painter (every one read and dropped again) has none to stop.
    if (!painterStarted.load(std::memory_order_acquire)) {
        if (!cachedBitmap.isNull())
            cachedBitmap = QImage();
        return;
    }
    bool running;
    {
        std::lock_guard<std::mutex> guard(painterLock);
        for (TGIFPainter *painter : painterList)
            painter->Stop();
        running = !painterList.empty();
        if (!running)
            currentPainter = nullptr;
    }
    if (running) {
        WaitForPainters();
        // Those left run inside a Draw or a step further up; they end when it returns.
        std::lock_guard<std::mutex> guard(painterLock);
        for (TGIFPainter *painter : painterList)
            painter->Forget();
        painterList.clear();
        currentPainter = nullptr;
    }
    if (!cachedBitmap.isNull())
        cachedBitmap = QImage();
}

void TGIFImage::WaitForPainters()
{
    auto waiting = [this] {
        std::lock_guard<std::mutex> guard(painterLock);
        return std::any_of(painterList.begin(), painterList.end(),
                           [](const TGIFPainter *p) { return p->Async() && !p->InStep(); });
    };
    if (!waiting())
        return;
    TMainThreadCalls *calls = TMainThreadCalls::Instance();
    if (calls && calls->WaitUntil([&] { return !waiting(); }))
        return;
    // Without the main thread's queue the painters cannot hand over their last steps: they end
    // by themselves, and are taken off the list here.
    std::vector<TGIFPainter *> ended;
    {
        std::lock_guard<std::mutex> guard(painterLock);
        for (auto it = painterList.begin(); it != painterList.end();) {
            if ((*it)->Async() && !(*it)->InStep()) {
                ended.push_back(*it);
                if (currentPainter == *it)
                    currentPainter = nullptr;
                it = painterList.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (TGIFPainter *painter : ended) {
        painter->Forget();
        painter->wait();
        delete painter;
    }
}

void TGIFImage::PainterPainted(TGIFPainter &painter)
{
    if (bitmapCanvas && painter.Canvas == bitmapCanvas.get())
        Changed();
}

void TGIFImage::PainterEnded(TGIFPainter &painter)
{
    std::lock_guard<std::mutex> guard(painterLock);
    if (currentPainter == &painter)
        currentPainter = nullptr;
    painterList.erase(std::remove(painterList.begin(), painterList.end(), &painter), painterList.end());
}

void TGIFImage::StopAnimation() { StopCurrentPainter(true); }

void TGIFImage::RewindAnimation() { StopCurrentPainter(false); }
