// Making GIF pictures, against ImageMagick and gifsicle measured in the same run:
//   Quantize/...  256-colour reduction of four photos: our palette of least error (redBest) and
//                 the octree (redOptimized), with nearest colours or Floyd-Steinberg, against
//                 Magick++'s quantizer without dither and with Floyd-Steinberg; "psnr" in dB.
//   Convert/...   a photo as a 24-bit BMP to a 256-colour GIF, whole processes: `glossgif
//                 convert --optimize` (its default reduction) against `convert -colors 256
//                 +dither`.
//   Optimize/...  380-frame 472x298 animations of full frames, whole processes: `glossgif
//                 optimize` against `gifsicle -O2`; "bytes_out" is the file made.
// The photos are tests/data/photos; the animations are made at start from the composed frames of
// two real animations of tests/data/gif/real (muybridge.gif, a new photo in every frame;
// animated-red-blue.gif, small changes over a still picture), enlarged and repeated. A summary
// of the ratios follows the benchmark table.
//
//   build/bench_gif_make --benchmark_min_time=1
// With GLOSSAD_BENCH_KEEP set, the pictures made stay in the folder printed at the end.
#include "gif/ColorReduction.h"
#include "gif/GIFImage.h"

#include "platform/Bitmap.h"

#include <Magick++.h>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <vector>

extern char **environ;

namespace {

const std::string RealDir = std::string(GLOSSAD_TESTDATA_DIR) + "/gif/real/";
const std::string PhotoDir = std::string(GLOSSAD_TESTDATA_DIR) + "/photos/";

struct Photo {
    std::string name;
    Magick::Image magick;
    std::unique_ptr<TBitmap> bitmap;
};

std::vector<Photo> &Photos()
{
    static std::vector<Photo> photos;
    return photos;
}

QTemporaryDir &WorkDir()
{
    static QTemporaryDir dir;
    return dir;
}

std::string WorkFile(const char *name) { return WorkDir().filePath(name).toStdString(); }

// Mean seconds per iteration and extra figures of every benchmark, for the summary.
struct Figures {
    double seconds = 0;
    double psnr = 0;
    double bytes = 0;
};
std::map<std::string, Figures> &Results()
{
    static std::map<std::string, Figures> results;
    return results;
}

// Times the loop body and keeps the mean for the summary.
template <class F>
void Timed(benchmark::State &state, const std::string &key, F &&body)
{
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    Results()[key].seconds = state.iterations() ? total / double(state.iterations()) : 0;
}

double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    const double mse = sum / double(std::max<size_t>(a.size(), 1));
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> MagickRGB(Magick::Image image)
{
    const size_t w = image.columns(), h = image.rows();
    std::vector<uint8_t> rgb(w * h * 3);
    image.write(0, 0, w, h, "RGB", Magick::CharPixel, rgb.data());
    return rgb;
}

std::vector<uint8_t> BitmapRGB(const TBitmap &bitmap)
{
    const QImage image = bitmap.Image().convertToFormat(QImage::Format_RGB888);
    std::vector<uint8_t> rgb(size_t(image.width()) * image.height() * 3);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(rgb.data() + size_t(y) * image.width() * 3, image.constScanLine(y), size_t(image.width()) * 3);
    return rgb;
}

void QuantizeOurs(benchmark::State &state, std::string key, const Photo *photo, int mode, int dither)
{
    std::unique_ptr<TBitmap> result;
    Timed(state, key, [&] { result = ReduceBitmapColors(*photo->bitmap, mode, dither, 8); });
    const double psnr = Psnr(BitmapRGB(*photo->bitmap), BitmapRGB(*result));
    state.counters["psnr"] = psnr;
    Results()[key].psnr = psnr;
}

void QuantizeMagick(benchmark::State &state, std::string key, const Photo *photo, Magick::DitherMethod dither)
{
    Magick::Image result;
    Timed(state, key, [&] {
        result = photo->magick;
        result.quantizeColors(256);
        result.quantizeDither(dither != Magick::NoDitherMethod);
        if (dither != Magick::NoDitherMethod)
            result.quantizeDitherMethod(dither);
        result.quantize();
    });
    const double psnr = Psnr(MagickRGB(photo->magick), MagickRGB(result));
    state.counters["psnr"] = psnr;
    Results()[key].psnr = psnr;
}

// Runs a program with its output thrown away; false when it fails.
bool Run(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void RunProcess(benchmark::State &state, std::string key, std::vector<std::string> args, std::string output)
{
    bool ok = true;
    Timed(state, key, [&] { ok = ok && Run(args); });
    if (!ok)
        state.SkipWithError(("failed: " + args[0]).c_str());
    const double bytes = double(QFile(QString::fromStdString(output)).size());
    state.counters["bytes_out"] = bytes;
    Results()[key].bytes = bytes;
}

void MakePhotos()
{
    for (const char *name : {"astronaut.png", "chelsea.png", "coffee.png", "rocket.jpg"}) {
        Magick::Image image(PhotoDir + name);
        image.type(Magick::TrueColorType);
        Photo photo{name, image, std::make_unique<TBitmap>()};
        const std::vector<uint8_t> rgb = MagickRGB(image);
        QImage q(rgb.data(), int(image.columns()), int(image.rows()), int(image.columns() * 3), QImage::Format_RGB888);
        photo.bitmap->SetImage(q.convertToFormat(QImage::Format_BGR888), TPixelFormat::pf24bit);
        Photos().push_back(std::move(photo));
    }
    // The conversion input: the first photo as a 24-bit BMP.
    Magick::Image bmp = Photos()[0].magick;
    bmp.write("BMP3:" + WorkFile("photo.bmp"));
}

// 380 full frames of 472x298: the composed frames of a real animation, enlarged (pixels
// repeated, so the colours stay), then played over and over.
void MakeAnimation(const std::string &source, const std::string &name)
{
    std::vector<Magick::Image> read, frames;
    Magick::readImages(&read, RealDir + source);
    Magick::coalesceImages(&frames, read.begin(), read.end());
    for (Magick::Image &f : frames) {
        f.sample(Magick::Geometry("472x298!"));
        f.page(Magick::Geometry(0, 0));
        f.animationDelay(10);
    }
    const std::string distinct = WorkFile("distinct.gif");
    Magick::writeImages(frames.begin(), frames.end(), distinct);
    TGIFImage in, out;
    in.LoadFromFile(distinct);
    out.Assign(in);
    while (out.Images().Count() > 0)
        out.Images().Delete(0);
    for (int i = 0; i < 380; ++i) {
        auto *frame = new TGIFSubImage(&out);
        frame->Assign(*in.Images()[i % in.Images().Count()]);
        // One looping extension, on the first frame.
        for (int e = frame->Extensions().Count() - 1; e >= 0; --e)
            if (dynamic_cast<TGIFAppExtNSLoop *>(frame->Extensions()[e]))
                frame->Extensions().Delete(e);
        if (i == 0)
            frame->Extensions().Add(new TGIFAppExtNSLoop(frame));
        out.Add(frame);
    }
    out.SaveToFile(WorkFile(name.c_str()));
}

const char *const Animations[] = {"muybridge.gif", "animated-red-blue.gif"};

void PrintSummary()
{
    auto &r = Results();
    auto ratio = [&](const std::string &a, const std::string &b) {
        return r.count(a) && r.count(b) && r[b].seconds > 0 ? r[a].seconds / r[b].seconds : 0.0;
    };
    std::printf("\nSummary (ours / peer):\n");
    for (const Photo &p : Photos()) {
        const std::string q = "Quantize/", magick = q + "magick/", best = q + "best/", octree = q + "octree/";
        for (const char *dither : {"nodither/", "floyd/"})
            std::printf("  %-14s %-9s time %.2fx, PSNR %.2f vs %.2f dB (%+.2f; octree %.2f)\n", p.name.c_str(), dither,
                        ratio(best + dither + p.name, magick + dither + p.name), r[best + dither + p.name].psnr,
                        r[magick + dither + p.name].psnr,
                        r[best + dither + p.name].psnr - r[magick + dither + p.name].psnr,
                        r[octree + dither + p.name].psnr);
    }
    std::printf("  convert: time %.2fx (%.0f vs %.0f bytes)\n", ratio("Convert/glossgif", "Convert/imagemagick"),
                r["Convert/glossgif"].bytes, r["Convert/imagemagick"].bytes);
    for (const char *source : Animations) {
        const std::string ours = std::string("Optimize/glossgif/") + source, peer = std::string("Optimize/gifsicle/") + source;
        std::printf("  optimize %s: time %.2fx, size %.3fx (%.0f vs %.0f bytes, input %lld)\n", source,
                    ratio(ours, peer), r[peer].bytes > 0 ? r[ours].bytes / r[peer].bytes : 0.0, r[ours].bytes,
                    r[peer].bytes, (long long)QFile(QString::fromStdString(WorkFile(source))).size());
    }
}

template <class... Args>
benchmark::internal::Benchmark *Add(const std::string &name, void (*f)(benchmark::State &, std::string, Args...),
                                    Args... args)
{
    return benchmark::RegisterBenchmark(name.c_str(), f, name, args...);
}

void Register()
{
    for (const Photo &p : Photos()) {
        const Photo *photo = &p;
        for (const auto &[dither, ours, magick] :
             {std::tuple{"nodither/", dkNearest, Magick::NoDitherMethod},
              std::tuple{"floyd/", dkFloydSteinberg, Magick::FloydSteinbergDitherMethod}}) {
            Add("Quantize/best/" + std::string(dither) + p.name, QuantizeOurs, photo, int(redBest), int(ours));
            Add("Quantize/octree/" + std::string(dither) + p.name, QuantizeOurs, photo, int(redOptimized), int(ours));
            Add("Quantize/magick/" + std::string(dither) + p.name, QuantizeMagick, photo, magick);
        }
    }
    using Args = std::vector<std::string>;
    const std::string photo = WorkFile("photo.bmp");
    Add("Convert/glossgif", RunProcess,
        Args{GLOSSGIF_PATH, "convert", photo, WorkFile("ours.gif"), "--optimize"},
        WorkFile("ours.gif"))
        ->Unit(benchmark::kMillisecond);
    Add("Convert/imagemagick", RunProcess, Args{"convert", photo, "-colors", "256", "+dither", WorkFile("magick.gif")},
        WorkFile("magick.gif"))
        ->Unit(benchmark::kMillisecond);
    for (const char *source : Animations) {
        const std::string anim = WorkFile(source), ours = WorkFile("ours-O.gif"), peer = WorkFile("gifsicle-O2.gif");
        Add(std::string("Optimize/glossgif/") + source, RunProcess, Args{GLOSSGIF_PATH, "optimize", anim, ours}, ours)
            ->Unit(benchmark::kMillisecond);
        Add(std::string("Optimize/gifsicle/") + source, RunProcess, Args{"gifsicle", "-O2", anim, "-o", peer}, peer)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv)
{
    Magick::InitializeMagick(argv[0]);
    MakePhotos();
    for (const char *source : Animations)
        MakeAnimation(source, source);
    Register();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    if (qEnvironmentVariableIsSet("GLOSSAD_BENCH_KEEP")) {
        WorkDir().setAutoRemove(false);
        std::printf("pictures kept in %s\n", qPrintable(WorkDir().path()));
    }
    return 0;
}
