// Decoding wave files: every PCM variant to the right length and sample values, and the
// refusal of files that are not wave files.
#include "platform/WaveFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::string Audio(const std::string &name) { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/audio/" + name; }

// The pattern that tests/data/audio/make_audio.sh wrote into every good file.
int64_t Pattern(int64_t n, int c, int bits)
{
    const int64_t range = int64_t(1) << bits;
    return ((n * (range >> 6) + c * (range >> 2) + n % 7) % range) - (range >> 1);
}

struct Variant {
    const char *file;
    int bits, channels, rate;
    char kind;   // u 8-bit unsigned, s signed integer, f float, d double
};

class WaveVariants : public ::testing::TestWithParam<Variant> {};
} // namespace

TEST_P(WaveVariants, DecodeToTheRightLengthAndSamples)
{
    const Variant v = GetParam();
    const TWaveFile wave(Audio(v.file));
    const qint64 frames = qint64(v.rate) * 3 / 10;
    EXPECT_EQ(wave.FileName(), Audio(v.file));
    EXPECT_EQ(wave.SampleRate(), v.rate);
    EXPECT_EQ(wave.Channels(), v.channels);
    EXPECT_EQ(wave.SourceBits(), v.bits);
    EXPECT_EQ(wave.SourceFloat(), v.kind == 'f' || v.kind == 'd');
    ASSERT_EQ(wave.Frames(), frames);
    EXPECT_EQ(wave.LengthMs(), frames * 1000 / v.rate);
    EXPECT_NEAR(double(wave.LengthMs()), 300.0, 1.0);
    EXPECT_EQ(wave.Format().sampleRate(), v.rate);
    EXPECT_EQ(wave.Format().channelCount(), v.channels);
    EXPECT_EQ(wave.Data().size(), frames * v.channels * wave.Format().bytesPerSample());

    int mismatches = 0;
    for (qint64 n = 0; n < frames; ++n)
        for (int c = 0; c < v.channels; ++c) {
            bool same = false;
            switch (v.kind) {
            case 'u':
                ASSERT_EQ(wave.Format().sampleFormat(), QAudioFormat::UInt8);
                same = wave.SampleU8(n, c) == Pattern(n, c, 8) + 128;
                break;
            case 's':
                if (v.bits == 16) {
                    ASSERT_EQ(wave.Format().sampleFormat(), QAudioFormat::Int16);
                    same = wave.SampleS16(n, c) == Pattern(n, c, 16);
                } else {
                    ASSERT_EQ(wave.Format().sampleFormat(), QAudioFormat::Int32);
                    // 24-bit samples arrive at full 32-bit scale.
                    same = wave.SampleS32(n, c) == Pattern(n, c, v.bits) * (int64_t(1) << (32 - v.bits));
                }
                break;
            default:
                ASSERT_EQ(wave.Format().sampleFormat(), QAudioFormat::Float);
                same = wave.SampleFloat(n, c) == float(Pattern(n, c, 16) / 32768.0);
                break;
            }
            if (!same && ++mismatches <= 5)
                ADD_FAILURE() << v.file << ": frame " << n << " channel " << c;
        }
    EXPECT_EQ(mismatches, 0);
}

INSTANTIATE_TEST_SUITE_P(
    PcmFloatMonoStereo, WaveVariants,
    ::testing::Values(Variant{"u8_mono_8000.wav", 8, 1, 8000, 'u'}, Variant{"u8_stereo_11025.wav", 8, 2, 11025, 'u'},
                      Variant{"s16_mono_22050.wav", 16, 1, 22050, 's'},
                      Variant{"s16_stereo_44100.wav", 16, 2, 44100, 's'},
                      Variant{"s24_mono_48000.wav", 24, 1, 48000, 's'},
                      Variant{"s24_stereo_16000.wav", 24, 2, 16000, 's'},
                      Variant{"s32_mono_11025.wav", 32, 1, 11025, 's'},
                      Variant{"s32_stereo_24000.wav", 32, 2, 24000, 's'},
                      Variant{"f32_mono_44100.wav", 32, 1, 44100, 'f'},
                      Variant{"f32_stereo_22050.wav", 32, 2, 22050, 'f'},
                      Variant{"f64_mono_8000.wav", 64, 1, 8000, 'd'}),
    [](const ::testing::TestParamInfo<Variant> &info) {
        std::string name = info.param.file;
        return name.substr(0, name.find('.'));
    });

TEST(WaveFile, SpeechAndToneFilesDecode)
{
    const TWaveFile speech(Audio("speech.wav"));
    EXPECT_EQ(speech.Channels(), 1);
    EXPECT_GT(speech.LengthMs(), 300);
    const TWaveFile tone(Audio("tone_2s.wav"));
    EXPECT_EQ(tone.LengthMs(), 2000);
    EXPECT_EQ(tone.Frames(), 16000);
}

TEST(WaveFile, AHeaderWithoutSamplesIsAnEmptyWaveFile)
{
    const TWaveFile wave(Audio("empty_data.wav"));
    EXPECT_TRUE(wave.Empty());
    EXPECT_EQ(wave.Frames(), 0);
    EXPECT_EQ(wave.LengthMs(), 0);
}

TEST(WaveFile, TruncatedSampleDataKeepsTheFramesThatArePresent)
{
    TempFolder folder;
    const std::string whole = ReadWholeFile(Audio("s16_mono_22050.wav"));
    folder.write("cut.wav", whole.substr(0, whole.size() - 1001));   // ends in the middle of a sample
    const TWaveFile wave(folder.file("cut.wav"));
    EXPECT_EQ(wave.Frames(), 6615 - 501);
    for (qint64 n : {0, 100, 6113})
        EXPECT_EQ(wave.SampleS16(n, 0), Pattern(n, 0, 16)) << n;
}

namespace {
void ExpectRefused(const std::string &path, const std::string &part)
{
    try {
        TWaveFile wave(path);
        ADD_FAILURE() << path << " was accepted";
    } catch (const EWaveFileError &e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("\"" + path + "\""), std::string::npos) << text;
        EXPECT_NE(text.find(part), std::string::npos) << text;
    }
}
} // namespace

TEST(WaveFile, RefusesFilesThatAreNotWaveFiles)
{
    const std::string unknown = "is not a wave, MP3, Ogg or FLAC file: it does not begin with their header";
    ExpectRefused(Audio("text.wav"), unknown);
    ExpectRefused(Audio("jpeg.wav"), unknown);
    ExpectRefused(Audio("zero_bytes.wav"), unknown);
    ExpectRefused(Audio("aiff.wav"), unknown);   // libsndfile could play it, but it is none of them
    ExpectRefused(Audio("truncated_header.wav"), "is not a valid sound file: ");
}

TEST(WaveFile, RefusesRiffFilesOfOtherKindsAndBrokenFormatChunks)
{
    TempFolder folder;
    std::string avi = ReadWholeFile(Audio("s16_mono_22050.wav"));
    avi.replace(8, 4, "AVI ");
    folder.write("avi.wav", avi);
    ExpectRefused(folder.file("avi.wav"), "does not begin with their header");

    std::string noChannels = ReadWholeFile(Audio("s16_mono_22050.wav"));
    noChannels[22] = 0;   // the channel count of the fmt chunk
    folder.write("nochannels.wav", noChannels);
    ExpectRefused(folder.file("nochannels.wav"), "sound file");
}

TEST(WaveFile, AMissingFileIsAnInOutError)
{
    TempFolder folder;
    try {
        TWaveFile wave(folder.file("missing.wav"));
        FAIL();
    } catch (const EInOutError &e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    ::alarm(20);   // a pipe nobody writes must not block
    ASSERT_EQ(::mkfifo(folder.file("pipe.wav").c_str(), 0600), 0);
    for (const std::string &path : {folder.path(), folder.file("pipe.wav"), std::string("/dev/zero")}) {
        try {
            TWaveFile wave(path);
            FAIL() << path;
        } catch (const EInOutError &e) {
            EXPECT_STREQ(e.what(), "Invalid filename") << path;
        }
    }
    ::alarm(0);
}

TEST(WaveFile, SampleConversionForDevices)
{
    const uint8_t u8[] = {0, 128, 255};
    QByteArray s16 = ConvertSamples(reinterpret_cast<const char *>(u8), 3, QAudioFormat::UInt8, QAudioFormat::Int16);
    ASSERT_EQ(s16.size(), 6);
    const auto *s = reinterpret_cast<const int16_t *>(s16.constData());
    EXPECT_EQ(s[0], -32768);
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[2], 127 * 256);

    const int32_t s32[] = {INT32_MIN, 0, 1 << 30};
    QByteArray f = ConvertSamples(reinterpret_cast<const char *>(s32), 3, QAudioFormat::Int32, QAudioFormat::Float);
    const auto *fl = reinterpret_cast<const float *>(f.constData());
    EXPECT_EQ(fl[0], -1.0f);
    EXPECT_EQ(fl[1], 0.0f);
    EXPECT_EQ(fl[2], 0.5f);

    const float fs[] = {-1.0f, 0.5f, 2.0f};
    QByteArray back = ConvertSamples(reinterpret_cast<const char *>(fs), 3, QAudioFormat::Float, QAudioFormat::Int16);
    const auto *b = reinterpret_cast<const int16_t *>(back.constData());
    EXPECT_EQ(b[0], -32768);
    EXPECT_EQ(b[1], 16384);
    EXPECT_EQ(b[2], 32767);   // clipped

    const int16_t i16[] = {-32768, 256, 32767};
    QByteArray u = ConvertSamples(reinterpret_cast<const char *>(i16), 3, QAudioFormat::Int16, QAudioFormat::UInt8);
    EXPECT_EQ(uint8_t(u[0]), 0);
    EXPECT_EQ(uint8_t(u[1]), 129);
    EXPECT_EQ(uint8_t(u[2]), 255);
}
