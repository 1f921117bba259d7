// GIF codec against giflib, in the same run: decoding each file of tests/data/gif/real
// from memory into pixel indexes (our LoadFromStream, giflib's DGifSlurp), and encoding the same
// frames (our LZW encoder, giflib's EGifPutLine). Throughput counts pixels (1 byte each).
// Encoders also report the compressed size of the image data ("bytes_out").
//
//   build/bench/bench_gif --benchmark_min_time=0.5
#include "gif/GIFImage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Sample {
    std::string name;
    QByteArray bytes;
    // Frames for the encoders.
    struct Frame {
        int width, height, bits;
        std::vector<uint8_t> pixels;
    };
    std::vector<Frame> frames;
    int64_t pixels = 0;
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

void DecodeOurs(benchmark::State &state, const Sample *sample)
{
    QByteArray bytes = sample->bytes;
    for (auto _ : state) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        TGIFImage image;
        image.LoadFromStream(buffer);
        benchmark::DoNotOptimize(image.Images()[0]->Data());
    }
    state.SetBytesProcessed(state.iterations() * sample->pixels);
}

void DecodeGiflib(benchmark::State &state, const Sample *sample)
{
    for (auto _ : state) {
        MemoryReader reader{&sample->bytes, 0};
        int error = 0;
        GifFileType *gif = DGifOpen(&reader, ReadMemory, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) {
            state.SkipWithError("giflib failed");
            if (gif)
                DGifCloseFile(gif, &error);
            return;
        }
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
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
            const size_t before = out.size();
            EGifPutImageDesc(gif, 0, 0, f.width, f.height, false, local);
            overhead += 10 + 3 * (size_t(1) << f.bits);
            (void)before;
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
    const QString dir = QString(GLOSSAD_TESTDATA_DIR) + "/gif/real";
    const QStringList names = QDir(dir).entryList({"*.gif"}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(dir + "/" + name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        Sample s;
        s.name = name.toStdString();
        s.bytes = file.readAll();
        QBuffer buffer(&s.bytes);
        buffer.open(QIODevice::ReadOnly);
        TGIFImage image;
        try {
            image.LoadFromStream(buffer);
        } catch (...) {
            continue;
        }
        // giflib must decode it too, for a fair comparison.
        MemoryReader reader{&s.bytes, 0};
        int error = 0;
        GifFileType *gif = DGifOpen(&reader, ReadMemory, &error);
        const bool giflibOK = gif && DGifSlurp(gif) == GIF_OK;
        if (gif)
            DGifCloseFile(gif, &error);
        if (!giflibOK)
            continue;
        for (int i = 0; i < image.Images().Count(); ++i) {
            TGIFSubImage *f = image.Images()[i];
            if (f->Empty())
                continue;
            s.pixels += f->DataSize();
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
    for (const Sample &s : Samples()) {
        benchmark::RegisterBenchmark(("Decode/ours/" + s.name).c_str(), DecodeOurs, &s);
        benchmark::RegisterBenchmark(("Decode/giflib/" + s.name).c_str(), DecodeGiflib, &s);
    }
    for (const Sample &s : Samples()) {
        benchmark::RegisterBenchmark(("Encode/ours/" + s.name).c_str(), EncodeOurs, &s);
        benchmark::RegisterBenchmark(("Encode/giflib/" + s.name).c_str(), EncodeGiflib, &s);
    }
}

} // namespace

int main(int argc, char **argv)
{
    LoadSamples();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
