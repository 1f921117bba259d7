#pragma once
// Helpers shared by the GIF codec tests: loading from memory with the warnings collected,
// giflib as the outside decoder, and small builders for hand-made GIF streams.
#include "gif/GIFImage.h"
#include "support/GIFExtensionBytes.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QProcess>
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QPainter>
#include <QFile>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <memory>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

namespace giftest {

inline std::string TestDataDir() { return std::string(GLOSSAD_TESTDATA_DIR) + "/gif"; }
// The hand-made cases (tests/data/gif/cases, written by make_cases.py).
inline std::string CaseDir() { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/gif/cases"; }

inline QByteArray ReadAll(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Every .gif of the public test files (suite, real, artificial), sorted. The replay corpora
// and the hand-made cases beside them are checked by tests of their own.
inline std::vector<std::string> AllTestFiles()
{
    std::vector<std::string> files;
    for (const char *folder : {"suite", "real", "artificial"}) {
        QDirIterator it(QString::fromStdString(TestDataDir() + "/" + folder), {"*.gif"}, QDir::Files);
        while (it.hasNext())
            files.push_back(it.next().toStdString());
    }
    std::sort(files.begin(), files.end());
    return files;
}

struct Loaded {
    std::unique_ptr<TGIFImage> image = std::make_unique<TGIFImage>();
    std::vector<std::string> warnings;
    std::string error;   // empty when the load succeeded
    qint64 endPos = -1;
};

inline Loaded LoadBytes(const QByteArray &bytes, qint64 startPos = 0)
{
    Loaded result;
    auto *warnings = &result.warnings;
    result.image->OnCodecWarning = [warnings](TGIFImage &, int severity, const std::string &message) {
        EXPECT_EQ(severity, 1);
        warnings->push_back(message);
    };
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(startPos);
    try {
        result.image->LoadFromStream(buffer);
    } catch (const GIFException &e) {
        result.error = e.what();
    }
    result.endPos = buffer.pos();
    return result;
}

inline QByteArray SaveBytes(TGIFImage &image, int encoding = encLZW)
{
    image.Encoding = uint8_t(encoding);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.SaveToStream(buffer);
    return bytes;
}

// The pixels of the frames that have an image.
inline std::vector<std::vector<uint8_t>> FramePixels(const TGIFImage &image)
{
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < image.Images().Count(); ++i) {
        const TGIFSubImage *f = image.Images()[i];
        if (f->Empty())
            continue;
        frames.emplace_back(f->Data(), f->Data() + f->DataSize());
    }
    return frames;
}

inline std::vector<uint8_t> TableBytes(const TGIFColorMap &map)
{
    const uint8_t *p = reinterpret_cast<const uint8_t *>(map.Data());
    return std::vector<uint8_t>(p, p + 3 * map.Count());
}

// A table written and read again starts with the same colours; the writer may have added black
// entries (up to a power of two, or to cover the pixels).
inline void ExpectTableKept(const TGIFColorMap &before, const TGIFColorMap &after)
{
    const std::vector<uint8_t> a = TableBytes(before), b = TableBytes(after);
    ASSERT_GE(b.size(), a.size());
    EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin()));
    EXPECT_TRUE(std::all_of(b.begin() + long(a.size()), b.end(), [](uint8_t v) { return v == 0; }));
}

// Saves the picture with the encoding and reads it again: the same logical screen, frames,
// pixels, colours and extensions, and no warning but those of the first reading (odd data is
// kept as read); saving the copy gives the same bytes. Returns the saved bytes.
inline QByteArray ExpectRoundTrip(TGIFImage &image, int encoding, const std::vector<std::string> &firstWarnings = {})
{
    QByteArray saved;
    try {
        saved = SaveBytes(image, encoding);
    } catch (const GIFException &e) {
        ADD_FAILURE() << "save failed: " << e.what();
        return {};
    }
    Loaded again = LoadBytes(saved);
    EXPECT_EQ(again.error, "");
    for (const std::string &warning : again.warnings)
        EXPECT_NE(std::find(firstWarnings.begin(), firstWarnings.end(), warning), firstWarnings.end()) << warning;
    EXPECT_EQ(again.endPos, saved.size());
    EXPECT_EQ(again.image->GetWidth(), image.GetWidth());
    EXPECT_EQ(again.image->GetHeight(), image.GetHeight());
    ExpectTableKept(image.Header().ColorTable(), again.image->Header().ColorTable());
    std::vector<TGIFSubImage *> a, b;
    for (int i = 0; i < image.Images().Count(); ++i)
        if (!image.Images()[i]->Empty())
            a.push_back(image.Images()[i]);
    for (int i = 0; i < again.image->Images().Count(); ++i)
        if (!again.image->Images()[i]->Empty())
            b.push_back(again.image->Images()[i]);
    EXPECT_EQ(a.size(), b.size());
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(std::make_tuple(a[i]->Left, a[i]->Top, a[i]->Width, a[i]->Height, a[i]->Interlaced()),
                  std::make_tuple(b[i]->Left, b[i]->Top, b[i]->Width, b[i]->Height, b[i]->Interlaced()));
        EXPECT_TRUE(a[i]->DataSize() == b[i]->DataSize() &&
                    std::memcmp(a[i]->Data(), b[i]->Data(), a[i]->DataSize()) == 0);
        ExpectTableKept(a[i]->ColorTable(), b[i]->ColorTable());
    }
    EXPECT_EQ(AllExtensions(image), AllExtensions(*again.image));
    // An optimised picture's narrow code sizes are widened again by a plain save.
    if (!image.NarrowCodeSizes())
        EXPECT_EQ(SaveBytes(*again.image, encoding), saved);
    return saved;
}

// ---------------------------------------------------------------------------------------
// giflib

struct GifLibFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> localColors;   // RGB triples
};

struct GifLibResult {
    bool ok = false;
    int error = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> globalColors;
    std::vector<GifLibFrame> frames;
};

struct MemoryReader {
    const QByteArray *bytes;
    int pos = 0;
};

inline int ReadMemory(GifFileType *gif, GifByteType *buffer, int n)
{
    auto *reader = static_cast<MemoryReader *>(gif->UserData);
    const int available = int(reader->bytes->size()) - reader->pos;
    const int count = std::max(0, std::min(n, available));
    std::memcpy(buffer, reader->bytes->constData() + reader->pos, size_t(count));
    reader->pos += count;
    return count;
}

inline std::vector<uint8_t> ColorsOf(const ColorMapObject *map)
{
    std::vector<uint8_t> colors;
    if (!map)
        return colors;
    for (int i = 0; i < map->ColorCount; ++i) {
        colors.push_back(map->Colors[i].Red);
        colors.push_back(map->Colors[i].Green);
        colors.push_back(map->Colors[i].Blue);
    }
    return colors;
}

inline GifLibResult GifLibDecode(const QByteArray &bytes)
{
    GifLibResult result;
    MemoryReader reader{&bytes};
    int error = 0;
    GifFileType *gif = DGifOpen(&reader, ReadMemory, &error);
    if (!gif) {
        result.error = error;
        return result;
    }
    result.ok = DGifSlurp(gif) == GIF_OK;
    result.error = gif->Error;
    result.width = gif->SWidth;
    result.height = gif->SHeight;
    result.globalColors = ColorsOf(gif->SColorMap);
    if (result.ok) {
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage &s = gif->SavedImages[i];
            GifLibFrame f;
            f.left = s.ImageDesc.Left;
            f.top = s.ImageDesc.Top;
            f.width = s.ImageDesc.Width;
            f.height = s.ImageDesc.Height;
            f.interlaced = s.ImageDesc.Interlace;
            if (s.RasterBits)
                f.pixels.assign(s.RasterBits, s.RasterBits + size_t(f.width) * size_t(f.height));
            f.localColors = ColorsOf(s.ImageDesc.ColorMap);
            result.frames.push_back(std::move(f));
        }
    }
    int closeError = 0;
    DGifCloseFile(gif, &closeError);
    return result;
}

// ---------------------------------------------------------------------------------------
// Builders

// Packs codes least significant bit first.
class CodePacker {
public:
    void Put(int code, int width)
    {
        bits |= uint64_t(code) << count;
        count += width;
        while (count >= 8) {
            bytes.push_back(char(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    }
    QByteArray Finish()
    {
        if (count > 0)
            bytes.push_back(char(bits & 0xFF));
        bits = 0;
        count = 0;
        return bytes;
    }

private:
    QByteArray bytes;
    uint64_t bits = 0;
    int count = 0;
};

// Data bytes as sub-blocks of at most blockSize bytes, with (or without) the terminator.
inline QByteArray SubBlocks(const QByteArray &data, int blockSize = 255, bool terminator = true)
{
    QByteArray out;
    for (int i = 0; i < data.size(); i += blockSize) {
        const int n = std::min<int>(blockSize, int(data.size()) - i);
        out.append(char(n));
        out.append(data.mid(i, n));
    }
    if (terminator)
        out.append(char(0));
    return out;
}

inline void Put16(QByteArray &b, int v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}

// "GIF89a", logical screen, and a global table of 2 << tableBits colours (grey ramp), or none.
inline QByteArray Header(int width, int height, int tableBits = 1, bool globalTable = true,
                         const char *signature = "GIF89a")
{
    QByteArray b(signature, 6);
    Put16(b, width);
    Put16(b, height);
    b.append(char((globalTable ? 0x80 : 0) | (tableBits & 7)));
    b.append(char(0));
    b.append(char(0));
    if (globalTable) {
        const int n = 2 << (tableBits & 7);
        for (int i = 0; i < n; ++i) {
            b.append(char(i * 255 / std::max(1, n - 1)));
            b.append(char(i));
            b.append(char(255 - i));
        }
    }
    return b;
}

inline QByteArray Descriptor(int left, int top, int width, int height, uint8_t packed = 0)
{
    QByteArray b(1, ',');
    Put16(b, left);
    Put16(b, top);
    Put16(b, width);
    Put16(b, height);
    b.append(char(packed));
    return b;
}

// An image's data: code size byte and the sub-blocks of the given codes at explicit widths.
inline QByteArray ImageData(int minCodeSize, const std::vector<std::pair<int, int>> &codes, int blockSize = 255)
{
    CodePacker packer;
    for (auto [code, width] : codes)
        packer.Put(code, width);
    QByteArray b(1, char(minCodeSize));
    b.append(SubBlocks(packer.Finish(), blockSize));
    return b;
}

// Our own encoder's output for pixels.
inline QByteArray Encoded(const std::vector<uint8_t> &pixels, int width, int height, int minCodeSize,
                          int colorCount, bool interlaced = false, int encoding = encLZW)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EncodePixels(buffer, minCodeSize, colorCount, pixels.data(), interlaced, height, width, encoding);
    return bytes;
}

inline QByteArray GraphicControl(uint8_t packed, int delay, uint8_t transparentIndex)
{
    QByteArray b("\x21\xF9\x04", 3);
    b.append(char(packed));
    Put16(b, delay);
    b.append(char(transparentIndex));
    b.append(char(0));
    return b;
}

// The glossgif tool beside the test program, run to its end.
struct ToolResult {
    int code = -1;
    QString out, err;
};

inline QString Tool() { return QCoreApplication::applicationDirPath() + "/glossgif"; }

inline ToolResult RunTool(const QStringList &args)
{
    QProcess p;
    p.start(Tool(), args);
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace giftest
