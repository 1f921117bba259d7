#include "app/ItemSound.h"

#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/MediaPlayer.h"
#include "platform/TextFile.h"
#include "platform/WaveFile.h"
#include "speech/SpeechEngine.h"

TItemSound::TItemSound(TMediaPlayer &mediaPlayer, std::function<std::string()> language, QObject *parent)
    : QObject(parent), player(mediaPlayer), wordLanguage(std::move(language))
{
    connect(&Speaker, &TSpeaker::Spoken, this, [this](std::shared_ptr<TWaveFile> sound) {
        player.OpenSound(std::make_unique<TWaveFile>(*sound));
        player.Play();
    });
    connect(&Speaker, &TSpeaker::Failed, this, [](const QString &why) { ShowErrorMessage(why); });
}

void TItemSound::SetItem(const QString &itemWord, const QString &itemRecording)
{
    Speaker.Cancel();
    player.Close();
    word = itemWord;
    recording = itemRecording;
    const bool playable = (!recording.isEmpty() && FileCanBeRead(NativePath(recording))) || SpeaksWord();
    player.SetPlayUnopened(playable ? std::function<void()>([this] { Play(); }) : nullptr);
}

bool TItemSound::SpeaksWord() const
{
    return (recording.isEmpty() || !FileCanBeRead(NativePath(recording))) && IsSpeakable(word) &&
           SpeechProblem().empty();
}

void TItemSound::Play()
{
    if (SpeaksWord()) {
        Speak(word, wordLanguage());
        return;
    }
    if (recording.isEmpty() || !FileCanBeRead(NativePath(recording)))
        return;
    Speaker.Cancel();
    player.SetFilePath(recording);
    player.Open();
    player.Play();
}

void TItemSound::Speak(const QString &text, const std::string &language)
{
    if (!IsSpeakable(text))
        return;
    player.Close();
    Speaker.Speak(text, language);
}
