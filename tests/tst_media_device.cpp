// The media control through a real audio output: a private PulseAudio server with a null sink
// (support/PulseServer.h; skipped without one). Covers the
// device path (QAudioSink in pull mode) and the fall-back to the null output when the device
// dies while playing and when it refuses to start.
#include "platform/MediaPlayer.h"
#include "platform/WaveFile.h"
#include "support/PulseServer.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {
std::string Audio(const std::string &name) { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/audio/" + name; }
} // namespace

// Registered before main runs the tests.
static PulseServer &server = SoundServer();

TEST(MediaDevice, PlaysPausesAndStopsThroughTheDevice)
{
    REQUIRE_DEVICE();
    TMediaPlayer player;
    QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
    player.SetFileName(Audio("tone_2s.wav"));
    player.Open();
    QElapsedTimer clock;
    clock.start();
    player.Play();
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(player.PlaysIntoNullOutput());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() >= 50; }, 10000));
    player.Pause();
    const qint64 held = player.Position();
    QTest::qWait(150);   // time passes; nothing may move
    EXPECT_EQ(player.Position(), held);
    player.Play();
    EXPECT_GE(player.Position(), held);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > held; }, 10000));
    player.Stop();
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Stopped);
    EXPECT_EQ(finished.count(), 0);
}

TEST(MediaDevice, EveryVariantPlaysToItsEndThroughTheDevice)
{
    REQUIRE_DEVICE();
    for (const char *file : {"u8_stereo_11025.wav", "s16_mono_22050.wav", "s24_stereo_16000.wav",
                             "s32_mono_11025.wav", "f32_stereo_22050.wav", "f64_mono_8000.wav", "empty_data.wav",
                             "tone.mp3", "tone.ogg", "tone.opus", "tone.flac"}) {
        TMediaPlayer player;
        QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
        player.SetFileName(Audio(file));
        player.Open();
        player.Play();
        ASSERT_TRUE(finished.wait(15000)) << file;
        EXPECT_EQ(player.Position(), player.Length()) << file;
        EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Stopped) << file;
    }
}

// Last: it ends the sound server.
TEST(MediaDevice, WhenTheDeviceDiesTheNullOutputGoesOn)
{
    REQUIRE_DEVICE();
    TMediaPlayer player;
    QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
    player.SetFileName(Audio("tone_2s.wav"));
    player.Open();
    player.Play();
    ASSERT_FALSE(player.PlaysIntoNullOutput());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() >= 50; }, 10000));
    server.Stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.PlaysIntoNullOutput(); }, 10000));
    EXPECT_GE(player.Position(), 50);   // goes on from where the device was
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Playing);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(player.Position(), 2000);

    // The device is gone: the next Play starts in the null output at once.
    player.Play();
    EXPECT_TRUE(player.PlaysIntoNullOutput());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > 0; }, 5000));
}
