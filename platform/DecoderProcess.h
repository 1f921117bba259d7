#pragma once
// Pictures that other people's libraries decode (JPEG through libjpeg; metafiles through libwmf
// or libemf2svg, drawn by Qt SVG) are decoded in a short-lived child process: a file that sends
// a library into an endless loop, or makes it ask for all the memory there is, costs the child,
// never the window. The child is this same program file, started again in a decoder mode that
// takes over before main (so no program can forget it). It reads the file from its standard
// input and writes the picture to its standard output, both memory files; it limits its own
// processor time and memory, and is killed when it runs too long.
#include <QByteArray>
#include <QImage>

#include <array>

// What a decoder makes of a file: the picture at its own size (32 bits per pixel) and up to four
// numbers about it, whose meaning each decoder gives.
struct DecodedPicture {
    QImage image;
    std::array<qint32, 4> facts{};
};

enum class PictureDecoder { Jpeg, Metafile };

// Decodes the file in a child process, or in this one where no child can be started. Throws
// EInvalidGraphic with the decoder's own message when it refuses the file, and with a message
// of its own when the child runs out of time or memory, or dies.
DecodedPicture DecodeInChildProcess(PictureDecoder decoder, const QByteArray &file);

// The limits of one decoding.
constexpr int DecoderProcessorSeconds = 5;
constexpr int DecoderWallSeconds = 8;
constexpr long long DecoderMemoryBytes = 1536LL * 1024 * 1024;
