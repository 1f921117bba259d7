#pragma once
// GIF pictures made in memory for the drawing and animation tests, a painter clock the tests
// move themselves, and a canvas over an image.
#include "gif/GIFImage.h"
#include "gif/GIFPainter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

namespace gifpictures {

inline TColor ToTColor(QRgb c) { return TColor(qRed(c)) | (TColor(qGreen(c)) << 8) | (TColor(qBlue(c)) << 16); }

// A picture of the given logical screen with a global table of these colours.
inline std::unique_ptr<TGIFImage> NewPicture(int width, int height, const std::vector<QRgb> &colors)
{
    auto image = std::make_unique<TGIFImage>();
    image->Header().Width = uint16_t(width);
    image->Header().Height = uint16_t(height);
    for (QRgb c : colors)
        image->GlobalColorMap().Add(ToTColor(c));
    return image;
}

// A frame of one colour index; with delay >= 0 it gets a graphic control extension with that
// delay, disposal method and transparent index (-1: none).
inline TGIFSubImage &AddFrame(TGIFImage &image, const QRect &area, uint8_t fill, int delay = -1, int disposal = 1,
                              int transparent = -1)
{
    auto *frame = new TGIFSubImage(&image);
    frame->PlaceFrame(area.x(), area.y(), area.width(), area.height());
    std::memset(frame->Data(), fill, frame->DataSize());
    if (delay >= 0) {
        auto *control = new TGIFGraphicControlExtension(frame);
        control->SetDelay(uint16_t(delay));
        control->SetDisposal(disposal);
        if (transparent >= 0) {
            control->SetTransparentIndex(transparent);
            control->SetTransparent(true);
        }
        frame->Extensions().Add(control);
    }
    image.Add(frame);
    return *frame;
}

inline void AddLoop(TGIFSubImage &frame, int loops)
{
    auto *loop = new TGIFAppExtNSLoop(&frame);
    loop->Loops = uint16_t(loops);
    frame.Extensions().Add(loop);
}

// Time that passes only when the painter waits: every wait for a delay moves the clock on by
// the delay at once. A wait without a limit (speed 0) waits for the painter to be stopped.
class StepClock : public TPainterClock {
public:
    std::atomic<int64_t> now{100000};
    int64_t Now() override { return now; }
    bool Wait(TPainterEvent &event, int64_t ms) override
    {
        if (ms < 0 || event.WaitFor(0))
            return ms < 0 ? event.WaitFor(-1) : true;
        now += ms;
        return false;
    }
};

// An image with a painter open on it and a canvas over that painter.
struct ImageCanvas {
    QImage image;
    QPainter painter;
    TCanvas canvas;
    ImageCanvas(int width, int height, QRgb fill) : image(width, height, QImage::Format_ARGB32_Premultiplied)
    {
        image.fill(fill);
        painter.begin(&image);
        canvas.Attach(&painter);
    }
    QRgb Pixel(int x, int y) const { return image.pixel(x, y); }
};

// The painter threads of this process (the system knows them by the name "GIFPainter").
inline int PainterThreads()
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + "/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "GIFPainter")
            ++count;
    }
    return count;
}

// True when no painter thread is left. One that has ended leaves the system's list a moment
// later, when the system has taken it down.
inline bool NoPainterThreads()
{
    return QTest::qWaitFor([] { return PainterThreads() == 0; }, 5000);
}

} // namespace gifpictures
