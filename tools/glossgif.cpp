// glossgif: a command-line tool over the GIF codec.
//   glossgif info FILE
//   glossgif indexes FILE OUT
//   glossgif decode FILE [-n N]
//   glossgif reencode IN OUT [--rle]
//   glossgif frames FILE OUTDIR [--backdrop RRGGBB] [--flags HEX] [--speed N]
#include "gif/GIFImage.h"
#include "gif/GIFPainter.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool toolFailed = false;

// Failures that leave an event handler (a painter's failure is raised when it is deleted)
// are reported like every other failure of the tool.
class ToolApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "error: %s\n", e.what());
            toolFailed = true;
            return false;
        }
    }
};

const char *const MainUsage =
    "usage: glossgif COMMAND ARGS...\n"
    "commands:\n"
    "  info FILE                 summary of the picture, its frames and extensions\n"
    "  indexes FILE OUT          write the pixel indexes of every frame with an image\n"
    "  decode FILE [-n N]        time N loads from memory (default 20)\n"
    "  reencode IN OUT [--rle]   load and save again (LZW, or run-length codes)\n"
    "  frames FILE OUTDIR ...    play through the animation painter, one PNG per frame\n"
    "Run 'glossgif COMMAND --help' for details.\n";

const char *const InfoUsage =
    "usage: glossgif info FILE\n"
    "Prints 'GIF<version> <width>x<height> frames=<n> colors=<global colours>', then one line per frame\n"
    "'frame <i> <left>,<top> <width>x<height> colors=<local colours> interlaced=<0|1> transparent=<index|->\n"
    "delay=<units|-> disposal=<method|->', then 'loops=<n>' when a looping extension exists and\n"
    "'comment: <text>' for each comment string. Warnings go to standard error.\n";

const char *const IndexesUsage =
    "usage: glossgif indexes FILE OUT\n"
    "Writes the pixel indexes of every frame that has an image, frame after frame, width x height bytes\n"
    "each, rows top to bottom.\n";

const char *const DecodeUsage =
    "usage: glossgif decode FILE [-n N]\n"
    "Loads FILE from memory N times (default 20) and prints '<median ms per load> ms <pixel MB/s> MB/s'.\n";

const char *const ReencodeUsage =
    "usage: glossgif reencode IN OUT [--rle]\n"
    "Loads IN and saves it to OUT with LZW coding, or with run-length coding when --rle is given.\n";

const char *const FramesUsage =
    "usage: glossgif frames FILE OUTDIR [--backdrop RRGGBB] [--flags HEX] [--speed N]\n"
    "Plays FILE through the animation painter (in its own thread unless --flags says otherwise) onto a\n"
    "bitmap of the picture's size that starts as the backdrop colour (default ffffff). After each painted\n"
    "frame of one pass it writes OUTDIR/frame-K.png (K from 0) and prints '<frame> <delay ms> <disposal>',\n"
    "the delay as the painter computed it. --flags sets the drawing options (default 060f), --speed the\n"
    "speed in percent (default -1: no waits; 0 stands still).\n";

int Usage(const char *text)
{
    std::fputs(text, stderr);
    return 2;
}

bool IsHelp(const std::vector<std::string> &args)
{
    return std::find(args.begin(), args.end(), "--help") != args.end() ||
           std::find(args.begin(), args.end(), "-h") != args.end();
}

bool ReadFile(const std::string &name, QByteArray &bytes, std::string &error)
{
    QFile file(QString::fromLocal8Bit(name.c_str()));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "Cannot open file " + name;
        return false;
    }
    bytes = file.readAll();
    return true;
}

// Loads a picture, printing warnings; false (with the message printed) on failure.
bool Load(const std::string &name, TGIFImage &image, bool printWarnings = true)
{
    QByteArray bytes;
    std::string error;
    if (!ReadFile(name, bytes, error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return false;
    }
    if (printWarnings)
        image.OnCodecWarning = [](TGIFImage &, int, const std::string &message) {
            std::fprintf(stderr, "warning: %s\n", message.c_str());
        };
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        image.LoadFromStream(buffer);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return false;
    }
    return true;
}

int Info(const std::vector<std::string> &args)
{
    if (IsHelp(args)) {
        std::fputs(InfoUsage, stdout);
        return 0;
    }
    if (args.size() != 1)
        return Usage(InfoUsage);
    TGIFImage image;
    if (!Load(args[0], image))
        return 1;
    std::printf("GIF%s %dx%d frames=%d colors=%d\n", image.Header().Version.c_str(), image.GetWidth(),
                image.GetHeight(), image.Images().Count(), image.Header().ColorTable().Count());
    int loops = -1;
    std::vector<std::string> comments;
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFSubImage *frame = image.Images()[i];
        std::string transparent = "-", delay = "-", disposal = "-";
        if (frame->FrameControl) {
            delay = std::to_string(frame->FrameControl->Delay());
            disposal = std::to_string(frame->FrameControl->Disposal());
        }
        if (frame->Transparent && frame->FrameControl)
            transparent = std::to_string(frame->FrameControl->TransparentIndex());
        std::printf("frame %d %d,%d %dx%d colors=%d interlaced=%d transparent=%s delay=%s disposal=%s\n", i,
                    frame->Left, frame->Top, frame->Width, frame->Height, frame->ColorTable().Count(),
                    frame->Interlaced() ? 1 : 0, transparent.c_str(), delay.c_str(), disposal.c_str());
        for (int e = 0; e < frame->Extensions().Count(); ++e) {
            TGIFExtension *ext = frame->Extensions()[e];
            if (auto *loop = dynamic_cast<TGIFAppExtNSLoop *>(ext)) {
                if (loops < 0)
                    loops = loop->Loops;
            } else if (auto *comment = dynamic_cast<TGIFCommentExtension *>(ext)) {
                for (const std::string &s : comment->Text)
                    comments.push_back(s);
            }
        }
    }
    if (loops >= 0)
        std::printf("loops=%d\n", loops);
    for (const std::string &c : comments)
        std::printf("comment: %s\n", c.c_str());
    return 0;
}

int Indexes(const std::vector<std::string> &args)
{
    if (IsHelp(args)) {
        std::fputs(IndexesUsage, stdout);
        return 0;
    }
    if (args.size() != 2)
        return Usage(IndexesUsage);
    TGIFImage image;
    if (!Load(args[0], image))
        return 1;
    QFile out(QString::fromLocal8Bit(args[1].c_str()));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "error: Cannot create file %s\n", args[1].c_str());
        return 1;
    }
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFSubImage *frame = image.Images()[i];
        if (frame->Empty())
            continue;
        if (out.write(reinterpret_cast<const char *>(frame->Data()), frame->DataSize()) != qint64(frame->DataSize())) {
            std::fprintf(stderr, "error: I/O error writing %s\n", args[1].c_str());
            return 1;
        }
    }
    return 0;
}

int Decode(const std::vector<std::string> &args)
{
    if (IsHelp(args)) {
        std::fputs(DecodeUsage, stdout);
        return 0;
    }
    std::string file;
    int n = 20;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-n") {
            if (i + 1 >= args.size())
                return Usage(DecodeUsage);
            char *end = nullptr;
            const long v = std::strtol(args[i + 1].c_str(), &end, 10);
            if (!end || *end || v < 1 || v > 1000000)
                return Usage(DecodeUsage);
            n = int(v);
            ++i;
        } else if (file.empty() && (args[i].empty() || args[i][0] != '-')) {
            file = args[i];
        } else {
            return Usage(DecodeUsage);
        }
    }
    if (file.empty())
        return Usage(DecodeUsage);
    QByteArray bytes;
    std::string error;
    if (!ReadFile(file, bytes, error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return 1;
    }
    std::vector<double> times;
    uint64_t pixels = 0;
    for (int i = 0; i < n; ++i) {
        TGIFImage image;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const auto start = std::chrono::steady_clock::now();
        try {
            image.LoadFromStream(buffer);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "error: %s\n", e.what());
            return 1;
        }
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        if (i == 0)
            for (int f = 0; f < image.Images().Count(); ++f)
                pixels += image.Images()[f]->Empty() ? 0 : image.Images()[f]->DataSize();
    }
    std::sort(times.begin(), times.end());
    const double median = times.size() % 2 ? times[times.size() / 2]
                                            : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    const double throughput = median > 0 ? double(pixels) / 1e6 / (median / 1000.0) : 0.0;
    std::printf("%.3f ms %.1f MB/s\n", median, throughput);
    return 0;
}

int Reencode(const std::vector<std::string> &args)
{
    if (IsHelp(args)) {
        std::fputs(ReencodeUsage, stdout);
        return 0;
    }
    std::vector<std::string> files;
    bool rle = false;
    for (const std::string &a : args) {
        if (a == "--rle")
            rle = true;
        else if (!a.empty() && a[0] == '-')
            return Usage(ReencodeUsage);
        else
            files.push_back(a);
    }
    if (files.size() != 2)
        return Usage(ReencodeUsage);
    TGIFImage image;
    if (!Load(files[0], image))
        return 1;
    image.Encoding = rle ? encRunLength : encLZW;
    QByteArray bytes;
    try {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.SaveToStream(buffer);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    QFile out(QString::fromLocal8Bit(files[1].c_str()));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "error: Cannot create file %s\n", files[1].c_str());
        return 1;
    }
    return 0;
}

bool ParseNumber(const std::string &text, int base, long low, long high, long &value)
{
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, base);
    return !text.empty() && end && !*end && value >= low && value <= high;
}

// The frames subcommand: what the program shows of FILE, frame by frame.
int Frames(const std::vector<std::string> &args)
{
    if (IsHelp(args)) {
        std::fputs(FramesUsage, stdout);
        return 0;
    }
    std::vector<std::string> files;
    long backdrop = 0xFFFFFF, flags = DefaultPaintFlags, speed = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--backdrop" && hasValue && ParseNumber(args[i + 1], 16, 0, 0xFFFFFF, backdrop) && args[i + 1].size() == 6)
            ++i;
        else if (a == "--flags" && hasValue && ParseNumber(args[i + 1], 16, 0, 0xFFFF, flags))
            ++i;
        else if (a == "--speed" && hasValue && ParseNumber(args[i + 1], 10, -1000000, 1000000, speed))
            ++i;
        else if (!a.empty() && a[0] != '-')
            files.push_back(a);
        else
            return Usage(FramesUsage);
    }
    if (files.size() != 2)
        return Usage(FramesUsage);
    TGIFImage image;
    if (!Load(files[0], image))
        return 1;
    const QDir out(QString::fromLocal8Bit(files[1].c_str()));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "error: Cannot create folder %s\n", files[1].c_str());
        return 1;
    }
    const QRect screen(0, 0, image.GetWidth(), image.GetHeight());
    if (image.GetEmpty() || screen.isEmpty()) {
        std::fprintf(stderr, "error: Image is empty\n");
        return 1;
    }
    const QRgb backdropColor = QRgb(0xFF000000u | uint32_t(backdrop));
    image.PaintFlags = uint16_t(flags);
    image.SpeedPercent = int(speed);
    image.BackdropColor = TColor(qRed(backdropColor) | (qGreen(backdropColor) << 8) | (qBlue(backdropColor) << 16));

    QImage target(screen.size(), QImage::Format_ARGB32_Premultiplied);
    target.fill(backdropColor);
    QPainter painter(&target);
    TCanvas canvas(painter);
    int written = 0;
    bool ok = true, passDone = false;
    auto save = [&](const QImage &shown, int index, int delayUnits, int disposal) {
        const QString name = out.filePath(QStringLiteral("frame-%1.png").arg(written++));
        if (!shown.convertToFormat(QImage::Format_ARGB32).save(name, "PNG")) {
            std::fprintf(stderr, "error: Cannot create file %s\n", qPrintable(name));
            ok = false;
        }
        const int delayMs = delayUnits * DelayMultiplier;
        std::printf("%d %d %d\n", index, speed > 0 ? int(delayMs * 100 / speed) : delayMs, disposal);
    };
    const int frameCount = image.Images().Count();
    image.OnFramePainted = [&](TGIFPainter &sender) {
        if (passDone)
            return;
        const int index = sender.CurrentFrame;
        save((flags & DrawDirect) ? target : image.Bitmap(), index, sender.Delay, sender.Disposal);
        // One pass: the last frame, or a frame that is followed by one the painter cannot show.
        if (index + 1 >= frameCount || image.Images()[index + 1]->Empty() || !ok) {
            passDone = true;
            sender.Stop();
        }
    };
    image.OnAnimationLoop = [&](TGIFPainter &sender) {
        passDone = true;
        sender.Stop();
    };
    try {
        image.Draw(canvas, screen);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    // The painter plays on in its thread; the main thread runs its steps until it has ended.
    while (image.PainterCount() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    if (written == 0 && !toolFailed) {
        // One frame (or no animation): drawn at once, without a painter.
        const TGIFSubImage &first = *image.Images()[0];
        save(target, 0, TGIFPainter::FrameDelay(first, flags & DrawAsync),
             first.FrameControl ? first.FrameControl->Disposal() : 0);
    }
    return ok && !toolFailed ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    ToolApplication app(argc, argv);
    if (argc < 2)
        return Usage(MainUsage);
    const std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(MainUsage, stdout);
        return 0;
    }
    if (command == "info")
        return Info(args);
    if (command == "indexes")
        return Indexes(args);
    if (command == "decode")
        return Decode(args);
    if (command == "reencode")
        return Reencode(args);
    if (command == "frames")
        return Frames(args);
    return Usage(MainUsage);
}
