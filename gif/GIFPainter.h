#pragma once
// The animation painter: plays the frames of one GIF picture onto one canvas rectangle. It
// waits out each frame's delay, applies the disposal methods, honours the loop count and
// raises five events around the frames. Started with DrawAsync it is a thread of its own that
// hands every painting step and event to the main thread and waits until it has run there;
// without it, it runs to its end inside the Draw that started it.
#include "gif/GIFImage.h"

#include <QImage>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>

// Milliseconds per delay unit at speed 100; units for a frame without a delay; the least and
// (for a painter without its own thread) the most units a frame is shown.
constexpr int DelayMultiplier = 12;
constexpr int DefaultDelay = 10;
constexpr int MinimumDelay = 3;
constexpr int MaximumDelay = 1000;

// An automatically resetting wait event: Set ends the current wait, or the next one.
class TPainterEvent {
public:
    void Set();
    // Waits until the event is set or ms milliseconds have passed (-1: no limit). True when the
    // event ended the wait; it is reset then.
    bool WaitFor(int64_t ms);

private:
    std::mutex lock;
    std::condition_variable setting;
    bool signaled = false;
};

// The painter's sense of time: a millisecond clock and the wait for a frame's delay.
class TPainterClock {
public:
    virtual ~TPainterClock() = default;
    virtual int64_t Now() = 0;
    // Waits on the event for ms milliseconds (-1: until it is set); true when the event ended
    // the wait.
    virtual bool Wait(TPainterEvent &event, int64_t ms) { return event.WaitFor(ms); }
    // The steady clock of the machine.
    static TPainterClock &System();
};

class TGIFPainter : public QThread {
public:
    // Made suspended. canvas and rect: where it paints; paintsFor: the widget the painting is
    // shown in, if any (DrawValidateCanvas ends the painter when it is destroyed or hidden).
    TGIFPainter(TGIFImage &image, uint16_t options, const QRect &rect, TCanvas &canvas, QWidget *paintsFor);
    ~TGIFPainter() override;

    // With DrawAsync: starts the thread at the image's PainterPriority.
    void Start();
    // Asks the painter to end; a painter waiting out a delay wakes at once.
    void Stop();
    bool Terminated() const { return terminated; }
    bool Async() const { return (PaintFlags & DrawAsync) != 0; }
    // The thread body; a painter without DrawAsync is run by calling it directly.
    void Execute();
    // The units a frame is shown: its delay, at least MinimumDelay (at most MaximumDelay for
    // a painter without its own thread), or DefaultDelay when it has none.
    static int FrameDelay(const TGIFSubImage &frame, bool async);

    // The canvas and rectangle of the Draw that started the painter.
    void SetCaller(const TCanvas &canvas, const QRect &rect)
    {
        callerCanvas = &canvas;
        callerRect = rect;
    }
    // True when the painter was started by a Draw on this canvas into this rectangle.
    bool DrawsFor(const TCanvas &canvas, const QRect &rect) const { return &canvas == callerCanvas && rect == callerRect; }
    // True while the main thread runs one of this painter's steps.
    bool InStep() const { return inStep; }
    // Forgets the image, which is going away while a step of this painter still runs.
    void Forget() { image = nullptr; }

    TGIFImage *Image() const { return image; }
    TCanvas *Canvas;
    QRect Rect;
    uint16_t PaintFlags;
    int Speed;
    std::atomic<int> CurrentFrame{-1};
    uint8_t Disposal = 0, OldDisposal = 0;
    // Units the painter waits after the frame it painted last.
    int Delay = 0;
    std::atomic<bool> Restart{false};
    // A frame has been painted in this run.
    std::atomic<bool> Painted{false};
    QImage WorkBitmap, PreviousBitmap, BackgroundBitmap;
    // The failure that ended the painter, raised again when it is destroyed.
    std::exception_ptr FatalError;
    TGIFPainterEvent OnAnimationStart, OnFramePaint, OnFramePainted, OnAnimationLoop, OnAnimationEnd;

protected:
    void run() override { Execute(); }

private:
    void Play();
    // One pass over the frames from CurrentFrame; false when it painted none.
    bool PlayFrames(int &loopStart, int &loopCount, bool &loopMet, int &delay);
    void WaitDelay(TGIFSubImage &frame, int delay);
    // Runs a painting step or an event where steps run (the main thread for DrawAsync),
    // unless the painter has ended by then.
    void Step(const std::function<void()> &step);
    void Raise(const TGIFPainterEvent &event);
    void PaintFrame(int index);
    void PaintWithDisposal(TGIFSubImage &frame);
    // Puts back what was behind the frame's area of WorkBitmap.
    void RestoreBackground(TGIFSubImage &frame);
    bool CanvasValid() const;
    void Cleanup();

    TGIFImage *image;
    const TCanvas *callerCanvas;
    QRect callerRect;
    QPointer<QWidget> canvasHandle;
    bool hasWidget;
    TPainterClock &clock;
    std::unique_ptr<TPainterEvent> event;
    QRgb backgroundColor = 0;
    std::atomic<bool> terminated{false};
    std::atomic<bool> inStep{false};
    bool cleanedUp = false;
    int64_t lastTime = 0, overshoot = 0;
};

// Deletes the painters that have ended (waiting for their threads to finish). With raise, the
// first failure that ended one of them is thrown afterwards; owner limits it to the painters
// of one picture.
void ReapFinishedPainters(bool raise, const TGIFImage *owner = nullptr);
