#include "platform/WaveFile.h"

#include "platform/CodePage.h"
#include "platform/TextFile.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {
// Files larger than this are refused rather than decoded into memory.
constexpr qint64 MaxFileBytes = 512LL << 20;
constexpr qint64 MaxDecodedBytes = 1024LL << 20;

// The whole file, read with POSIX calls so that a failure carries its errno.
QByteArray ReadWaveBytes(const QString &filePath, const std::string &fileName)
{
    const QByteArray path = QFile::encodeName(filePath);
    if (path.isEmpty())
        throw EInOutError(ENOENT);
    const int fd = OpenFileForReading(path.toStdString());
    if (fd < 0)
        RaiseLastInOutError();
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            throw EInOutError(error);
        }
        if (n == 0)
            break;
        if (bytes.size() + n > MaxFileBytes) {
            ::close(fd);
            throw EWaveFileError("\"" + fileName + "\" is too large to be played");
        }
        bytes.append(buffer, n);
    }
    ::close(fd);
    return bytes;
}

// libsndfile reads the bytes in memory through these callbacks.
struct MemoryFile {
    const QByteArray *bytes;
    sf_count_t position = 0;
};

sf_count_t MemLength(void *user) { return static_cast<MemoryFile *>(user)->bytes->size(); }

sf_count_t MemSeek(sf_count_t offset, int whence, void *user)
{
    auto *f = static_cast<MemoryFile *>(user);
    sf_count_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? f->bytes->size() : 0;
    const sf_count_t target = base + offset;
    if (target < 0)
        return -1;
    f->position = target;
    return f->position;
}

sf_count_t MemRead(void *ptr, sf_count_t count, void *user)
{
    auto *f = static_cast<MemoryFile *>(user);
    const sf_count_t size = f->bytes->size();
    if (f->position >= size || count <= 0)
        return 0;
    const sf_count_t n = std::min(count, size - f->position);
    std::memcpy(ptr, f->bytes->constData() + f->position, size_t(n));
    f->position += n;
    return n;
}

sf_count_t MemWrite(const void *, sf_count_t, void *) { return 0; }

sf_count_t MemTell(void *user) { return static_cast<MemoryFile *>(user)->position; }

class SndFile {
public:
    SndFile(const QByteArray &bytes, SF_INFO &info) : memory{&bytes}
    {
        SF_VIRTUAL_IO io{MemLength, MemSeek, MemRead, MemWrite, MemTell};
        handle = sf_open_virtual(&io, SFM_READ, &info, &memory);
    }
    ~SndFile()
    {
        if (handle)
            sf_close(handle);
    }
    SNDFILE *get() const { return handle; }

private:
    MemoryFile memory;
    SNDFILE *handle = nullptr;
};

// The kinds of sound file played, by the header they begin with, and libsndfile's types for
// each: a file must be what its header says.
enum class SoundKind { Unknown, Wave, Flac, Ogg, Mpeg };

SoundKind KindOfHeader(const QByteArray &bytes)
{
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WAVE")
        return SoundKind::Wave;
    if (bytes.startsWith("fLaC"))
        return SoundKind::Flac;
    if (bytes.startsWith("OggS"))
        return SoundKind::Ogg;
    // A tag, or the sync bits of an MPEG audio frame with a layer.
    if (bytes.startsWith("ID3") ||
        (bytes.size() >= 2 && uchar(bytes[0]) == 0xFF && (uchar(bytes[1]) & 0xE0) == 0xE0 && (uchar(bytes[1]) & 0x06) != 0))
        return SoundKind::Mpeg;
    return SoundKind::Unknown;
}

bool TypeMatches(SoundKind kind, int type)
{
    switch (kind) {
    case SoundKind::Wave: return type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX;
    case SoundKind::Flac: return type == SF_FORMAT_FLAC;
    case SoundKind::Ogg: return type == SF_FORMAT_OGG;
    case SoundKind::Mpeg: return type == SF_FORMAT_MPEG;
    default: return false;
    }
}

// Reads every frame with one of libsndfile's readers into a vector of T; false when the
// samples would take more than MaxDecodedBytes (a compressed file does not say its length).
template <typename T, typename Reader>
bool ReadAll(SNDFILE *file, const SF_INFO &info, Reader reader, std::vector<T> &samples)
{
    const sf_count_t chunkFrames = 16384;
    std::vector<T> chunk(size_t(chunkFrames * info.channels));
    for (;;) {
        const sf_count_t got = reader(file, chunk.data(), chunkFrames);
        if (got <= 0)
            return true;
        if (qint64(samples.size() + size_t(got * info.channels)) * qint64(sizeof(T)) > MaxDecodedBytes)
            return false;
        samples.insert(samples.end(), chunk.begin(), chunk.begin() + got * info.channels);
    }
}

template <typename T>
QByteArray Bytes(const std::vector<T> &samples)
{
    return QByteArray(reinterpret_cast<const char *>(samples.data()), qsizetype(samples.size() * sizeof(T)));
}

int BytesPerSample(QAudioFormat::SampleFormat format)
{
    switch (format) {
    case QAudioFormat::UInt8: return 1;
    case QAudioFormat::Int16: return 2;
    case QAudioFormat::Int32:
    case QAudioFormat::Float: return 4;
    default: return 0;
    }
}
} // namespace

TWaveFile::TWaveFile(const std::string &fileName) : TWaveFile(PathFromAnsi(fileName)) {}

TWaveFile::TWaveFile(const QString &filePath) : name(ToAnsiLossy(filePath))
{
    const std::string &fileName = name;
    const QByteArray bytes = ReadWaveBytes(filePath, fileName);
    const std::string quoted = "\"" + fileName + "\"";
    const SoundKind kind = KindOfHeader(bytes);
    if (kind == SoundKind::Unknown)
        throw EWaveFileError(quoted + " is not a wave, MP3, Ogg or FLAC file: it does not begin with their header");

    SF_INFO info{};
    SndFile file(bytes, info);
    if (!file.get())
        throw EWaveFileError(quoted + " is not a valid sound file: " + sf_strerror(nullptr));
    if (!TypeMatches(kind, info.format & SF_FORMAT_TYPEMASK))
        throw EWaveFileError(quoted + " is not the sound file its header says");
    if (info.channels < 1 || info.channels > 8)
        throw EWaveFileError(quoted + " has " + std::to_string(info.channels) +
                             " channels; a wave file to play has 1 to 8");
    if (info.samplerate < 1000 || info.samplerate > 768000)
        throw EWaveFileError(quoted + " has an unplayable sample rate of " + std::to_string(info.samplerate) + " Hz");

    QAudioFormat::SampleFormat sampleFormat;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: sampleFormat = QAudioFormat::UInt8; sourceBits = 8; break;
    case SF_FORMAT_PCM_16: sampleFormat = QAudioFormat::Int16; sourceBits = 16; break;
    case SF_FORMAT_PCM_24: sampleFormat = QAudioFormat::Int32; sourceBits = 24; break;
    case SF_FORMAT_PCM_32: sampleFormat = QAudioFormat::Int32; sourceBits = 32; break;
    case SF_FORMAT_FLOAT: sampleFormat = QAudioFormat::Float; sourceBits = 32; sourceFloat = true; break;
    case SF_FORMAT_DOUBLE: sampleFormat = QAudioFormat::Float; sourceBits = 64; sourceFloat = true; break;
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:   // decoded to floating point by their codecs
        sampleFormat = QAudioFormat::Float; sourceBits = 32; sourceFloat = true; break;
    default: sampleFormat = QAudioFormat::Int16; sourceBits = 16; break;   // ADPCM, A-law, mu-law, GSM ...
    }
    const qint64 expectedBytes = qint64(info.frames) * info.channels * BytesPerSample(sampleFormat);
    if (info.frames < 0 || (kind != SoundKind::Mpeg && expectedBytes > MaxDecodedBytes))
        throw EWaveFileError(quoted + " is too long to be played");

    bool whole;
    switch (sampleFormat) {
    case QAudioFormat::UInt8: {
        std::vector<short> s;
        whole = ReadAll(file.get(), info, sf_readf_short, s);
        std::vector<uint8_t> u(s.size());
        for (size_t i = 0; i < s.size(); ++i)
            u[i] = uint8_t((s[i] >> 8) + 128);
        data = Bytes(u);
        break;
    }
    case QAudioFormat::Int16: {
        std::vector<short> s;
        whole = ReadAll(file.get(), info, sf_readf_short, s);
        data = Bytes(s);
        break;
    }
    case QAudioFormat::Int32: {
        std::vector<int> s;
        whole = ReadAll(file.get(), info, sf_readf_int, s);
        data = Bytes(s);
        break;
    }
    default: {
        std::vector<float> s;
        whole = ReadAll(file.get(), info, sf_readf_float, s);
        data = Bytes(s);
        break;
    }
    }
    if (!whole)
        throw EWaveFileError(quoted + " is too long to be played");
    if (sf_error(file.get()) != SF_ERR_NO_ERROR && data.isEmpty())
        throw EWaveFileError(quoted + " is not a valid sound file: " + sf_strerror(file.get()));

    format.setSampleRate(info.samplerate);
    format.setChannelCount(info.channels);
    format.setSampleFormat(sampleFormat);
    frames = data.size() / format.bytesPerFrame();
}

TWaveFile::TWaveFile(const std::vector<int16_t> &samples, int sampleRate, std::string soundName)
    : name(std::move(soundName)), sourceBits(16), frames(qint64(samples.size())), data(Bytes(samples))
{
    format.setSampleRate(sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
}

qint64 TWaveFile::FramesToMs(qint64 frameCount) const
{
    return SampleRate() > 0 ? frameCount * 1000 / SampleRate() : 0;
}

qint64 TWaveFile::MsToFrames(qint64 ms) const { return ms * SampleRate() / 1000; }

namespace {
template <typename T>
T SampleAt(const QByteArray &data, const QAudioFormat &format, QAudioFormat::SampleFormat want, qint64 frame,
           int channel)
{
    if (format.sampleFormat() != want)
        throw Exception("Wave sample read in the wrong format");
    if (frame < 0 || channel < 0 || channel >= format.channelCount() ||
        (frame + 1) * format.bytesPerFrame() > data.size())
        throw Exception("Wave sample index out of range");
    T value;
    std::memcpy(&value, data.constData() + frame * format.bytesPerFrame() + channel * sizeof(T), sizeof(T));
    return value;
}
} // namespace

uint8_t TWaveFile::SampleU8(qint64 f, int c) const { return SampleAt<uint8_t>(data, format, QAudioFormat::UInt8, f, c); }
int16_t TWaveFile::SampleS16(qint64 f, int c) const { return SampleAt<int16_t>(data, format, QAudioFormat::Int16, f, c); }
int32_t TWaveFile::SampleS32(qint64 f, int c) const { return SampleAt<int32_t>(data, format, QAudioFormat::Int32, f, c); }
float TWaveFile::SampleFloat(qint64 f, int c) const { return SampleAt<float>(data, format, QAudioFormat::Float, f, c); }

QByteArray ConvertSamples(const char *samples, qint64 sampleCount, QAudioFormat::SampleFormat from,
                          QAudioFormat::SampleFormat to)
{
    const int inSize = BytesPerSample(from), outSize = BytesPerSample(to);
    if (inSize == 0 || outSize == 0)
        throw Exception("Unknown audio sample format");
    if (from == to)
        return QByteArray(samples, qsizetype(sampleCount * inSize));
    QByteArray out(qsizetype(sampleCount * outSize), Qt::Uninitialized);
    char *o = out.data();
    for (qint64 i = 0; i < sampleCount; ++i) {
        const char *in = samples + i * inSize;
        // Through a full-scale 32-bit value, or a float when one side is a float.
        if (from == QAudioFormat::Float || to == QAudioFormat::Float) {
            float f;
            switch (from) {
            case QAudioFormat::UInt8: f = (int(uint8_t(*in)) - 128) / 128.0f; break;
            case QAudioFormat::Int16: { int16_t v; std::memcpy(&v, in, 2); f = v / 32768.0f; break; }
            case QAudioFormat::Int32: { int32_t v; std::memcpy(&v, in, 4); f = float(v / 2147483648.0); break; }
            default: std::memcpy(&f, in, 4); break;
            }
            if (to == QAudioFormat::Float) {
                std::memcpy(o + i * 4, &f, 4);
                continue;
            }
            const double clamped = std::clamp(double(f), -1.0, 1.0);
            int64_t v32 = std::llround(clamped * 2147483648.0);
            v32 = std::clamp<int64_t>(v32, INT32_MIN, INT32_MAX);
            const int32_t v = int32_t(v32);
            switch (to) {
            case QAudioFormat::UInt8: o[i] = char(uint8_t((v >> 24) + 128)); break;
            case QAudioFormat::Int16: { int16_t s = int16_t(v >> 16); std::memcpy(o + i * 2, &s, 2); break; }
            default: std::memcpy(o + i * 4, &v, 4); break;
            }
            continue;
        }
        int32_t v;
        switch (from) {
        case QAudioFormat::UInt8: v = int32_t(uint32_t(int(uint8_t(*in)) - 128) << 24); break;
        case QAudioFormat::Int16: { int16_t s; std::memcpy(&s, in, 2); v = int32_t(uint32_t(int32_t(s)) << 16); break; }
        default: std::memcpy(&v, in, 4); break;
        }
        switch (to) {
        case QAudioFormat::UInt8: o[i] = char(uint8_t((v >> 24) + 128)); break;
        case QAudioFormat::Int16: { int16_t s = int16_t(v >> 16); std::memcpy(o + i * 2, &s, 2); break; }
        default: std::memcpy(o + i * 4, &v, 4); break;
        }
    }
    return out;
}
