#include "platform/JPEGImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

namespace {
// libjpeg's default error handler prints and calls exit(). This one jumps back to the caller,
// which turns the failure into an exception once libjpeg's state is released.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool prematureEnd;  // the source ran out of bytes
    bool hitMarker;     // the decoder needed bytes that were not there
    bool tooManyScans;  // stopped by the progress monitor
    unsigned char *scratch; // freed after a jump too
};

// Encoders write a handful of scans, ten or so for a progressive picture; a file of thousands
// makes libjpeg go over the whole picture again for each one, minutes for a few megabytes.
constexpr int MaxJpegScans = 100;

extern "C" void ErrorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

extern "C" void EmitMessage(j_common_ptr cinfo, int level)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    if (level < 0) {
        // A truncated file is a warning for libjpeg (it pads with grey); for us it is an error.
        // The decoder reads ahead, so running out of bytes alone is not yet a loss.
        if (cinfo->err->msg_code == JWRN_JPEG_EOF)
            err->prematureEnd = true;
        if (cinfo->err->msg_code == JWRN_HIT_MARKER)
            err->hitMarker = true;
        cinfo->err->num_warnings++;
    }
}

extern "C" void OutputMessage(j_common_ptr) {}

void InstallErrorManager(ErrorManager &err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.message[0] = 0;
    err.prematureEnd = false;
    err.hitMarker = false;
    err.tooManyScans = false;
    err.scratch = nullptr;
}

// Called by libjpeg as it reads its way through the scans: stops a file with too many.
extern "C" void WatchScans(j_common_ptr common)
{
    auto *cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (cinfo->input_scan_number <= MaxJpegScans)
        return;
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    err->tooManyScans = true;
    std::longjmp(err->jump, 1);
}

std::string JpegErrorText(const ErrorManager &err)
{
    return "JPEG error #" + std::to_string(err.pub.msg_code);
}

// Decodes into image; returns false (with err filled) on a libjpeg failure. No C++ objects
// with destructors live in this function's frame across setjmp.
bool Decode(const QByteArray &data, ErrorManager &err, QImage &image, bool &grayscale, bool &tooLarge)
{
    jpeg_decompress_struct cinfo;
    cinfo.err = &err.pub;
    InstallErrorManager(err);
    tooLarge = false;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::free(err.scratch);
        err.scratch = nullptr;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_progress_mgr progress{};
    progress.progress_monitor = WatchScans;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()), (unsigned long)data.size());
    jpeg_read_header(&cinfo, TRUE);
    if (err.prematureEnd || cinfo.image_width == 0 || cinfo.image_height == 0 ||
        (long long)cinfo.image_width * cinfo.image_height > MaxGraphicPixels) {
        tooLarge = !err.prematureEnd;
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    grayscale = cinfo.num_components == 1;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&cinfo);   // reads all scans of a progressive file
    if (err.prematureEnd) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // Rows come out of libjpeg as RGB (or CMYK) and are spread into 32-bit pixels, the form
    // that is drawn without a further conversion.
    image = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB32);
    if (image.isNull()) {
        jpeg_destroy_decompress(&cinfo);
        tooLarge = true;
        return false;
    }
    err.scratch = static_cast<unsigned char *>(std::malloc(size_t(cinfo.output_width) * 4));
    unsigned char *samples = err.scratch;
    while (cinfo.output_scanline < cinfo.output_height && !err.hitMarker) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(int(cinfo.output_scanline)));
        JSAMPROW rows[1] = {samples};
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
            break;
        if (cmyk) {
            // Adobe writes CMYK inverted: each channel is already 255 - ink.
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
                const int c = samples[4 * x], m = samples[4 * x + 1], y = samples[4 * x + 2], k = samples[4 * x + 3];
                row[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
            }
        } else {
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x)
                row[x] = qRgb(samples[3 * x], samples[3 * x + 1], samples[3 * x + 2]);
        }
    }
    std::free(err.scratch);
    err.scratch = nullptr;
    if (err.hitMarker || cinfo.output_scanline < cinfo.output_height) {
        jpeg_destroy_decompress(&cinfo);
        err.prematureEnd = true;
        return false;
    }
    // Every row is there: a missing end-of-image marker alone is forgiven.
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    err.prematureEnd = false;
    return true;
}

bool Encode(const QImage &rgb, int quality, ErrorManager &err, unsigned char *&out, unsigned long &outSize)
{
    jpeg_compress_struct cinfo;
    cinfo.err = &err.pub;
    InstallErrorManager(err);
    out = nullptr;
    outSize = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    // rgb is Format_RGB888: rows of red, green, blue.
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {const_cast<unsigned char *>(rgb.constScanLine(int(cinfo.next_scanline)))};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}
} // namespace

DecodedPicture DecodeJpegFile(const QByteArray &data)
{
    ErrorManager err;
    DecodedPicture decoded;
    bool gray = false, tooLarge = false;
    if (!Decode(data, err, decoded.image, gray, tooLarge)) {
        if (tooLarge)
            throw EInvalidGraphic("JPEG image is too large");
        if (err.tooManyScans)
            throw EInvalidGraphic("JPEG image has too many scans (more than " + std::to_string(MaxJpegScans) + ")");
        if (err.prematureEnd)
            throw EInvalidGraphic("JPEG error #" + std::to_string(JWRN_JPEG_EOF) + ": premature end of data");
        throw EInvalidGraphic(JpegErrorText(err) + (err.message[0] ? std::string(": ") + err.message : std::string()));
    }
    decoded.facts[0] = gray ? 1 : 0;
    return decoded;
}

void TJPEGImage::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (auto *jpeg = qobject_cast<const TJPEGImage *>(&source)) {
        image = jpeg->image;
        original = jpeg->original;
        quality = jpeg->quality;
        grayscale = jpeg->grayscale;
        Changed();
        return;
    }
    SetImage(source.ToImage());
}

void TJPEGImage::Draw(TCanvas &canvas, const QRect &rect)
{
    if (!image.isNull())
        canvas.StretchDrawImage(rect, image);
}

void TJPEGImage::LoadFromStream(QIODevice &stream)
{
    const QByteArray data = ReadRestOfStream(stream, "JPEG image is not valid");
    if (data.size() < 4 || uchar(data[0]) != 0xFF || uchar(data[1]) != 0xD8)
        throw EInvalidGraphic("JPEG image is not valid");
    const DecodedPicture decoded = DecodeInChildProcess(PictureDecoder::Jpeg, data);
    image = decoded.image;
    grayscale = decoded.facts[0] != 0;
    original = data;
    Changed();
}

void TJPEGImage::SaveToStream(QIODevice &stream)
{
    if (image.isNull())
        return;
    if (original.isEmpty()) {
        ErrorManager err;
        unsigned char *out = nullptr;
        unsigned long size = 0;
        const bool ok = Encode(image.convertToFormat(QImage::Format_RGB888), quality, err, out, size);
        if (ok)
            original = QByteArray(reinterpret_cast<const char *>(out), qsizetype(size));
        std::free(out);
        if (!ok)
            throw EInvalidGraphic(JpegErrorText(err));
    }
    if (stream.write(original) != original.size())
        throw EInvalidGraphic("Unable to write JPEG image");
}

void TJPEGImage::SetImage(const QImage &value)
{
    if (!value.isNull())
        CheckGraphicSize(value.width(), value.height(), "JPEG image is too large");
    image = value.isNull() ? QImage() : value.convertToFormat(QImage::Format_RGB32);
    original.clear();
    grayscale = false;
    Changed();
}
