// GIF codec against its peers, in the same run:
//   Decode/...  every file of tests/data/gif (suite, real, artificial) loaded from memory into
//               the pixel indexes of all its frames: our LoadFromBytes (a whole picture made
//               and freed per load), the same through LoadFromStream from a QBuffer made per
//               load (Decode/ours-qbuffer), Wuffs (decoder, canvas and work buffer made and freed
//               per load) and giflib's DGifSlurp.
//   Encode/...  the frames of tests/data/gif/real encoded again: our LZW encoder against
//               giflib's EGifPutLine; "bytes_out" is the size of the image data.
// Throughput counts pixels (1 byte each). A summary of the speed ratios per file follows the
// table; a file a peer cannot decode is marked so.
//
//   build/bench_gif --benchmark_min_time=0.5
#include "gif/GIFImage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#define WUFFS_CONFIG__MODULES
#define WUFFS_CONFIG__MODULE__BASE
#define WUFFS_CONFIG__MODULE__GIF
#define WUFFS_CONFIG__MODULE__LZW
#include "wuffs-v0.4.c"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Sample {
    std::string name;   // folder/file
    QByteArray bytes;
    // Frames for the encoders (files of real/ only).
    struct Frame {
        int width, height, bits;
        std::vector<uint8_t> pixels;
    };
    std::vector<Frame> frames;
    int64_t pixels = 0;
    bool giflibReads = false, wuffsReads = false;
};

std::vector<Sample> &Samples()
{
    static std::vector<Sample> samples;
    return samples;
}

struct MemoryReader {
    const QByteArray *bytes;
    int pos;
};

int ReadMemory(GifFileType *gif, GifByteType *buffer, int n)
{
    auto *r = static_cast<MemoryReader *>(gif->UserData);
    const int count = std::max(0, std::min(n, int(r->bytes->size()) - r->pos));
    std::memcpy(buffer, r->bytes->constData() + r->pos, size_t(count));
    r->pos += count;
    return count;
}

int WriteMemory(GifFileType *gif, const GifByteType *buffer, int n)
{
    auto *out = static_cast<std::vector<uint8_t> *>(gif->UserData);
    out->insert(out->end(), buffer, buffer + n);
    return n;
}

bool GiflibDecode(const QByteArray &bytes)
{
    MemoryReader reader{&bytes, 0};
    int error = 0;
    GifFileType *gif = DGifOpen(&reader, ReadMemory, &error);
    const bool ok = gif && DGifSlurp(gif) == GIF_OK;
    if (gif) {
        if (ok && gif->ImageCount > 0)
            benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
    return ok;
}

// Every frame into an 8-bit indexed canvas of the picture's size, the way Wuffs decodes.
bool WuffsDecode(const QByteArray &bytes)
{
    const size_t decoderSize = sizeof__wuffs_gif__decoder();
    std::unique_ptr<void, void (*)(void *)> memory(std::malloc(decoderSize), std::free);
    auto *decoder = static_cast<wuffs_gif__decoder *>(memory.get());
    wuffs_base__status status = wuffs_gif__decoder__initialize(
        decoder, decoderSize, WUFFS_VERSION, WUFFS_INITIALIZE__LEAVE_INTERNAL_BUFFERS_UNINITIALIZED);
    if (!wuffs_base__status__is_ok(&status))
        return false;
    wuffs_base__io_buffer source = wuffs_base__ptr_u8__reader(
        reinterpret_cast<uint8_t *>(const_cast<char *>(bytes.constData())), size_t(bytes.size()), true);
    wuffs_base__image_config config;
    status = wuffs_gif__decoder__decode_image_config(decoder, &config, &source);
    if (!wuffs_base__status__is_ok(&status))
        return false;
    const uint32_t width = wuffs_base__pixel_config__width(&config.pixcfg);
    const uint32_t height = wuffs_base__pixel_config__height(&config.pixcfg);
    wuffs_base__pixel_config__set(&config.pixcfg, WUFFS_BASE__PIXEL_FORMAT__INDEXED__BGRA_BINARY,
                                  WUFFS_BASE__PIXEL_SUBSAMPLING__NONE, width, height);
    const size_t canvasSize = WUFFS_BASE__PIXEL_FORMAT__INDEXED__PALETTE_BYTE_LENGTH + size_t(width) * height;
    std::unique_ptr<uint8_t[]> canvas(new uint8_t[canvasSize]);
    wuffs_base__pixel_buffer pixels;
    status = wuffs_base__pixel_buffer__set_from_slice(&pixels, &config.pixcfg,
                                                      wuffs_base__make_slice_u8(canvas.get(), canvasSize));
    if (!wuffs_base__status__is_ok(&status))
        return false;
    const size_t workSize = size_t(wuffs_gif__decoder__workbuf_len(decoder).max_incl);
    std::unique_ptr<uint8_t[]> work(new uint8_t[std::max<size_t>(workSize, 1)]);
    for (;;) {
        wuffs_base__frame_config frame;
        status = wuffs_gif__decoder__decode_frame_config(decoder, &frame, &source);
        if (status.repr == wuffs_base__note__end_of_data)
            break;
        if (!wuffs_base__status__is_ok(&status))
            return false;
        status = wuffs_gif__decoder__decode_frame(decoder, &pixels, &source, WUFFS_BASE__PIXEL_BLEND__SRC,
                                                  wuffs_base__make_slice_u8(work.get(), workSize), nullptr);
        if (!wuffs_base__status__is_ok(&status))
            return false;
    }
    benchmark::DoNotOptimize(canvas.get());
    return true;
}

void DecodeOurs(benchmark::State &state, const Sample *sample)
{
    for (auto _ : state) {
        TGIFImage image;
        image.LoadFromBytes(sample->bytes);
        benchmark::DoNotOptimize(image.Images().Count());
    }
    state.SetBytesProcessed(state.iterations() * sample->pixels);
}

void DecodeOursFromQBuffer(benchmark::State &state, const Sample *sample)
{
    QByteArray bytes = sample->bytes;
    for (auto _ : state) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        TGIFImage image;
        image.LoadFromStream(buffer);
        benchmark::DoNotOptimize(image.Images().Count());
    }
    state.SetBytesProcessed(state.iterations() * sample->pixels);
}

void DecodeWuffs(benchmark::State &state, const Sample *sample)
{
    for (auto _ : state)
        WuffsDecode(sample->bytes);
    state.SetBytesProcessed(state.iterations() * sample->pixels);
}

void DecodeGiflib(benchmark::State &state, const Sample *sample)
{
    for (auto _ : state)
        GiflibDecode(sample->bytes);
    state.SetBytesProcessed(state.iterations() * sample->pixels);
}

void EncodeOurs(benchmark::State &state, const Sample *sample)
{
    QByteArray out;
    out.reserve(1 << 20);
    int64_t size = 0;
    for (auto _ : state) {
        out.resize(0);
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        for (const auto &f : sample->frames)
            EncodePixels(buffer, f.bits, 1 << f.bits, f.pixels.data(), false, f.height, f.width, encLZW);
        size = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * sample->pixels);
    state.counters["bytes_out"] = double(size);
}

void EncodeGiflib(benchmark::State &state, const Sample *sample)
{
    std::vector<uint8_t> out;
    out.reserve(1 << 20);
    int64_t dataSize = 0;
    for (auto _ : state) {
        out.clear();
        int error = 0;
        GifFileType *gif = EGifOpen(&out, WriteMemory, &error);
        const int screenBits = 8;
        ColorMapObject *map = GifMakeMapObject(1 << screenBits, nullptr);
        EGifPutScreenDesc(gif, 1, 1, screenBits, 0, map);
        size_t overhead = out.size();
        for (const auto &f : sample->frames) {
            ColorMapObject *local = GifMakeMapObject(1 << f.bits, nullptr);
            EGifPutImageDesc(gif, 0, 0, f.width, f.height, false, local);
            overhead += 10 + 3 * (size_t(1) << f.bits);
            for (int y = 0; y < f.height; ++y)
                EGifPutLine(gif, const_cast<GifPixelType *>(f.pixels.data() + size_t(y) * f.width), f.width);
            GifFreeMapObject(local);
        }
        EGifCloseFile(gif, &error);
        GifFreeMapObject(map);
        dataSize = int64_t(out.size()) - int64_t(overhead) - 1;   // without the trailer
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * sample->pixels);
    state.counters["bytes_out"] = double(dataSize);
}

void LoadSamples()
{
    for (const char *folder : {"suite", "real", "artificial"}) {
        const QString dir = QString(GLOSSAD_TESTDATA_DIR) + "/gif/" + folder;
        for (const QString &name : QDir(dir).entryList({"*.gif"}, QDir::Files, QDir::Name)) {
            QFile file(dir + "/" + name);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            Sample s;
            s.name = std::string(folder) + "/" + name.toStdString();
            s.bytes = file.readAll();
            QBuffer buffer(&s.bytes);
            buffer.open(QIODevice::ReadOnly);
            TGIFImage image;
            try {
                image.LoadFromStream(buffer);
            } catch (...) {
                continue;
            }
            s.giflibReads = GiflibDecode(s.bytes);
            s.wuffsReads = WuffsDecode(s.bytes);
            for (int i = 0; i < image.Images().Count(); ++i) {
                TGIFSubImage *f = image.Images()[i];
                if (f->Empty())
                    continue;
                s.pixels += f->DataSize();
                if (std::string(folder) != "real" || !s.giflibReads)
                    continue;
                Sample::Frame frame{f->Width, f->Height, std::max(2, f->ActiveColorMap().BitsPerPixel()),
                                    std::vector<uint8_t>(f->Data(), f->Data() + f->DataSize())};
                // Pixels beyond the table would be refused: clamp them for the encoders.
                for (auto &p : frame.pixels)
                    if (p >= (1 << frame.bits))
                        p = 0;
                s.frames.push_back(std::move(frame));
            }
            Samples().push_back(std::move(s));
        }
    }
    for (const Sample &s : Samples()) {
        benchmark::RegisterBenchmark(("Decode/ours/" + s.name).c_str(), DecodeOurs, &s);
        benchmark::RegisterBenchmark(("Decode/ours-qbuffer/" + s.name).c_str(), DecodeOursFromQBuffer, &s);
        benchmark::RegisterBenchmark(("Decode/wuffs/" + s.name).c_str(), DecodeWuffs, &s);
        benchmark::RegisterBenchmark(("Decode/giflib/" + s.name).c_str(), DecodeGiflib, &s);
    }
    for (const Sample &s : Samples())
        if (!s.frames.empty()) {
            benchmark::RegisterBenchmark(("Encode/ours/" + s.name).c_str(), EncodeOurs, &s);
            benchmark::RegisterBenchmark(("Encode/giflib/" + s.name).c_str(), EncodeGiflib, &s);
        }
}

// The console table, keeping each benchmark's time per iteration for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                seconds[run.benchmark_name()] = run.cpu_accumulated_time / double(std::max<int64_t>(run.iterations, 1));
        ConsoleReporter::ReportRuns(runs);
    }
    // Peer time over ours: above 1 where we are faster; 0 when either was not measured.
    double Speed(const std::string &ours, const std::string &peer) const
    {
        const auto a = seconds.find(ours), b = seconds.find(peer);
        return a != seconds.end() && b != seconds.end() && a->second > 0 ? b->second / a->second : 0.0;
    }
    std::map<std::string, double> seconds;
};

void PrintSummary(const SummaryReporter &reporter)
{
    std::printf("\nDecoding speed, ours against the peer (above 1: ours is faster):\n");
    std::printf("  %-58s %8s %9s %8s\n", "file", "bytes", "µs/load", "wuffs");
    std::printf("  (the QBuffer route's speed against Wuffs in brackets)\n");
    for (const Sample &s : Samples()) {
        const std::string ours = "Decode/ours/" + s.name;
        if (!reporter.seconds.count(ours))
            continue;
        const double wuffs = reporter.Speed(ours, "Decode/wuffs/" + s.name);
        const double viaQBuffer = reporter.Speed("Decode/ours-qbuffer/" + s.name, "Decode/wuffs/" + s.name);
        const double giflib = reporter.Speed(ours, "Decode/giflib/" + s.name);
        std::printf("  %-58s %8lld %9.1f %7.2fx (%.2fx)%s giflib %.2fx%s\n", s.name.c_str(),
                    (long long)s.bytes.size(), reporter.seconds.at(ours) * 1e6, wuffs, viaQBuffer,
                    s.wuffsReads ? "" : " (wuffs: error)", giflib, s.giflibReads ? "" : " (giflib: error)");
    }
}

} // namespace

int main(int argc, char **argv)
{
    LoadSamples();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    PrintSummary(reporter);
    return 0;
}
