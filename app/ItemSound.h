#pragma once
// What a page's sound controls give for the Item on show: its recording when the file can be
// read, else its word spoken in the Deck's word language. A recording always wins. Speech goes
// through the same player as a recording, so Pause and Stop work on it alike.
#include "speech/Speaker.h"

#include <QObject>
#include <QString>

#include <functional>
#include <string>

class TMediaPlayer;

class TItemSound : public QObject {
    Q_OBJECT
public:
    // wordLanguage: the language to speak words in, asked at each Play.
    TItemSound(TMediaPlayer &player, std::function<std::string()> wordLanguage, QObject *parent);

    // The Item Play gives from now on (recording: its path as text, "" for none). Closes the
    // player and forgets speech still being made for the Item before.
    void SetItem(const QString &word, const QString &recording);
    // Plays the recording (throws, as the player's Open does, for a file that is no sound), or
    // speaks the word; nothing when the Item has neither.
    void Play();
    // Speaks a text through the player; nothing for a text empty after trimming.
    void Speak(const QString &text, const std::string &language);
    // Whether Play would speak: the Item has no recording to read, but a word.
    bool SpeaksWord() const;

    TSpeaker Speaker;

private:
    TMediaPlayer &player;
    std::function<std::string()> wordLanguage;
    QString word, recording;
};
