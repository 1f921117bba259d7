#include "platform/Metafile.h"

#include "platform/LittleEndian.h"
#include "platform/MetafileRecords.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <libwmf/api.h>
#include <libwmf/svg.h>

extern "C" {
#include <emf2svg.h>
}

namespace {
const char *const InvalidMetafile = "Metafile is not valid";
constexpr int ScreenPixelsPerInch = 96;


bool IsEmf(const QByteArray &d) { return d.size() >= 88 && Le32(d, 0) == 1 && Le32(d, 40) == 0x464D4520; }

bool IsWmf(const QByteArray &d)
{
    if (d.size() >= 22 && Le32(d, 0) == 0x9AC6CDD7u)
        return true;
    return d.size() >= 18 && (Le16(d, 0) == 1 || Le16(d, 0) == 2) && Le16(d, 2) == 9 &&
           (Le16(d, 4) == 0x0100 || Le16(d, 4) == 0x0300);
}

void CheckPixels(double w, double h)
{
    if (!(w >= 1 && h >= 1) || w * h > double(MaxGraphicPixels))
        throw EInvalidGraphic(InvalidMetafile);
}

// libwmf needs font files even for metafiles without text. Its own default is the URW base 35
// Type 1 fonts; when they are not installed, the standard PostScript names are mapped onto
// TrueType fonts found on the system (DejaVu, Liberation, or any font at all).
struct WmfFonts {
    bool useOwnMap = false;
    std::vector<std::string> dirNames;
    std::vector<char *> dirs;
    std::vector<std::string> strings;
    std::vector<wmfMapping> ps;
};

const WmfFonts &FontsForWmf()
{
    static const WmfFonts fonts = [] {
        WmfFonts f;
        if (!QDir(QStringLiteral("/usr/share/fonts/type1/urw-base35")).entryList({QStringLiteral("*.t1"), QStringLiteral("*.pfb")}).isEmpty())
            return f;   // libwmf's defaults work
        struct Family {
            const char *ps[4];     // normal, italic, bold, bold italic
            const char *files[2][4];
        };
        static const Family families[] = {
            {{"Times-Roman", "Times-Italic", "Times-Bold", "Times-BoldItalic"},
             {{"DejaVuSerif.ttf", "DejaVuSerif-Italic.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-BoldItalic.ttf"},
              {"LiberationSerif-Regular.ttf", "LiberationSerif-Italic.ttf", "LiberationSerif-Bold.ttf", "LiberationSerif-BoldItalic.ttf"}}},
            {{"Helvetica", "Helvetica-Oblique", "Helvetica-Bold", "Helvetica-BoldOblique"},
             {{"DejaVuSans.ttf", "DejaVuSans-Oblique.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-BoldOblique.ttf"},
              {"LiberationSans-Regular.ttf", "LiberationSans-Italic.ttf", "LiberationSans-Bold.ttf", "LiberationSans-BoldItalic.ttf"}}},
            {{"Courier", "Courier-Oblique", "Courier-Bold", "Courier-BoldOblique"},
             {{"DejaVuSansMono.ttf", "DejaVuSansMono-Oblique.ttf", "DejaVuSansMono-Bold.ttf", "DejaVuSansMono-BoldOblique.ttf"},
              {"LiberationMono-Regular.ttf", "LiberationMono-Italic.ttf", "LiberationMono-Bold.ttf", "LiberationMono-BoldItalic.ttf"}}},
        };
        const QStringList candidateDirs = {QStringLiteral("/usr/share/fonts/truetype/dejavu"),
                                           QStringLiteral("/usr/share/fonts/truetype/liberation"),
                                           QStringLiteral("/usr/share/fonts/truetype/liberation2")};
        QStringList dirsUsed;
        auto find = [&](const char *file) -> bool {
            for (const QString &dir : candidateDirs)
                if (QFileInfo::exists(dir + QLatin1Char('/') + QLatin1String(file))) {
                    if (!dirsUsed.contains(dir))
                        dirsUsed.append(dir);
                    return true;
                }
            return false;
        };
        // Any font file at all, as the last resort for every name.
        QString anyFile;
        {
            QDirIterator it(QStringLiteral("/usr/share/fonts"),
                            {QStringLiteral("*.ttf"), QStringLiteral("*.otf"), QStringLiteral("*.pfb"), QStringLiteral("*.t1")},
                            QDir::Files, QDirIterator::Subdirectories);
            if (it.hasNext()) {
                const QFileInfo info(it.next());
                anyFile = info.fileName();
                if (!dirsUsed.contains(info.path()))
                    dirsUsed.append(info.path());
            }
        }
        std::vector<std::pair<std::string, std::string>> map;
        for (const Family &family : families)
            for (int style = 0; style < 4; ++style) {
                std::string file;
                for (int set = 0; set < 2 && file.empty(); ++set)
                    if (find(family.files[set][style]))
                        file = family.files[set][style];
                for (int set = 0; set < 2 && file.empty(); ++set)
                    if (find(family.files[set][0]))
                        file = family.files[set][0];
                if (file.empty())
                    file = anyFile.toStdString();
                if (!file.empty())
                    map.emplace_back(family.ps[style], file);
            }
        if (map.empty())
            return f;
        if (const auto sans = std::find_if(map.begin(), map.end(), [](auto &m) { return m.first == "Helvetica"; });
            sans != map.end())
            map.emplace_back("Symbol", sans->second);
        f.useOwnMap = true;
        for (const QString &dir : dirsUsed)
            f.dirNames.push_back(dir.toStdString());
        f.strings.reserve(map.size() * 2);
        for (auto &[name, file] : map) {
            f.strings.push_back(name);
            f.strings.push_back(file);
        }
        for (auto &dir : f.dirNames)
            f.dirs.push_back(dir.data());
        f.dirs.push_back(nullptr);
        for (size_t i = 0; i < map.size(); ++i)
            f.ps.push_back({f.strings[2 * i].data(), f.strings[2 * i + 1].data(), FT_ENCODING_NONE});
        f.ps.push_back({nullptr, nullptr, FT_ENCODING_NONE});
        return f;
    }();
    return fonts;
}

// libwmf: plays the metafile into its SVG device layer, writing to memory.
QByteArray WmfToSvg(const QByteArray &file, int &width, int &height)
{
    // The standard header must be whole, and the file as long as it says.
    const qsizetype start = Le32(file, 0) == 0x9AC6CDD7u ? 22 : 0;
    if (file.size() < start + 18)
        throw EInvalidGraphic(InvalidMetafile);
    const quint64 words = Le32(file, start + 6);
    if (words * 2 > quint64(file.size() - start) || words < 9)
        throw EInvalidGraphic(InvalidMetafile);
    CheckWmfRecords(file, start);
    if (start) {
        const int inch = Le16(file, 14);
        const double w = std::abs(double(LeI16(file, 10)) - LeI16(file, 6));
        const double h = std::abs(double(LeI16(file, 12)) - LeI16(file, 8));
        if (inch == 0)
            throw EInvalidGraphic(InvalidMetafile);
        CheckPixels(w * ScreenPixelsPerInch / inch, h * ScreenPixelsPerInch / inch);
    }

    wmfAPI_Options options;
    std::memset(&options, 0, sizeof options);
    options.function = wmf_svg_function;
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    const WmfFonts &fonts = FontsForWmf();
    if (fonts.useOwnMap) {
        options.fontdirs = const_cast<char **>(fonts.dirs.data());
        options.font.ps = const_cast<wmfMapping *>(fonts.ps.data());
        flags |= WMF_OPT_FONTDIRS | WMF_OPT_FONTMAP;
    }
    wmfAPI *api = nullptr;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        throw EInvalidGraphic(InvalidMetafile);
    }
    QByteArray copy = file;   // libwmf reads from a non-const buffer
    QByteArray out;
    bool ok = false;
    do {
        if (wmf_mem_open(api, reinterpret_cast<unsigned char *>(copy.data()), long(copy.size())) != wmf_E_None)
            break;
        wmfD_Rect bbox;
        if (wmf_scan(api, 0, &bbox) != wmf_E_None)
            break;
        unsigned int w = 0, h = 0;
        if (wmf_display_size(api, &w, &h, ScreenPixelsPerInch, ScreenPixelsPerInch) != wmf_E_None)
            break;
        if (start) {
            // A placeable metafile's frame is its bounding box (in points for libwmf), not
            // the box of what it happens to paint.
            const double inch = Le16(file, 14);
            const double left = LeI16(file, 6), top = LeI16(file, 8), right = LeI16(file, 10), bottom = LeI16(file, 12);
            bbox.TL.x = float(std::min(left, right) * 72 / inch);
            bbox.TL.y = float(std::min(top, bottom) * 72 / inch);
            bbox.BR.x = float(std::max(left, right) * 72 / inch);
            bbox.BR.y = float(std::max(top, bottom) * 72 / inch);
            w = unsigned(std::lround(std::abs(right - left) * ScreenPixelsPerInch / inch));
            h = unsigned(std::lround(std::abs(bottom - top) * ScreenPixelsPerInch / inch));
        }
        if (w == 0 || h == 0 || double(w) * h > double(MaxGraphicPixels))
            break;
        wmf_svg_t *svg = WMF_SVG_GetData(api);
        svg->out = wmf_stream_create(api, nullptr);
        svg->Description = const_cast<char *>("Glossadrome");
        svg->bbox = bbox;
        svg->width = w;
        svg->height = h;
        svg->flags |= WMF_SVG_INLINE_IMAGES;
        if (wmf_play(api, 0, &bbox) != wmf_E_None)
            break;
        char *buffer = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api, svg->out, &buffer, &length);
        svg->out = nullptr;
        if (buffer && length)
            out = QByteArray(buffer, qsizetype(length));
        width = int(w);
        height = int(h);
        ok = !out.isEmpty();
    } while (false);
    wmf_mem_close(api);
    wmf_api_destroy(api);   // frees everything libwmf allocated, the SVG text included
    if (!ok)
        throw EInvalidGraphic(InvalidMetafile);
    return out;
}

QByteArray EmfToSvg(const QByteArray &file, int &width, int &height, int &mmWidth, int &mmHeight)
{
    const quint32 bytes = Le32(file, 48);
    if (bytes < 88 || bytes > quint32(file.size()) || Le32(file, 4) < 88 || Le32(file, 4) > bytes)
        throw EInvalidGraphic(InvalidMetafile);
    CheckEmfRecords(file, bytes);
    // rclFrame is inclusive, in 0.01 mm; rclBounds inclusive, in device pixels.
    const double frameW = double(LeI32(file, 32)) - LeI32(file, 24) + 1;
    const double frameH = double(LeI32(file, 36)) - LeI32(file, 28) + 1;
    double w, h;
    if (frameW > 1 && frameH > 1) {
        mmWidth = int(frameW);
        mmHeight = int(frameH);
        w = std::round(frameW * ScreenPixelsPerInch / 2540.0);
        h = std::round(frameH * ScreenPixelsPerInch / 2540.0);
    } else {
        w = double(LeI32(file, 16)) - LeI32(file, 8) + 1;
        h = double(LeI32(file, 20)) - LeI32(file, 12) + 1;
        mmWidth = int(w * 2540 / ScreenPixelsPerInch);
        mmHeight = int(h * 2540 / ScreenPixelsPerInch);
    }
    CheckPixels(w, h);
    generatorOptions options;
    std::memset(&options, 0, sizeof options);
    options.nameSpace = const_cast<char *>("");
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = w;
    options.imgHeight = h;
    QByteArray copy = file.left(bytes);
    char *svg = nullptr;
    size_t length = 0;
    const int ok = emf2svg(copy.data(), size_t(copy.size()), &svg, &length, &options);
    QByteArray out;
    if (svg && length)
        out = QByteArray(svg, qsizetype(length));
    std::free(svg);
    if (!ok || out.isEmpty())
        throw EInvalidGraphic(InvalidMetafile);
    width = int(w);
    height = int(h);
    return out;
}
// The SVG drawn at the metafile's own size onto a transparent picture.
QImage DrawSvg(const QByteArray &svg, int width, int height)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        throw EInvalidGraphic(InvalidMetafile);
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw EInvalidGraphic(InvalidMetafile);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, width, height));
    return image;
}
} // namespace

DecodedPicture DrawMetafileFile(const QByteArray &file)
{
    int w = 0, h = 0, mmW = 0, mmH = 0;
    const bool enhanced = IsEmf(file);
    QByteArray svg;
    if (enhanced) {
        svg = EmfToSvg(file, w, h, mmW, mmH);
    } else if (IsWmf(file)) {
        svg = WmfToSvg(file, w, h);
        mmW = w * 2540 / ScreenPixelsPerInch;
        mmH = h * 2540 / ScreenPixelsPerInch;
    } else {
        throw EInvalidGraphic(InvalidMetafile);
    }
    return {DrawSvg(svg, w, h), {enhanced ? 1 : 0, mmW, mmH, 0}};
}

TMetafile::TMetafile() = default;
TMetafile::~TMetafile() = default;

void TMetafile::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *m = qobject_cast<const TMetafile *>(&source)) {
        data = m->data;
        picture = m->picture;
        enhanced = m->enhanced;
        mmWidth = m->mmWidth;
        mmHeight = m->mmHeight;
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TMetafile::Draw(TCanvas &canvas, const QRect &rect)
{
    if (picture.isNull() || rect.isEmpty())
        return;
    QPainter &p = canvas.Painter();
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    canvas.StretchDrawImage(rect, picture);
    p.restore();
}

void TMetafile::LoadFromStream(QIODevice &stream)
{
    const QByteArray file = ReadRestOfStream(stream, InvalidMetafile);
    if (!IsEmf(file) && !IsWmf(file))
        throw EInvalidGraphic(InvalidMetafile);
    const DecodedPicture drawn = DecodeInChildProcess(PictureDecoder::Metafile, file);
    data = file;
    picture = drawn.image;
    enhanced = drawn.facts[0] != 0;
    mmWidth = drawn.facts[1];
    mmHeight = drawn.facts[2];
    Changed();
}

void TMetafile::SaveToStream(QIODevice &stream)
{
    if (!data.isEmpty() && stream.write(data) != data.size())
        throw EInvalidGraphic("Unable to write metafile");
}
