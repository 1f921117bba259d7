// The media control: a real wave file played into the null output, Pause, Stop, the end and
// Play again, Close, the buttons, and Open refusing what is not a wave file.
#include "platform/MediaPlayer.h"
#include "platform/WaveFile.h"
#include "support/TempFolder.h"

#include <QAbstractButton>
#include <QAudioDevice>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {
std::string Audio(const std::string &name) { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/audio/" + name; }

// A player that plays into the null output, as on a machine without sound.
struct NullPlayer : TMediaPlayer {
    NullPlayer() { SetUseNullOutput(true); }
};

// Whether this process holds a descriptor open on the file.
bool HoldsFileOpen(const std::string &path)
{
    const QString target = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
    const QDir fds("/proc/self/fd");
    for (const QString &fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System))
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    return false;
}
} // namespace

TEST(MediaPlayer, StartsClosedWithItsButtonsAndHint)
{
    TMediaPlayer player;
    EXPECT_EQ(player.toolTip(), "Play audio");
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::NotOpen);
    EXPECT_FALSE(player.IsOpen());
    EXPECT_EQ(player.FileName(), "");
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.Length(), 0);
    for (const char *name : {"Play", "Pause", "Stop"}) {
        auto *button = player.findChild<QAbstractButton *>(name);
        ASSERT_NE(button, nullptr) << name;
        EXPECT_FALSE(button->isEnabled()) << name;
    }
    EXPECT_THROW(player.Play(), Exception);
    player.Pause();   // nothing open: nothing happens
    player.Stop();
    player.Close();
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::NotOpen);
}

TEST(MediaPlayer, PlaysIntoTheNullOutputPausesStopsAndRestartsAfterTheEnd)
{
    NullPlayer player;
    QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
    player.SetFileName(Audio("tone_2s.wav"));
    EXPECT_EQ(player.FileName(), Audio("tone_2s.wav"));
    player.Open();
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Stopped);
    EXPECT_EQ(player.Length(), 2000);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_TRUE(player.PlayButton()->isEnabled());
    EXPECT_FALSE(player.PauseButton()->isEnabled());

    // Play returns at once; the position advances in real time.
    QElapsedTimer clock;
    clock.start();
    player.Play();
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Playing);
    EXPECT_TRUE(player.PlaysIntoNullOutput());
    EXPECT_FALSE(player.PlayButton()->isEnabled());
    EXPECT_TRUE(player.PauseButton()->isEnabled());
    EXPECT_TRUE(player.StopButton()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() >= 100; }, 5000));
    EXPECT_LE(player.Position(), clock.elapsed() + 5);   // never ahead of the clock

    // Pause holds the position.
    player.Pause();
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Paused);
    const qint64 held = player.Position();
    EXPECT_GE(held, 100);
    QTest::qWait(150);   // time passes; nothing may move
    EXPECT_EQ(player.Position(), held);
    EXPECT_TRUE(player.PlayButton()->isEnabled());
    EXPECT_FALSE(player.PauseButton()->isEnabled());
    EXPECT_TRUE(player.StopButton()->isEnabled());

    // Play goes on from there.
    player.Play();
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Playing);
    EXPECT_GE(player.Position(), held);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() >= held + 50; }, 5000));

    // Stop sets it back to 0.
    player.Stop();
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Stopped);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_FALSE(player.PlaysIntoNullOutput());
    QTest::qWait(50);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(finished.count(), 0);

    // Played to the end: the signal, the position at the end, and Play starts again.
    clock.restart();
    player.Play();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_GE(clock.elapsed(), 1990);   // the null output takes the sound's own time
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Stopped);
    EXPECT_EQ(player.Position(), 2000);
    player.Play();
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Playing);
    EXPECT_LT(player.Position(), 1000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > 0; }, 5000));
    player.Close();
    EXPECT_EQ(finished.count(), 1);
}

TEST(MediaPlayer, TheButtonsPlayPauseAndStop)
{
    NullPlayer player;
    player.SetFileName(Audio("speech.wav"));
    player.Open();
    QTest::mouseClick(player.PlayButton(), Qt::LeftButton);
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Playing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > 0; }, 5000));
    QTest::mouseClick(player.PauseButton(), Qt::LeftButton);
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Paused);
    QTest::mouseClick(player.PlayButton(), Qt::LeftButton);
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Playing);
    QTest::mouseClick(player.StopButton(), Qt::LeftButton);
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Stopped);
    EXPECT_EQ(player.Position(), 0);
}

TEST(MediaPlayer, EveryVariantPlaysToItsEnd)
{
    for (const char *file : {"u8_stereo_11025.wav", "s16_stereo_44100.wav", "s24_mono_48000.wav",
                             "s32_stereo_24000.wav", "f32_stereo_22050.wav", "f64_mono_8000.wav"}) {
        NullPlayer player;
        QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
        player.SetFileName(Audio(file));
        player.Open();
        const TWaveFile wave(Audio(file));
        EXPECT_EQ(player.Length(), wave.LengthMs()) << file;
        EXPECT_NEAR(double(player.Length()), 300.0, 1.0) << file;   // 3307 frames at 11025 Hz: 299 ms
        player.Play();
        ASSERT_TRUE(finished.wait(5000)) << file;
        EXPECT_EQ(player.Position(), player.Length()) << file;
    }
}

TEST(MediaPlayer, AnEmptyWaveFileEndsAtOnce)
{
    NullPlayer player;
    QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
    player.SetFileName(Audio("empty_data.wav"));
    player.Open();
    EXPECT_EQ(player.Length(), 0);
    player.Play();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Stopped);
    EXPECT_EQ(player.Position(), 0);
}

TEST(MediaPlayer, CloseReleasesTheFile)
{
    TempFolder folder;
    WriteWholeFile(folder.file("sound.wav"), ReadWholeFile(Audio("tone_2s.wav")));
    NullPlayer player;
    QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
    player.SetFileName(folder.file("sound.wav"));
    player.Open();
    player.Play();
    EXPECT_FALSE(HoldsFileOpen(folder.file("sound.wav")));   // decoded at Open, closed at once
    player.Close();
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::NotOpen);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.Length(), 0);
    EXPECT_EQ(player.FileName(), folder.file("sound.wav"));   // the name stays
    EXPECT_FALSE(player.PlayButton()->isEnabled());
    EXPECT_FALSE(player.StopButton()->isEnabled());
    EXPECT_THROW(player.Play(), Exception);
    player.Close();   // closing again does nothing

    // The file can be replaced, and Open reads the new one.
    ASSERT_TRUE(QFile::remove(QString::fromStdString(folder.file("sound.wav"))));
    WriteWholeFile(folder.file("sound.wav"), ReadWholeFile(Audio("u8_mono_8000.wav")));
    player.Open();
    EXPECT_EQ(player.Length(), 300);
    QTest::qWait(50);
    EXPECT_EQ(finished.count(), 0);   // the closed playback never reports an end
}

TEST(MediaPlayer, OpenFailsForFilesThatAreNotWaveFiles)
{
    NullPlayer player;
    for (const char *file : {"text.wav", "jpeg.wav", "truncated_header.wav", "zero_bytes.wav", "aiff.wav"}) {
        player.SetFileName(Audio("speech.wav"));
        player.Open();
        player.Play();
        player.SetFileName(Audio(file));
        EXPECT_THROW(player.Open(), EWaveFileError) << file;
        // Open closed the file that was open before.
        EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::NotOpen) << file;
        EXPECT_EQ(player.Length(), 0) << file;
        EXPECT_FALSE(player.PlaysIntoNullOutput()) << file;
    }
    TempFolder folder;
    player.SetFileName(folder.file("missing.wav"));
    try {
        player.Open();
        FAIL();
    } catch (const EInOutError &e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
    player.SetFileName("");
    EXPECT_THROW(player.Open(), Exception);
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::NotOpen);
}

TEST(MediaPlayer, OpenWhilePlayingStartsAfresh)
{
    NullPlayer player;
    QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
    player.SetFileName(Audio("tone_2s.wav"));
    player.Open();
    player.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > 0; }, 5000));
    player.SetFileName(Audio("u8_mono_8000.wav"));
    player.Open();
    EXPECT_EQ(player.Mode(), TMediaPlayer::TMode::Stopped);
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.Length(), 300);
    player.Play();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(player.Position(), 300);
}

TEST(MediaPlayer, WithoutAnAudioDeviceTheNullOutputTakesOver)
{
    TMediaPlayer player;   // not forced: picks the device when there is one
    QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
    player.SetFileName(Audio("s16_mono_22050.wav"));
    player.Open();
    player.Play();
    if (QMediaDevices::audioOutputs().isEmpty()) {
        EXPECT_TRUE(player.PlaysIntoNullOutput());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > 0; }, 5000));
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(player.Position(), player.Length());
}

// On a machine with sound (or a sound server with a null sink) the same through the device.
TEST(MediaPlayer, PlaysThroughTheAudioDeviceWhenThereIsOne)
{
    if (QMediaDevices::audioOutputs().isEmpty())
        GTEST_SKIP() << "no audio device";
    TMediaPlayer player;
    QSignalSpy finished(&player, &TMediaPlayer::PlaybackFinished);
    player.SetFileName(Audio("speech.wav"));
    player.Open();
    QElapsedTimer clock;
    clock.start();
    player.Play();
    EXPECT_LT(clock.elapsed(), 500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() >= 100; }, 5000));
    player.Pause();
    const qint64 held = player.Position();
    QTest::qWait(150);
    EXPECT_EQ(player.Position(), held);
    player.Play();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player.Position() > held; }, 5000));
    player.Stop();
    EXPECT_EQ(player.Position(), 0);
    for (const char *file : {"speech.wav", "u8_stereo_11025.wav", "s24_stereo_16000.wav", "s32_mono_11025.wav",
                             "f64_mono_8000.wav"}) {
        player.SetFileName(Audio(file));
        player.Open();
        clock.restart();
        player.Play();
        ASSERT_TRUE(finished.wait(10000)) << file;
        EXPECT_EQ(player.Position(), player.Length());
        finished.clear();
    }
}
