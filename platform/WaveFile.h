#pragma once
// A sound file decoded into memory with libsndfile, ready for Qt's audio output: a wave file
// (RIFF/WAVE), FLAC, Ogg (Vorbis or Opus) or MP3, known by its header. Anything else (text, a
// picture renamed .wav, an AIFF, a truncated header) is refused with EWaveFileError. The samples
// keep their precision in the nearest sample format of QAudioFormat:
//   8-bit PCM -> UInt8 (unsigned, 128 is silence)   16-bit PCM -> Int16
//   24- and 32-bit PCM -> Int32 (24-bit values shifted left by 8)
//   float, double, Vorbis, Opus, MP3 -> Float       other encodings (ADPCM, A-law ...) -> Int16
// Samples are interleaved, channel by channel within each frame.
#include "platform/Exceptions.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// A file that is not a wave file, or a wave file that cannot be decoded.
class EWaveFileError : public Exception {
public:
    using Exception::Exception;
};

class TWaveFile {
public:
    TWaveFile() = default;
    // Reads and decodes the whole file (the path as the program holds it) and closes it again.
    // Throws EInOutError when it cannot be read ("File not found" ...) and EWaveFileError
    // when it is not a wave file that can be played.
    explicit TWaveFile(const std::string &fileName);
    // The same for a path given as text (a UTF-8 Deck's field).
    explicit TWaveFile(const QString &filePath);
    // Mono 16-bit samples the program made itself (speech), under a name for messages.
    TWaveFile(const std::vector<int16_t> &samples, int sampleRate, std::string soundName);

    const std::string &FileName() const { return name; }
    bool Empty() const { return frames == 0; }
    int SampleRate() const { return format.sampleRate(); }
    int Channels() const { return format.channelCount(); }
    // The bits of the file's own samples (8, 16, 24, 32, 64), and whether they are floating point.
    int SourceBits() const { return sourceBits; }
    bool SourceFloat() const { return sourceFloat; }
    qint64 Frames() const { return frames; }
    qint64 LengthMs() const { return FramesToMs(frames); }
    qint64 FramesToMs(qint64 frameCount) const;
    qint64 MsToFrames(qint64 ms) const;

    // The format of Data(): the file's rate and channels in the sample format above.
    const QAudioFormat &Format() const { return format; }
    const QByteArray &Data() const { return data; }

    // One decoded sample of a frame and channel, as stored in Data().
    uint8_t SampleU8(qint64 frame, int channel) const;
    int16_t SampleS16(qint64 frame, int channel) const;
    int32_t SampleS32(qint64 frame, int channel) const;
    float SampleFloat(qint64 frame, int channel) const;

private:
    std::string name;
    QAudioFormat format;
    int sourceBits = 0;
    bool sourceFloat = false;
    qint64 frames = 0;
    QByteArray data;
};

// Converts interleaved samples from one sample format to another (same rate and channels),
// for an audio device that does not take the decoded format.
QByteArray ConvertSamples(const char *samples, qint64 sampleCount, QAudioFormat::SampleFormat from,
                          QAudioFormat::SampleFormat to);
