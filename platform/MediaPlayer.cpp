#include "platform/MediaPlayer.h"

#include "platform/CodePage.h"
#include "platform/WaveFile.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QBuffer>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QMediaDevices>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <functional>

// An audio output playing bytes of one format from a start offset. It owns what it plays.
// OnDrained is called once when everything was played; OnFailed when the device gave up.
class TAudioOutput : public QObject {
public:
    std::function<void()> OnDrained;
    std::function<void()> OnFailed;

    TAudioOutput(const QByteArray &bytes, qint64 startByte, const QAudioFormat &format, QObject *parent)
        : QObject(parent), format(format)
    {
        buffer = new QBuffer(this);
        buffer->setData(bytes);
        buffer->open(QIODevice::ReadOnly);
        buffer->seek(std::min<qint64>(startByte, bytes.size()));
        totalFrames = (bytes.size() - buffer->pos()) / std::max(1, format.bytesPerFrame());
    }
    virtual bool Start() = 0;   // false when the output cannot start
    virtual void Suspend() = 0;
    virtual void Resume() = 0;
    virtual void Stop() = 0;
    virtual qint64 ProcessedFrames() const = 0;   // frames played since Start
    virtual bool IsNull() const = 0;
    qint64 TotalFrames() const { return totalFrames; }

protected:
    void Drained()
    {
        if (drained)
            return;
        drained = true;
        if (OnDrained)
            OnDrained();
    }
    QAudioFormat format;
    QBuffer *buffer;
    qint64 totalFrames = 0;
    bool drained = false;
};

namespace {
constexpr int TickMs = 10;

// Plays into nothing: a timer consumes the samples at the rate of the format.
class TNullAudioOutput : public TAudioOutput {
public:
    using TAudioOutput::TAudioOutput;

    bool Start() override
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(TickMs);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { Tick(); });
        Resume();
        return true;
    }
    void Suspend() override
    {
        if (!running)
            return;
        baseFrames = ProcessedFrames();
        running = false;
        timer.stop();
    }
    void Resume() override
    {
        if (running || drained)
            return;
        clock.start();
        running = true;
        timer.start();
    }
    void Stop() override
    {
        Suspend();
    }
    qint64 ProcessedFrames() const override
    {
        qint64 frames = baseFrames;
        if (running)
            frames += clock.nsecsElapsed() * format.sampleRate() / 1000000000LL;
        return std::min(frames, totalFrames);
    }
    bool IsNull() const override { return true; }

private:
    void Tick()
    {
        // Consume what the timeline has reached, as a device would.
        const qint64 processed = ProcessedFrames();
        const qint64 wanted = processed * format.bytesPerFrame() - consumedBytes;
        if (wanted > 0) {
            const QByteArray chunk = buffer->read(wanted);
            consumedBytes += chunk.size();
        }
        if (processed >= totalFrames) {
            timer.stop();
            running = false;
            baseFrames = totalFrames;
            Drained();
        }
    }

    QTimer timer;
    QElapsedTimer clock;
    qint64 baseFrames = 0;
    qint64 consumedBytes = 0;
    bool running = false;
};

// Plays through a QAudioSink in pull mode from the buffer.
class TQtAudioOutput : public TAudioOutput {
public:
    TQtAudioOutput(const QAudioDevice &device, const QByteArray &bytes, qint64 startByte,
                   const QAudioFormat &format, QObject *parent)
        : TAudioOutput(bytes, startByte, format, parent)
    {
        // No parent: Qt 6.4 gives the sink's private object the same parent, which would then
        // delete it a second time. The sink is deleted by hand, before the buffer it reads.
        sink = new QAudioSink(device, format);
        QObject::connect(sink, &QAudioSink::stateChanged, this, [this](QAudio::State state) { StateChanged(state); });
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, this, [this] { Poll(); });
    }
    ~TQtAudioOutput() override { Stop(); }
    bool Start() override
    {
        sink->start(buffer);
        if (sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState)
            return false;
        poll.start();
        return true;
    }
    void Suspend() override
    {
        if (!sink)
            return;
        sink->suspend();
        poll.stop();
    }
    void Resume() override
    {
        if (!sink)
            return;
        sink->resume();
        poll.start();
    }
    // Releases the device at once. Never called from within a signal of the sink: closing the
    // device may run a nested event loop, and the sink must not die inside its own signal.
    void Stop() override
    {
        poll.stop();
        if (!sink)
            return;
        stoppedFrames = ProcessedFrames();
        QAudioSink *old = sink;
        sink = nullptr;
        QObject::disconnect(old, nullptr, this, nullptr);
        old->stop();
        delete old;
    }
    qint64 ProcessedFrames() const override
    {
        if (drained)
            return totalFrames;
        if (!sink)
            return stoppedFrames;
        // A device that failed starts its clock again at 0: the position never goes back.
        if (!failed)
            lastFrames = std::max(lastFrames, std::min(totalFrames, sink->processedUSecs() * format.sampleRate() / 1000000LL));
        return lastFrames;
    }
    bool IsNull() const override { return false; }

private:
    void StateChanged(QAudio::State state)
    {
        if (state == QAudio::StoppedState) {
            const QAudio::Error error = sink->error();
            if (error == QAudio::OpenError || error == QAudio::IOError || error == QAudio::FatalError) {
                poll.stop();
                failed = true;
                // Handled from the event loop, outside the sink's signal.
                QTimer::singleShot(0, this, [this] {
                    if (OnFailed)
                        OnFailed();
                });
            }
        } else if (state == QAudio::IdleState) {
            idleClock.start();
        } else {
            idleClock.invalidate();   // a short underrun is over
        }
    }
    void Poll()
    {
        if (!sink)
            return;
        ProcessedFrames();   // keeps the last position the device reported
        if (!buffer->atEnd())
            return;
        // All bytes went to the device: the end comes when the device reports them played,
        // or, should its clock stall, a while after it ran dry.
        const bool idleLongEnough = sink->state() == QAudio::IdleState && idleClock.isValid() &&
                                    idleClock.elapsed() > 500 + sink->bufferSize() * 1000LL /
                                                                    std::max(1, format.bytesForDuration(1000000));
        // The device's clock counts whole microseconds: within 1 ms of the end is the end.
        const qint64 totalUSecs = totalFrames * 1000000LL / std::max(1, format.sampleRate());
        if (sink->processedUSecs() + 1000 >= totalUSecs || idleLongEnough) {
            poll.stop();
            Drained();
        }
    }

    QAudioSink *sink;
    qint64 stoppedFrames = 0;
    mutable qint64 lastFrames = 0;
    bool failed = false;
    QTimer poll;
    QElapsedTimer idleClock;
};

bool IsRealAudioFailure(TAudioOutput *output) { return output && !output->IsNull(); }
} // namespace

TMediaPlayer::TMediaPlayer(QWidget *parent) : QWidget(parent)
{
    setToolTip("Play audio");
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    auto makeButton = [&](const char *name, QStyle::StandardPixmap icon) {
        auto *button = new QToolButton(this);
        button->setObjectName(name);
        button->setAccessibleName(name);
        button->setIcon(style()->standardIcon(icon));
        button->setAutoRaise(false);
        layout->addWidget(button);
        return button;
    };
    playButton = makeButton("Play", QStyle::SP_MediaPlay);
    pauseButton = makeButton("Pause", QStyle::SP_MediaPause);
    stopButton = makeButton("Stop", QStyle::SP_MediaStop);
    layout->addStretch(1);
    connect(playButton, &QAbstractButton::clicked, this, [this] { Play(); });
    connect(pauseButton, &QAbstractButton::clicked, this, [this] { Pause(); });
    connect(stopButton, &QAbstractButton::clicked, this, [this] { Stop(); });
    SetMode(TMode::NotOpen);
}

TMediaPlayer::~TMediaPlayer()
{
    DropOutput();
}

std::string TMediaPlayer::FileName() const { return ToAnsiLossy(filePath); }

void TMediaPlayer::SetFileName(const std::string &name) { filePath = PathFromAnsi(name); }

void TMediaPlayer::Open()
{
    Close();
    if (filePath.isEmpty())
        throw EWaveFileError("No wave file name is given");
    OpenSound(std::make_unique<TWaveFile>(filePath));
}

void TMediaPlayer::OpenSound(std::unique_ptr<TWaveFile> sound)
{
    Close();
    wave = std::move(sound);
    heldFrame = 0;
    SetMode(TMode::Stopped);
}

void TMediaPlayer::SetPlayUnopened(std::function<void()> play)
{
    playUnopened = std::move(play);
    SetMode(mode);
}

void TMediaPlayer::Close()
{
    if (mode == TMode::NotOpen)
        return;
    DropOutput();
    wave.reset();
    heldFrame = 0;
    SetMode(TMode::NotOpen);
}

void TMediaPlayer::Play()
{
    switch (mode) {
    case TMode::NotOpen:
        if (!playUnopened)
            throw Exception("No wave file is open");
        playUnopened();
        return;
    case TMode::Playing:
        return;
    case TMode::Paused:
        if (output) {
            output->Resume();
            SetMode(TMode::Playing);
            return;
        }
        break;
    case TMode::Stopped:
        break;
    }
    if (heldFrame >= wave->Frames())
        heldFrame = 0;   // played to the end: start again
    StartOutput(heldFrame);
    SetMode(TMode::Playing);
}

void TMediaPlayer::Pause()
{
    if (mode != TMode::Playing || !output)
        return;
    output->Suspend();
    heldFrame = CurrentFrame();
    SetMode(TMode::Paused);
}

void TMediaPlayer::Stop()
{
    if (mode == TMode::NotOpen)
        return;
    DropOutput();
    heldFrame = 0;
    SetMode(TMode::Stopped);
}

qint64 TMediaPlayer::Position() const
{
    return wave ? wave->FramesToMs(CurrentFrame()) : 0;
}

qint64 TMediaPlayer::Length() const
{
    return wave ? wave->LengthMs() : 0;
}

bool TMediaPlayer::PlaysIntoNullOutput() const
{
    return output && output->IsNull();
}

qint64 TMediaPlayer::CurrentFrame() const
{
    if (!wave)
        return 0;
    if (output && mode == TMode::Playing)
        return std::min(wave->Frames(), startFrame + output->ProcessedFrames());
    return heldFrame;
}

void TMediaPlayer::StartOutput(qint64 fromFrame)
{
    DropOutput();
    startFrame = fromFrame;
    const QAudioFormat &format = wave->Format();
    const qint64 startByte = fromFrame * format.bytesPerFrame();

    if (!forceNull) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (!device.isNull()) {
            // The decoded format if the device takes it, else float or 16 bits.
            QAudioFormat chosen;
            for (QAudioFormat::SampleFormat sampleFormat :
                 {format.sampleFormat(), QAudioFormat::Float, QAudioFormat::Int16}) {
                QAudioFormat candidate = format;
                candidate.setSampleFormat(sampleFormat);
                if (device.isFormatSupported(candidate)) {
                    chosen = candidate;
                    break;
                }
            }
            if (chosen.isValid()) {
                const QByteArray &data = wave->Data();
                const int sampleBytes = format.bytesPerSample();
                QByteArray bytes = chosen.sampleFormat() == format.sampleFormat()
                                       ? data
                                       : ConvertSamples(data.constData() + startByte, (data.size() - startByte) / sampleBytes,
                                                        format.sampleFormat(), chosen.sampleFormat());
                const qint64 offset = chosen.sampleFormat() == format.sampleFormat() ? startByte : 0;
                auto *real = new TQtAudioOutput(device, bytes, offset, chosen, this);
                if (real->Start()) {
                    output = real;
                } else {
                    delete real;
                }
            }
        }
    }
    if (!output) {
        output = new TNullAudioOutput(wave->Data(), startByte, format, this);
        output->Start();
    }
    output->OnDrained = [this] { OutputDrained(); };
    output->OnFailed = [this] { OutputFailed(); };
}

void TMediaPlayer::DropOutput()
{
    if (!output)
        return;
    TAudioOutput *old = output;
    output = nullptr;
    old->OnDrained = nullptr;
    old->OnFailed = nullptr;
    old->Stop();
    old->deleteLater();   // it may be calling us right now
}

void TMediaPlayer::OutputDrained()
{
    DropOutput();
    heldFrame = wave ? wave->Frames() : 0;
    SetMode(TMode::Stopped);
    emit PlaybackFinished();
}

void TMediaPlayer::OutputFailed()
{
    // The device gave up while playing: go on from here into the null output.
    if (!IsRealAudioFailure(output) || !wave)
        return;
    const qint64 frame = CurrentFrame();
    const bool paused = mode == TMode::Paused;
    const bool saved = forceNull;
    forceNull = true;
    StartOutput(frame);
    forceNull = saved;
    if (paused) {
        output->Suspend();
        heldFrame = frame;
    }
}

void TMediaPlayer::SetMode(TMode value)
{
    const bool changed = mode != value;
    mode = value;
    playButton->setEnabled(mode == TMode::Stopped || mode == TMode::Paused || (mode == TMode::NotOpen && playUnopened));
    pauseButton->setEnabled(mode == TMode::Playing);
    stopButton->setEnabled(mode == TMode::Playing || mode == TMode::Paused);
    if (changed)
        emit ModeChanged(mode);
}
