#include "speech/Speaker.h"

#include "platform/WaveFile.h"
#include "speech/SpeechEngine.h"

TSpeaker::TSpeaker(QObject *parent)
    : QObject(parent), worker(new QObject), latest(std::make_shared<std::atomic<quint64>>(0))
{
    worker->moveToThread(&thread);
    thread.setObjectName(QStringLiteral("Speech"));
    thread.start();
}

TSpeaker::~TSpeaker()
{
    Cancel();
    thread.quit();
    thread.wait();
    delete worker;
}

void TSpeaker::Speak(const QString &text, const std::string &language)
{
    const quint64 number = ++*latest;
    busy = true;
    QMetaObject::invokeMethod(worker, [this, number, text, language, latest = latest] {
        const auto cancelled = [&] { return *latest != number; };
        if (cancelled())
            return;
        std::shared_ptr<TWaveFile> sound;
        QString why;
        try {
            sound = std::make_shared<TWaveFile>(Synthesize(text, language, cancelled), SpeechSampleRate(),
                                                text.toStdString());
        } catch (const std::exception &e) {
            why = QString::fromStdString(e.what());
        }
        // Back on the speaker's thread, where only the latest text still counts.
        QMetaObject::invokeMethod(this, [this, number, sound, why, latest] {
            if (*latest != number)
                return;
            busy = false;
            if (sound)
                emit Spoken(sound);
            else
                emit Failed(why);
        });
    });
}

void TSpeaker::Cancel()
{
    ++*latest;
    busy = false;
}
