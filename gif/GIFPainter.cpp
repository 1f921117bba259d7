// The animation painter: delays, disposal, loops and events of a playing GIF picture.
#include "gif/GIFPainter.h"
#include "gif/GIFFrameControl.h"
#include "gif/GIFTiles.h"

#include "platform/MainThreadCalls.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPalette>

#include <chrono>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------------------
// Event and clock

void TPainterEvent::Set()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        signaled = true;
    }
    setting.notify_all();
}

bool TPainterEvent::WaitFor(int64_t ms)
{
    std::unique_lock<std::mutex> wait(lock);
    if (ms < 0)
        setting.wait(wait, [&] { return signaled; });
    else
        setting.wait_for(wait, std::chrono::milliseconds(ms), [&] { return signaled; });
    const bool wasSet = signaled;
    signaled = false;
    return wasSet;
}

namespace {
class SteadyClock : public TPainterClock {
public:
    int64_t Now() override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

// Painters that have ended and wait to be deleted, with the picture they played (main thread).
std::vector<std::pair<TGIFPainter *, const TGIFImage *>> finishedPainters;

QRgb ToRgb(TColor color) { return qRgb(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF)); }

// a * 100 / b rounded to the nearest integer, halves away from zero.
int64_t ScaleBySpeed(int64_t a, int speed)
{
    const int64_t n = a * 100;
    return n >= 0 ? (n + speed / 2) / speed : -((-n + speed / 2) / speed);
}
} // namespace

TPainterClock &TPainterClock::System()
{
    static SteadyClock clock;
    return clock;
}

// ---------------------------------------------------------------------------------------
// Creation

TGIFPainter::TGIFPainter(TGIFImage &image, uint16_t options, const QRect &rect, TCanvas &canvas, QWidget *paintsFor)
    : Canvas(&canvas), Rect(rect), PaintFlags(options), Speed(image.SpeedPercent), image(&image),
      callerCanvas(&canvas), callerRect(rect), canvasHandle(paintsFor), hasWidget(paintsFor != nullptr),
      clock(image.PainterClock ? *image.PainterClock : TPainterClock::System())
{
    setObjectName(QStringLiteral("GIFPainter"));   // the thread's name in the system's lists
    if (Async() && (options & DrawAnimate) && image.Images().Count() > 1 && Speed >= 0)
        event = std::make_unique<TPainterEvent>();

    if (image.BackdropColor != GIFNoColor)
        backgroundColor = ToRgb(image.BackdropColor);
    else if (image.GlobalColorMap().Count() == 0)
        backgroundColor = qobject_cast<QGuiApplication *>(QCoreApplication::instance())
                              ? QGuiApplication::palette().color(QPalette::Window).rgb()
                              : qRgb(255, 255, 255);
    else
        backgroundColor = ToRgb(image.Header().BackgroundColor());

    bool disposals[8] = {};
    // The disposal a frame is painted with: its last control block's.
    for (int i = 0; i < image.Images().Count(); ++i)
        disposals[FrameDisposal(*image.Images()[i])] = true;
    if (options & DrawClearOnLoop)
        disposals[2] = true;
    if (disposals[2] && (options & DrawTransparent))
        BackgroundBitmap = canvas.Grab(rect);
    if (disposals[2] || disposals[3]) {
        WorkBitmap = canvas.Grab(rect);
        PreviousBitmap = QImage(rect.size(), QImage::Format_ARGB32_Premultiplied);
        PreviousBitmap.fill(backgroundColor);
    }
}

TGIFPainter::~TGIFPainter()
{
    if (!Async())
        Cleanup();
}

void TGIFPainter::Start()
{
    if (!Async() || isRunning() || isFinished())
        return;
    start(QThread::Priority(std::clamp<int>(image ? image->PainterPriority : 3, 0, 6)));
}

void TGIFPainter::Stop()
{
    terminated = true;
    if (!Async())
        return;
    if (event)
        event->Set();
    // A painter set to a low priority could otherwise wait long for its turn to end.
    if (isRunning())
        setPriority(QThread::NormalPriority);
    // A painter that never ran must still run to its end, where it leaves its picture's list.
    else if (!isFinished())
        start(QThread::NormalPriority);
}

// ---------------------------------------------------------------------------------------
// Steps

void TGIFPainter::Step(const std::function<void()> &step)
{
    if (terminated)
        return;
    auto run = [&] {
        if (terminated)
            return;
        inStep = true;
        struct Leave {
            std::atomic<bool> &flag;
            ~Leave() { flag = false; }
        } leave{inStep};
        step();
    };
    if (!Async()) {
        run();
        return;
    }
    // No main thread to run the step any more: the application is going.
    if (!TMainThreadCalls::Run(run))
        terminated = true;
}

void TGIFPainter::Raise(const TGIFPainterEvent &handler)
{
    if (handler)
        Step([&] { handler(*this); });
}

// ---------------------------------------------------------------------------------------
// Thread body

void TGIFPainter::Execute()
{
    try {
        Restart = true;
        while (Restart && !terminated) {
            CurrentFrame = 0;
            Raise(OnAnimationStart);
            Painted = false;
            Restart = false;
            Play();
        }
        CurrentFrame = -1;
        Raise(OnAnimationEnd);
    } catch (...) {
        terminated = true;
        FatalError = std::current_exception();
    }
    if (Async())
        TMainThreadCalls::Run([this] { Cleanup(); });
}

void TGIFPainter::Play()
{
    int loopCount = 1, loopStart = 0;
    bool loopMet = false;
    int delay = Async() ? 0 : 1;
    OldDisposal = 1;
    lastTime = clock.Now();
    overshoot = 0;
    while (loopCount != 0 || (PaintFlags & DrawLoopForever)) {
        if (terminated || Restart)
            break;
        CurrentFrame = loopStart;
        if (Painted)
            Raise(OnAnimationLoop);
        const bool paintedAny = PlayFrames(loopStart, loopCount, loopMet, delay);
        if (loopCount > 0)
            --loopCount;
        // A pass that shows nothing would only spin.
        if (!((PaintFlags & DrawAnimate) && (PaintFlags & DrawLoop)) || !paintedAny)
            break;
    }
}

bool TGIFPainter::PlayFrames(int &loopStart, int &loopCount, bool &loopMet, int &delay)
{
    bool paintedAny = false;
    do {
        const int index = CurrentFrame;
        if (terminated || Restart || index < 0 || index >= image->Images().Count())
            break;
        TGIFSubImage *frame = image->Images()[index];
        if (frame->Empty())
            break;
        WaitDelay(*frame, delay);
        if (terminated)
            break;
        Raise(OnFramePaint);
        if (terminated)
            break;
        Disposal = 1;
        for (int e = 0; e < frame->Extensions().Count(); ++e) {
            TGIFExtension *extension = frame->Extensions()[e];
            if (auto *loop = dynamic_cast<TGIFAppExtNSLoop *>(extension)) {
                if (!loopMet) {
                    loopMet = true;
                    loopCount = loop->Loops;
                    if ((loop->Loops == 0 || (PaintFlags & DrawLoopForever)) && Async())
                        loopCount = -1;
                    loopStart = index;
                }
            } else if (auto *control = dynamic_cast<TGIFGraphicControlExtension *>(extension)) {
                Disposal = uint8_t(control->Disposal());
            }
        }
        Step([&] { PaintFrame(index); });
        paintedAny = true;
        OldDisposal = Disposal;
        if (terminated)
            break;
        Delay = delay = FrameDelay(*frame, Async());
        Raise(OnFramePainted);
        if (terminated)
            break;
        // A handler that chose the next frame itself is obeyed.
        if (CurrentFrame == index)
            CurrentFrame = index + 1;
    } while (PaintFlags & DrawAnimate);
    return paintedAny;
}

int TGIFPainter::FrameDelay(const TGIFSubImage &frame, bool async)
{
    if (!frame.FrameControl || frame.FrameControl->Delay() == 0)
        return DefaultDelay;
    const int delay = std::max<int>(frame.FrameControl->Delay(), MinimumDelay);
    return async ? delay : std::min(delay, MaximumDelay);
}

void TGIFPainter::WaitDelay(TGIFSubImage &frame, int delay)
{
    if (delay <= 0) {
        QThread::yieldCurrentThread();
        return;
    }
    // Rendering now counts against the delay.
    frame.EnsureBitmap();
    const int64_t now = clock.Now();
    int64_t wait;
    if (Speed > 0) {
        // The whole time the last interval ran over its wait (painting, a late wake-up) is
        // taken off this one, so frames keep to their schedule and a long animation does not
        // fall behind. A painter more than a frame behind (a busy or suspended machine) starts
        // the schedule afresh instead of rushing the frames to catch up.
        const int64_t interval = ScaleBySpeed(int64_t(delay) * DelayMultiplier, Speed);
        const int64_t late = now - lastTime - overshoot;
        wait = late <= interval ? interval - late : interval;
        overshoot = wait;
    } else if (Speed < 0) {
        wait = 0;   // no delays, in a thread of its own or not
    } else {
        // Speed 0 stands still: until stopped, or for the longest delay inside Draw.
        wait = Async() ? -1 : int64_t(MaximumDelay) * DelayMultiplier;
    }
    lastTime = now;
    if (Async()) {
        if ((wait > 0 || Speed == 0) && event && clock.Wait(*event, wait)) {
            overshoot = 0;
            lastTime = clock.Now();
        }
        return;
    }
    // Inside Draw on the main thread: sleep in short pieces and keep the program's own
    // events (paints, timers) going meanwhile.
    TPainterEvent pause;
    wait = std::max<int64_t>(wait, 1);
    while (wait > 0 && !terminated && !Restart) {
        const int64_t start = clock.Now();
        clock.Wait(pause, std::min<int64_t>(wait, 100));
        wait -= clock.Now() - start;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (QCoreApplication::closingDown())
            terminated = true;
    }
}

// ---------------------------------------------------------------------------------------
// Painting (on the main thread)

bool TGIFPainter::CanvasValid() const
{
    if (!hasWidget)
        return true;
    if (canvasHandle.isNull())
        return false;   // the widget is gone, and with it a canvas it owned
    return !(PaintFlags & DrawValidateCanvas) || !canvasHandle->isHidden();
}

void TGIFPainter::PaintFrame(int index)
{
    if (!CanvasValid()) {
        terminated = true;
        return;
    }
    TGIFSubImage &frame = *image->Images()[index];
    Canvas->Lock();
    struct Unlock {
        TCanvas *canvas;
        ~Unlock() { canvas->Unlock(); }
    } unlock{Canvas};
    if (!Canvas->Active())
        return;   // a widget's canvas outside its paint event: nothing to paint on now
    if (WorkBitmap.isNull())
        frame.Draw(*Canvas, Rect, PaintFlags & DrawTransparent, PaintFlags & DrawTile);
    else
        PaintWithDisposal(frame);
    Painted = true;
    image->PainterPainted(*this);
}

void TGIFPainter::PaintWithDisposal(TGIFSubImage &frame)
{
    const bool transparent = PaintFlags & DrawTransparent, tile = PaintFlags & DrawTile;
    // Methods 4 to 7 have no meaning; they leave the frame as method 1 does.
    const int disposal = Disposal > 3 ? 1 : Disposal;
    const int previous = OldDisposal > 3 ? 1 : OldDisposal;
    if ((PaintFlags & DrawClearOnLoop) && CurrentFrame == 0)
        RestoreBackground(frame);
    if (disposal == 3 && previous <= 1) {
        // Straight onto the canvas: WorkBitmap keeps the picture as it was before this frame.
        frame.Draw(*Canvas, Rect, transparent, tile);
        return;
    }
    QImage *target = &WorkBitmap;
    if (disposal == 3) {
        PreviousBitmap = WorkBitmap;
        target = &PreviousBitmap;
    }
    {
        TImageCanvas canvas(*target);
        canvas.Lock();
        frame.Draw(canvas, target->rect(), transparent, tile);
        canvas.Unlock();
    }
    QPainter &painter = Canvas->Painter();
    const QPainter::CompositionMode mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(Rect, *target);
    painter.setCompositionMode(mode);
    if (disposal == 2)
        RestoreBackground(frame);
}

void TGIFPainter::RestoreBackground(TGIFSubImage &frame)
{
    QPainter painter(&WorkBitmap);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    auto restore = [&](const QRect &area) {
        if (!BackgroundBitmap.isNull())
            painter.drawImage(area, BackgroundBitmap, area);
        else
            painter.fillRect(area, QColor(backgroundColor));
    };
    if (PaintFlags & DrawTile)
        ForEachTile(WorkBitmap.rect(), QPoint(frame.Left, frame.Top), QSize(frame.Width, frame.Height),
                    QSize(image->GetWidth(), image->GetHeight()), restore);
    else
        restore(frame.MapArea(WorkBitmap.rect()));
}

// ---------------------------------------------------------------------------------------
// End

void TGIFPainter::Cleanup()
{
    if (cleanedUp)
        return;
    cleanedUp = true;
    const TGIFImage *owner = image;
    if (image)
        image->PainterEnded(*this);
    image = nullptr;
    WorkBitmap = PreviousBitmap = BackgroundBitmap = QImage();
    if (!Async())
        return;
    finishedPainters.emplace_back(this, owner);
    if (TMainThreadCalls *calls = TMainThreadCalls::Instance())
        QMetaObject::invokeMethod(calls, [] { ReapFinishedPainters(true); }, Qt::QueuedConnection);
}

void ReapFinishedPainters(bool raise, const TGIFImage *owner)
{
    std::vector<TGIFPainter *> reaped;
    for (auto it = finishedPainters.begin(); it != finishedPainters.end();) {
        if (!owner || it->second == owner) {
            reaped.push_back(it->first);
            it = finishedPainters.erase(it);
        } else {
            ++it;
        }
    }
    std::exception_ptr failure;
    for (TGIFPainter *painter : reaped) {
        painter->wait();
        if (!failure)
            failure = painter->FatalError;
        delete painter;
    }
    if (raise && failure)
        std::rethrow_exception(failure);
}
