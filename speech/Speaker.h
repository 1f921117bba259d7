#pragma once
// Speaks texts in the background: synthesis runs on a thread of its own, so that a long text
// never holds up the window, and the samples come back to the speaker's thread as a sound ready
// for the media player. A new text replaces the one still being spoken.
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <string>

class TWaveFile;

class TSpeaker : public QObject {
    Q_OBJECT
public:
    explicit TSpeaker(QObject *parent = nullptr);
    ~TSpeaker() override;

    // Starts speaking the text in a language of the speech engine; Spoken or Failed follows
    // unless another text or Cancel comes first.
    void Speak(const QString &text, const std::string &language);
    // Forgets the text being spoken: nothing comes of it.
    void Cancel();
    // A text is being spoken.
    bool Busy() const { return busy; }

signals:
    void Spoken(std::shared_ptr<TWaveFile> sound);
    void Failed(QString why);

private:
    QThread thread;
    QObject *worker;                                   // lives on the thread
    std::shared_ptr<std::atomic<quint64>> latest;      // the number of the text that counts
    bool busy = false;
};
