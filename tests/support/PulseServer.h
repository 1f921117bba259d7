#pragma once
// A private PulseAudio server with a null sink, started once for a test program when the
// `pulseaudio` program exists, before the first use of Qt Multimedia; tests that need a real
// audio device skip without it (REQUIRE_DEVICE).
#include <QAudioDevice>
#include <QMediaDevices>

#include <gtest/gtest.h>

#include <memory>
#include <string>

class QProcess;
class QTemporaryDir;

class PulseServer : public ::testing::Environment {
public:
    PulseServer();
    ~PulseServer() override;
    void SetUp() override;
    void TearDown() override { Stop(); }
    // Ends the server: the device dies.
    void Stop();
    bool running = false;
    std::string why;

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QProcess> process;
};

// The server of the test program, registered with GoogleTest by the first call.
PulseServer &SoundServer();

#define REQUIRE_DEVICE()                                                                                \
    do {                                                                                                \
        if (!SoundServer().running)                                                                     \
            GTEST_SKIP() << SoundServer().why;                                                          \
        if (QMediaDevices::audioOutputs().isEmpty())                                                    \
            GTEST_SKIP() << "the sound server offers no output";                                        \
    } while (false)
