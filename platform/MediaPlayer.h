#pragma once
// The media control of the Study page (`MediaPlayer1`): Play, Pause and Stop buttons with the
// hint "Play audio", and the wave-audio operations the Study page uses. The file (wave, MP3, Ogg
// or FLAC) is decoded into memory at Open (TWaveFile) and closed again at once; Play returns at once and the sound goes
// on through Qt Multimedia's audio output. When there is no audio device, or the device refuses
// the sound or fails while playing, it plays into a null output: a timer that consumes the
// samples in real time, so the position still advances and the end still comes.
// Everything runs on the thread of the widget (the user-interface thread); nothing blocks.
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QAbstractButton;
class TWaveFile;
class TAudioOutput;

class TMediaPlayer : public QWidget {
    Q_OBJECT
public:
    enum class TMode { NotOpen, Stopped, Playing, Paused };

    explicit TMediaPlayer(QWidget *parent = nullptr);
    ~TMediaPlayer() override;

    // The sound file that Open opens: the path as the program holds it (8-bit bytes), or as
    // text (a UTF-8 Deck's field).
    std::string FileName() const;
    void SetFileName(const std::string &name);
    QString FilePath() const { return filePath; }
    void SetFilePath(const QString &path) { filePath = path; }

    // Opens FileName, closing an open file first. Throws EInOutError when the file cannot be
    // read and EWaveFileError when it is not a wave file that can be played; nothing is open then.
    void Open();
    // Opens a sound already in memory (speech the program made), closing an open one first.
    void OpenSound(std::unique_ptr<TWaveFile> sound);
    // What Play does while nothing is open, such as speaking the word of the Item on show: the
    // Play button is then enabled. Empty (the default): Play needs an open sound.
    void SetPlayUnopened(std::function<void()> play);
    // Stops playback and releases the file; nothing happens when nothing is open.
    void Close();
    // Starts playback and returns at once: from the start, from where Pause held it, or from
    // the start again after the end. Nothing happens while playing. While nothing is open, does
    // what SetPlayUnopened gave, or throws.
    void Play();
    // Holds playback at its position; nothing happens unless playing.
    void Pause();
    // Ends playback and sets the position back to 0; nothing happens when nothing is open.
    void Stop();

    qint64 Position() const;   // milliseconds from the start, 0 when nothing is open
    qint64 Length() const;     // milliseconds, 0 when nothing is open
    TMode Mode() const { return mode; }
    bool IsOpen() const { return mode != TMode::NotOpen; }

    // Forces the null output even when an audio device exists (tests, demos without sound).
    void SetUseNullOutput(bool value) { forceNull = value; }
    bool UseNullOutput() const { return forceNull; }
    // Whether the running playback goes into the null output (false while not playing).
    bool PlaysIntoNullOutput() const;

    QAbstractButton *PlayButton() const { return playButton; }
    QAbstractButton *PauseButton() const { return pauseButton; }
    QAbstractButton *StopButton() const { return stopButton; }

signals:
    // Playback reached the end of the sound (not emitted by Stop, Close or Open).
    void PlaybackFinished();
    // The mode changed (open, close, play, pause, stop, end).
    void ModeChanged(TMediaPlayer::TMode mode);

private:
    void StartOutput(qint64 fromFrame);
    void DropOutput();
    void OutputDrained();
    void OutputFailed();
    void SetMode(TMode value);
    qint64 CurrentFrame() const;

    QString filePath;
    std::function<void()> playUnopened;
    std::unique_ptr<TWaveFile> wave;
    TAudioOutput *output = nullptr;   // a child object while playing or paused
    qint64 startFrame = 0;            // where the running output started
    qint64 heldFrame = 0;             // the position while no output runs
    TMode mode = TMode::NotOpen;
    bool forceNull = false;
    QAbstractButton *playButton;
    QAbstractButton *pauseButton;
    QAbstractButton *stopButton;
};
