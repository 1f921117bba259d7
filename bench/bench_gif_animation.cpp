// Drawing and playing GIF pictures, each against its peer in the same run:
//   Render/direct, Render/dithered: rendering a 1165 x 859 frame, against our own decoding of
//     that frame (Decode/photo); the counter x_decode is the ratio.
//   Playing/cpu: a 472 x 298 animation of 380 frames (delay 4, speed 100) shown stretched in a
//     picture control of the preview's size for 10 s; cpu_percent is the process's CPU time
//     over the wall time (limit 3 % of one core).
//   Playing/timing: 100 frame intervals of the same animation at delay 5 against the delays
//     the painter computed: median and largest absolute error, and the drift (how far the
//     100th frame is from its place in the schedule), in milliseconds.
// The pictures are drawn here: a landscape with a moving sun and a bouncing ball, dithered to
// the colour cube, and a photo-like 1165 x 859 picture of gradients and grain.
//
//   build/bench/bench_gif_animation            (offscreen; QT_QPA_PLATFORM=xcb under X)
#include "gif/ColorReduction.h"
#include "gif/GIFImage.h"
#include "gif/GIFPainter.h"
#include "platform/ImageControl.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A frame of a picture: the drawing reduced to the colour cube with Floyd-Steinberg.
TGIFSubImage *CubeFrame(TGIFImage &image, const QImage &drawing)
{
    auto *frame = new TGIFSubImage(&image);
    frame->PlaceFrame(0, 0, drawing.width(), drawing.height());
    TNetscapeColorLookup lookup;
    TFloydSteinbergDitherer ditherer(drawing.width(), lookup);
    for (int y = 0; y < drawing.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(drawing.constScanLine(y));
        uint8_t *pixels = frame->Rows(y);
        while (ditherer.InRow()) {
            const int x = ditherer.Column();
            uint8_t r = uint8_t(qRed(row[x])), g = uint8_t(qGreen(row[x])), b = uint8_t(qBlue(row[x]));
            pixels[x] = ditherer.DitherPixel(r, g, b);
        }
        ditherer.NextRow();
    }
    return frame;
}

std::unique_ptr<TGIFImage> CubePicture(int width, int height)
{
    auto image = std::make_unique<TGIFImage>();
    image->Header().Width = uint16_t(width);
    image->Header().Height = uint16_t(height);
    for (QRgb c : MakeNetscapePalette())
        image->GlobalColorMap().Add(TColor(qRed(c)) | (TColor(qGreen(c)) << 8) | (TColor(qBlue(c)) << 16));
    return image;
}

QByteArray Saved(TGIFImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.SaveToStream(buffer);
    return bytes;
}

std::unique_ptr<TGIFImage> Loaded(const QByteArray &bytes)
{
    auto image = std::make_unique<TGIFImage>();
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    image->LoadFromStream(buffer);
    return image;
}

// 380 frames of 472 x 298: sky, hills, a sun crossing the sky and a ball bouncing on the grass.
const QByteArray &Animation(int delay)
{
    static std::map<int, QByteArray> made;
    if (made.count(delay))
        return made[delay];
    const int w = 472, h = 298, frames = 380;
    auto image = CubePicture(w, h);
    for (int i = 0; i < frames; ++i) {
        QImage drawing(w, h, QImage::Format_RGB32);
        QPainter p(&drawing);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient sky(0, 0, 0, h);
        sky.setColorAt(0, QColor(40, 90, 200));
        sky.setColorAt(1, QColor(200, 220, 255));
        p.fillRect(drawing.rect(), sky);
        const double t = double(i) / frames;
        p.setBrush(QColor(255, 200, 40));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(w * t, 80 - 50 * std::sin(M_PI * t)), 30, 30);
        p.setBrush(QColor(60, 150, 60));
        p.drawEllipse(QRectF(-100, h * 0.6, w * 0.8, h * 0.8));
        p.setBrush(QColor(90, 170, 70));
        p.drawEllipse(QRectF(w * 0.4, h * 0.65, w * 0.9, h * 0.7));
        p.setBrush(QColor(220, 40, 40));
        p.drawEllipse(QPointF(60 + (w - 120) * t, h * 0.8 - 120 * std::abs(std::sin(12 * M_PI * t))), 18, 18);
        p.end();
        TGIFSubImage *frame = CubeFrame(*image, drawing);
        auto *control = new TGIFGraphicControlExtension(frame);
        control->SetDelay(uint16_t(delay));
        control->SetDisposal(1);
        frame->Extensions().Add(control);
        if (i == 0) {
            auto *loop = new TGIFAppExtNSLoop(frame);
            frame->Extensions().Add(loop);
        }
        image->Add(frame);
    }
    return made[delay] = Saved(*image);
}

// A photo-like picture of 1165 x 859: soft gradients, shapes and grain.
const QByteArray &Photo()
{
    static QByteArray bytes;
    if (!bytes.isEmpty())
        return bytes;
    const int w = 1165, h = 859;
    QImage drawing(w, h, QImage::Format_RGB32);
    QPainter p(&drawing);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient light(w * 0.3, h * 0.3, w);
    light.setColorAt(0, QColor(250, 230, 190));
    light.setColorAt(0.5, QColor(120, 140, 110));
    light.setColorAt(1, QColor(30, 40, 60));
    p.fillRect(drawing.rect(), light);
    QRandomGenerator random(7);
    for (int i = 0; i < 60; ++i) {
        p.setBrush(QColor::fromHsv(random.bounded(360), 80 + random.bounded(120), 80 + random.bounded(170), 120));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(random.bounded(w), random.bounded(h)), 20 + random.bounded(150), 20 + random.bounded(100));
    }
    p.end();
    for (int y = 0; y < h; ++y) {
        auto *row = reinterpret_cast<QRgb *>(drawing.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int grain = random.bounded(17) - 8;
            row[x] = qRgb(std::clamp(qRed(row[x]) + grain, 0, 255), std::clamp(qGreen(row[x]) + grain, 0, 255),
                          std::clamp(qBlue(row[x]) + grain, 0, 255));
        }
    }
    auto image = CubePicture(w, h);
    image->Add(CubeFrame(*image, drawing));
    return bytes = Saved(*image);
}

// CPU time of this thread: steadier than the wall clock on a busy machine.
double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

double DecodeSeconds()
{
    static double seconds = 0;
    if (seconds > 0)
        return seconds;
    std::vector<double> runs;
    for (int i = 0; i < 21; ++i) {
        const double start = ThreadSeconds();
        Loaded(Photo());
        runs.push_back(ThreadSeconds() - start);
    }
    std::sort(runs.begin(), runs.end());
    return seconds = runs[runs.size() / 2];
}

void DecodePhoto(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Loaded(Photo()));
    state.counters["pixels"] = 1165 * 859;
}

void RenderPhoto(benchmark::State &state, bool dithered)
{
    auto image = Loaded(Photo());
    image->PaintFlags = dithered ? DrawDither : 0;
    TGIFSubImage &frame = *image->Images()[0];
    std::vector<double> runs;
    for (auto _ : state) {
        const double start = ThreadSeconds();
        frame.DropRendering();
        benchmark::DoNotOptimize(frame.EnsureBitmap());
        runs.push_back(ThreadSeconds() - start);
    }
    // Median CPU time of a rendering against the median decode of the same file.
    std::sort(runs.begin(), runs.end());
    state.counters["x_decode"] = runs[runs.size() / 2] / DecodeSeconds();
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A picture control of the preview's size showing the animation stretched.
struct Preview {
    QWidget window;
    TImage *control;
    TGIFImage *picture;
    explicit Preview(const QByteArray &gif)
    {
        window.resize(200, 150);
        control = new TImage(&window);
        control->setGeometry(10, 10, 89, 81);
        control->SetStretch(true);
        control->SetTransparent(true);
        auto image = Loaded(gif);
        picture = image.get();
        control->Picture().SetGraphic(std::move(image));
        window.show();
    }
};

void PlayingCpu(benchmark::State &state)
{
    for (auto _ : state) {
        Preview preview(Animation(4));
        int painted = 0;
        preview.picture->OnFramePainted = [&](TGIFPainter &) { ++painted; };
        QElapsedTimer wall;
        const double cpuStart = CpuSeconds();
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = CpuSeconds() - cpuStart;
        state.counters["cpu_percent"] = 100.0 * cpu / (wall.elapsed() / 1000.0);
        state.counters["frames_painted"] = painted;
    }
}

void PlayingTiming(benchmark::State &state)
{
    for (auto _ : state) {
        Preview preview(Animation(5));
        std::vector<int64_t> times;
        std::vector<int> delays;
        QEventLoop loop;
        // When each frame has been painted, and how long the painter means to show it.
        preview.picture->OnFramePainted = [&](TGIFPainter &p) {
            times.push_back(TPainterClock::System().Now());
            delays.push_back(p.Delay * DelayMultiplier);
            if (times.size() == 101)
                loop.quit();
        };
        loop.exec();
        std::vector<double> errors;
        double drift = 0;
        for (size_t i = 1; i < 101; ++i) {
            const double error = double(times[i] - times[i - 1]) - delays[i - 1];
            errors.push_back(std::abs(error));
            drift += error;
        }
        std::sort(errors.begin(), errors.end());
        state.counters["median_abs_error_ms"] = errors[errors.size() / 2];
        state.counters["max_abs_error_ms"] = errors.back();
        state.counters["drift_ms"] = drift;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("Decode/photo", DecodePhoto)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Render/direct", [](benchmark::State &s) { RenderPhoto(s, false); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Render/dithered", [](benchmark::State &s) { RenderPhoto(s, true); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Playing/cpu", PlayingCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    benchmark::RegisterBenchmark("Playing/timing", PlayingTiming)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
