// glossgif: a command-line tool over the GIF codec.
//   glossgif info FILE
//   glossgif indexes FILE OUT
//   glossgif decode FILE [-n N]
//   glossgif reencode IN OUT.gif [--rle]
//   glossgif convert IN OUT.gif [--reduction N|best] [--dither N] [--bits N] [--rle] [--optimize]
//   glossgif optimize IN.gif OUT.gif [--options MASK]
//   glossgif frames FILE OUTDIR [--backdrop RRGGBB] [--flags HEX] [--speed N]
#include "gif/ColorReduction.h"
#include "gif/GIFImage.h"
#include "gif/GIFPainter.h"

#include "platform/Bitmap.h"
#include "platform/FileReplacement.h"
#include "platform/Picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
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
    "  info FILE                    summary of the picture, its frames and extensions\n"
    "  indexes FILE OUT             write the pixel indexes of every frame with an image\n"
    "  decode FILE [-n N]           time N loads from memory (default 20)\n"
    "  reencode IN OUT.gif [--rle]  load and save again (LZW, or run-length codes)\n"
    "  convert IN OUT.gif [...]     make a GIF from a BMP, JPEG, PNG, WebP, SVG, ICO, WMF, EMF or GIF picture\n"
    "  optimize IN OUT.gif [...]    shrink a GIF picture\n"
    "  frames FILE OUTDIR ...       play through the animation painter, one PNG per frame\n"
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
    "usage: glossgif reencode IN OUT.gif [--rle]\n"
    "Loads IN and saves it to OUT.gif with LZW coding, or with run-length coding when --rle is given.\n";

const char *const ConvertUsage =
    "usage: glossgif convert IN OUT.gif [--reduction N|best] [--dither N] [--bits N] [--rle] [--optimize]\n"
    "Makes a GIF picture of IN (BMP, JPEG, PNG, WebP, SVG, ICO, WMF, EMF or GIF) and writes it to OUT.gif,\n"
    "whole or not at all. Pictures of more than 8 bits per pixel are reduced to a palette:\n"
    "  --reduction N  0 none (the picture must have at most 256 colours), 1 the 20 system colours,\n"
    "                 2 halftone, 3 four greys, 4 black and white, 5 256 greys, 6 the 216-colour cube,\n"
    "                 7 an octree palette, 8 an octree palette with the system colours, best a\n"
    "                 palette of least error with every pixel mapped to its nearest colour (default)\n"
    "  --dither N     0 nearest colour (default), 1 Floyd-Steinberg, 2 Stucki, 3 Sierra,\n"
    "                 4 Jarvis-Judice-Ninke, 5 Stevenson-Arce, 6 Burkes\n"
    "  --bits N       2^N colours for --reduction 7 and best, N from 1 to 8 (default 8)\n"
    "  --rle          run-length codes instead of LZW\n"
    "  --optimize     optimise the picture before writing it\n"
    "Prints '<OUT>: <width>x<height> frames=<n> colors=<n> <bytes> bytes <ms> ms'.\n";

const char *const OptimizeUsage =
    "usage: glossgif optimize IN.gif OUT.gif [--options MASK]\n"
    "Optimises IN.gif and writes the result to OUT.gif, whole or not at all. MASK (decimal, or hex\n"
    "after 0x) adds up: 1 crop transparent borders, 2 make repeated pixels transparent, 4 drop\n"
    "what shows nothing, 8 sort and trim colour tables and share the global one, 16 check the\n"
    "reduction mode (default 31).\n"
    "Prints '<IN> <bytes> bytes -> <OUT> <bytes> bytes (<percent>%)'.\n";

const char *const FramesUsage =
    "usage: glossgif frames FILE OUTDIR [--backdrop RRGGBB] [--flags HEX] [--speed N]\n"
    "Plays FILE through the animation painter (in its own thread unless --flags says otherwise) onto a\n"
    "bitmap of the picture's size that starts as the backdrop colour (default ffffff). After each painted\n"
    "frame of one pass it writes OUTDIR/frame-K.png (K from 0) and prints '<frame> <delay ms> <disposal>',\n"
    "the delay as the painter computed it. --flags sets the drawing options (default 060f), --speed the\n"
    "speed in percent (default -1: no waits; 0 stands still on the first frame, the only one written).\n";

// The usage, after one line that says what was wrong with the arguments.
int Usage(const char *text, const std::string &problem = "")
{
    if (!problem.empty())
        std::fprintf(stderr, "error: %s\n", problem.c_str());
    std::fputs(text, stderr);
    return 2;
}

// Prints the usage when the arguments ask for help; true when it did.
bool PrintedHelp(const std::vector<std::string> &args, const char *usage)
{
    if (std::find(args.begin(), args.end(), "--help") == args.end() &&
        std::find(args.begin(), args.end(), "-h") == args.end())
        return false;
    std::fputs(usage, stdout);
    return true;
}

// A whole number from low to high in the base (0: decimal, or hexadecimal after 0x).
bool ParseNumber(const std::string &text, int base, long low, long high, long &value)
{
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, base);
    return !text.empty() && end && !*end && value >= low && value <= high;
}

// A subcommand's options: numbers (with their base and range; `digits` > 0 asks for exactly
// that many) and switches. Everything else not starting with '-' is a file name.
struct NumberOption {
    const char *name;
    int base;
    long low, high;
    long *value;
    size_t digits = 0;
};
struct SwitchOption {
    const char *name;
    bool *value;
};

// What a number option accepts, in the words of its usage.
std::string NumberRange(const NumberOption &option)
{
    const std::string name = option.name;
    if (option.digits > 0)
        return name + " must be " + std::to_string(option.digits) + " hexadecimal digits";
    if (option.base == 16) {
        char range[64];
        std::snprintf(range, sizeof range, "%lx to %lx", option.low, option.high);
        return name + " must be a hexadecimal number from " + range;
    }
    return name + " must be " + std::to_string(option.low) + " to " + std::to_string(option.high);
}

// Reads the options and the file names; answers what is wrong with them, or "" when nothing is.
std::string ParseArguments(const std::vector<std::string> &args, std::initializer_list<NumberOption> numbers,
                           std::initializer_list<SwitchOption> switches, std::vector<std::string> &files,
                           size_t fileCount)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const auto number = std::find_if(numbers.begin(), numbers.end(), [&](const NumberOption &o) { return a == o.name; });
        const auto toggle = std::find_if(switches.begin(), switches.end(), [&](const SwitchOption &o) { return a == o.name; });
        if (number != numbers.end()) {
            if (i + 1 >= args.size())
                return a + " needs a value";
            if (!ParseNumber(args[i + 1], number->base, number->low, number->high, *number->value)
                || (number->digits > 0 && args[i + 1].size() != number->digits))
                return NumberRange(*number) + ", not '" + args[i + 1] + "'";
            ++i;
        } else if (toggle != switches.end()) {
            *toggle->value = true;
        } else if (!a.empty() && a[0] != '-') {
            files.push_back(a);
        } else {
            return "unknown option '" + a + "'";
        }
    }
    if (files.size() != fileCount)
        return "expected " + std::to_string(fileCount) + (fileCount == 1 ? " file name" : " file names") + ", got " +
               std::to_string(files.size());
    return {};
}

// GIF data goes only into a file named as a GIF picture: under another extension, programs
// that go by the name would not show it.
std::string GifOutputProblem(const std::string &name)
{
    if (QString::fromLocal8Bit(name.c_str()).endsWith(QLatin1String(".gif"), Qt::CaseInsensitive))
        return {};
    return "the output '" + name + "' must be a .gif file name";
}

// The arguments of a command that writes a GIF picture: IN, OUT.gif and options.
std::string ParseGifWriterArguments(const std::vector<std::string> &args, std::initializer_list<NumberOption> numbers,
                                    std::initializer_list<SwitchOption> switches, std::vector<std::string> &files)
{
    const std::string problem = ParseArguments(args, numbers, switches, files, 2);
    return problem.empty() ? GifOutputProblem(files[1]) : problem;
}

// Reports a failure on a file, naming the file once: many messages already hold its path.
void PrintFileError(const std::string &name, const std::exception &e)
{
    const std::string message = e.what();
    if (message.find(name) != std::string::npos)
        std::fprintf(stderr, "error: %s\n", message.c_str());
    else
        std::fprintf(stderr, "error: %s: %s\n", name.c_str(), message.c_str());
}

// Writes bytes to a file whole or not at all: every write and the sync are checked, and only a
// complete new file takes the old one's place. A failure is reported with the file's name.
bool WriteWhole(const std::string &name, const QByteArray &bytes)
{
    try {
        ReplaceFileContent(name, bytes.toStdString());
    } catch (const std::exception &e) {
        PrintFileError(name, e);
        return false;
    }
    return true;
}

bool ReadFile(const std::string &name, QByteArray &bytes, std::string &error)
{
    QFile file;
    if (!OpenRegularFile(file, name)) {
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
    if (PrintedHelp(args, InfoUsage))
        return 0;
    std::vector<std::string> files;
    if (const std::string problem = ParseArguments(args, {}, {}, files, 1); !problem.empty())
        return Usage(InfoUsage, problem);
    TGIFImage image;
    if (!Load(files[0], image))
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
    if (PrintedHelp(args, IndexesUsage))
        return 0;
    std::vector<std::string> files;
    if (const std::string problem = ParseArguments(args, {}, {}, files, 2); !problem.empty())
        return Usage(IndexesUsage, problem);
    TGIFImage image;
    if (!Load(files[0], image))
        return 1;
    QByteArray indexes;
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFSubImage *frame = image.Images()[i];
        if (!frame->Empty())
            indexes.append(reinterpret_cast<const char *>(frame->Data()), qsizetype(frame->DataSize()));
    }
    return WriteWhole(files[1], indexes) ? 0 : 1;
}

int Decode(const std::vector<std::string> &args)
{
    if (PrintedHelp(args, DecodeUsage))
        return 0;
    std::vector<std::string> files;
    long n = 20;
    if (const std::string problem = ParseArguments(args, {{"-n", 10, 1, 1000000, &n}}, {}, files, 1); !problem.empty())
        return Usage(DecodeUsage, problem);
    const std::string &file = files[0];
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

QByteArray SaveToBytes(TGIFImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.SaveToStream(buffer);
    return bytes;
}

int Reencode(const std::vector<std::string> &args)
{
    if (PrintedHelp(args, ReencodeUsage))
        return 0;
    std::vector<std::string> files;
    bool rle = false;
    if (const std::string problem = ParseGifWriterArguments(args, {}, {{"--rle", &rle}}, files); !problem.empty())
        return Usage(ReencodeUsage, problem);
    TGIFImage image;
    if (!Load(files[0], image))
        return 1;
    image.Encoding = rle ? encRunLength : encLZW;
    QByteArray bytes;
    try {
        bytes = SaveToBytes(image);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return WriteWhole(files[1], bytes) ? 0 : 1;
}


// A picture file read by the program's own loader (chosen by extension).
std::unique_ptr<TGraphic> ReadPicture(const std::string &name)
{
    QFile file;
    if (!OpenRegularFile(file, name))
        throw EFOpenError("Cannot open file " + name);
    const GraphicFactory factory = GraphicFactoryForFile(name);
    if (!factory)
        throw EInvalidGraphic("Unknown picture file extension (" + name + ")");
    std::unique_ptr<TGraphic> graphic = factory();
    graphic->LoadFromStream(file);
    return graphic;
}

// The largest colour table of the picture.
int ColorCount(const TGIFImage &image)
{
    int colors = image.Header().ColorTable().Count();
    for (int i = 0; i < image.Images().Count(); ++i)
        colors = std::max(colors, image.Images()[i]->ColorTable().Count());
    return colors;
}

bool HasPixels(const TGIFImage &image)
{
    for (int i = 0; i < image.Images().Count(); ++i)
        if (!image.Images()[i]->Empty())
            return true;
    return false;
}

void PrintWarnings(TGIFImage &image)
{
    image.OnCodecWarning = [](TGIFImage &, int, const std::string &message) {
        std::fprintf(stderr, "warning: %s\n", message.c_str());
    };
}

// Runs `prepare` on the picture, saves it and writes the file whole; a failure is reported
// against the source file, which is named once.
bool SaveWhole(TGIFImage &image, const std::function<void()> &prepare, const std::string &source,
               const std::string &target, QByteArray &bytes)
{
    try {
        prepare();
        bytes = SaveToBytes(image);
    } catch (const std::exception &e) {
        PrintFileError(source, e);
        return false;
    }
    return WriteWhole(target, bytes);
}

int Convert(const std::vector<std::string> &args)
{
    if (PrintedHelp(args, ConvertUsage))
        return 0;
    std::vector<std::string> files;
    long reduction = redBest, dither = 0, bits = 8;
    bool rle = false, optimize = false;
    // "--reduction best" names our own mode, the numbers the others.
    std::vector<std::string> options;
    for (size_t i = 0; i < args.size(); ++i)
        if (args[i] == "--reduction" && i + 1 < args.size() && args[i + 1] == "best")
            ++i;
        else
            options.push_back(args[i]);
    if (const std::string problem = ParseGifWriterArguments(
            options, {{"--reduction", 0, 0, 8, &reduction}, {"--dither", 0, 0, 6, &dither}, {"--bits", 0, 1, 8, &bits}},
            {{"--rle", &rle}, {"--optimize", &optimize}}, files);
        !problem.empty())
        return Usage(ConvertUsage, problem);
    const auto start = std::chrono::steady_clock::now();
    TGIFImage image;
    PrintWarnings(image);
    image.ReductionMode = uint8_t(reduction);
    image.DitherKind = uint8_t(dither);
    image.PaletteBits = int(bits);
    image.Encoding = rle ? encRunLength : encLZW;
    QByteArray bytes;
    const auto assign = [&] {
        const std::unique_ptr<TGraphic> picture = ReadPicture(files[0]);
        if (picture->GetEmpty())
            throw GIFException("Image is empty");
        image.Assign(*picture);
        if (!HasPixels(image))
            throw GIFException("Image is empty");
        if (optimize)
            image.Compact(CompactAll);
    };
    if (!SaveWhole(image, assign, files[0], files[1], bytes))
        return 1;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %dx%d frames=%d colors=%d %lld bytes %.1f ms\n", files[1].c_str(), image.GetWidth(),
                image.GetHeight(), image.Images().Count(), ColorCount(image), (long long)bytes.size(), ms);
    return 0;
}

int Optimize(const std::vector<std::string> &args)
{
    if (PrintedHelp(args, OptimizeUsage))
        return 0;
    std::vector<std::string> files;
    long options = CompactAll;
    if (const std::string problem = ParseGifWriterArguments(args, {{"--options", 0, 0, CompactAll, &options}}, {}, files);
        !problem.empty())
        return Usage(OptimizeUsage, problem);
    TGIFImage image;
    if (!Load(files[0], image))
        return 1;
    // Taken before the write, which may replace the input itself.
    const qint64 before = QFileInfo(QString::fromLocal8Bit(files[0].c_str())).size();
    QByteArray bytes;
    if (!SaveWhole(image, [&] { image.Compact(uint8_t(options)); }, files[0], files[1], bytes))
        return 1;
    std::printf("%s %lld bytes -> %s %lld bytes (%.1f%%)\n", files[0].c_str(), (long long)before, files[1].c_str(),
                (long long)bytes.size(), before > 0 ? 100.0 * double(bytes.size()) / double(before) : 0.0);
    return 0;
}


// The frames subcommand: what the program shows of FILE, frame by frame.
int Frames(const std::vector<std::string> &args)
{
    if (PrintedHelp(args, FramesUsage))
        return 0;
    std::vector<std::string> files;
    long backdrop = 0xFFFFFF, flags = DefaultPaintFlags, speed = -1;
    if (const std::string problem = ParseArguments(args,
                                                   {{"--backdrop", 16, 0, 0xFFFFFF, &backdrop, 6},
                                                    {"--flags", 16, 0, 0xFFFF, &flags},
                                                    {"--speed", 10, -1000000, 1000000, &speed}},
                                                   {}, files, 2);
        !problem.empty())
        return Usage(FramesUsage, problem);
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
    // The frames are composed at the screen's size, within the budget of every picture.
    if (int64_t(screen.width()) * screen.height() > MaxGraphicPixels) {
        std::fprintf(stderr, "error: Image dimensions too large\n");
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
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!shown.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG")) {
            std::fprintf(stderr, "error: Cannot make a PNG picture for %s\n", qPrintable(name));
            ok = false;
        } else if (!WriteWhole(QFile::encodeName(name).toStdString(), png)) {
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
        // One pass: the last frame, or a frame that is followed by one the painter cannot show;
        // at speed 0 the picture stands still on its first frame.
        if (index + 1 >= frameCount || image.Images()[index + 1]->Empty() || !ok || speed == 0) {
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
    const std::string command = argc >= 2 ? argv[1] : "";
    // Converting draws pictures (metafiles with text), which needs the GUI side of Qt; the
    // tool never shows a window. That side wants a private runtime folder: where the session
    // has none (no desktop), it gets one of its own for the run, instead of Qt complaining and
    // leaving one under /tmp.
    std::unique_ptr<QTemporaryDir> runtimeFolder;
    std::unique_ptr<QCoreApplication> app;
    if (command == "convert") {
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            runtimeFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/glossgif-XXXXXX");
            if (runtimeFolder->isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder->path()));
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        RegisterBuiltInFormats();
        RegisterGIFCodec();
    } else {
        app = std::make_unique<ToolApplication>(argc, argv);
    }
    if (argc < 2)
        return Usage(MainUsage);
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
    if (command == "convert")
        return Convert(args);
    if (command == "optimize")
        return Optimize(args);
    if (command == "frames")
        return Frames(args);
    return Usage(MainUsage, "unknown command '" + command + "'");
}
