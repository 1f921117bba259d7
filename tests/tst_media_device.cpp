// The media control through a real audio output: a private PulseAudio server with a null sink,
// started by this program when the `pulseaudio` program exists (skipped otherwise). Covers the
// device path (QAudioSink in pull mode) and the fall-back to the null output when the device
// dies while playing and when it refuses to start.
#include "platform/MediaPlayer.h"
#include "platform/WaveFile.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {
std::string Audio(const std::string &name) { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/audio/" + name; }

// One sound server for the whole program, set up before the first use of Qt Multimedia.
class PulseServer : public ::testing::Environment {
public:
    void SetUp() override
    {
        const QString program = QStandardPaths::findExecutable("pulseaudio");
        if (program.isEmpty()) {
            why = "no pulseaudio program";
            return;
        }
        dir = std::make_unique<QTemporaryDir>();
        const QString socket = dir->filePath("pulse.sock");
        process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir->path());
        env.insert("XDG_RUNTIME_DIR", dir->path());
        env.insert("XDG_CONFIG_HOME", dir->path());
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(program, {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                                 "--use-pid-file=no", "--log-level=error", "-L", "module-null-sink sink_name=glossad_null",
                                 "-L", "module-native-protocol-unix socket=" + socket + " auth-anonymous=1"});
        if (!process->waitForStarted(10000) ||
            !QTest::qWaitFor([&] { return QFileInfo::exists(socket) || process->state() != QProcess::Running; }, 15000) ||
            !QFileInfo::exists(socket)) {
            why = "the sound server did not start: " + process->readAll().toStdString();
            Stop();
            return;
        }
        qputenv("PULSE_SERVER", ("unix:" + socket).toUtf8());
        running = true;
    }
    void TearDown() override { Stop(); }
    void Stop()
    {
        if (process && process->state() != QProcess::NotRunning) {
            process->kill();   // our own child, by its process id
            process->waitForFinished(10000);
        }
        running = false;
    }
    bool running = false;
    std::string why;

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QProcess> process;
};

PulseServer *server = static_cast<PulseServer *>(::testing::AddGlobalTestEnvironment(new PulseServer));

#define REQUIRE_DEVICE()                                                                                \
    do {                                                                                                \
        if (!server->running)                                                                           \
            GTEST_SKIP() << server->why;                                                                \
        if (QMediaDevices::audioOutputs().isEmpty())                                                    \
            GTEST_SKIP() << "the sound server offers no output";                                        \
    } while (false)
} // namespace

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
    server->Stop();
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
