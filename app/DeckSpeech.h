#pragma once
// Speech on both pages: the Edit page's sound controls, what the Study page's give, the
// "&Speech" menu with the Deck's languages, and the note when a Deck names a language the
// speech synthesiser does not know.
#include "speech/SpeechLanguage.h"

#include <QObject>

#include <set>
#include <string>

class QAction;
class QMenu;
class ReviewLog;
class TF_Main;
class TItemSound;
class TMediaPlayer;

class TDeckSpeech : public QObject {
    Q_OBJECT
public:
    explicit TDeckSpeech(TF_Main &window);

    // The languages of the working file's words and definitions, as its log sets them.
    std::string WordLanguage();
    std::string DefinitionLanguage();

    void Languages1Click();
    void SpeakDefinition1Click();

    TMediaPlayer *MediaPlayer2;        // the Edit page's sound controls
    TItemSound *EditSound, *StudySound;
    QMenu *Speech1;
    QAction *Languages1, *SpeakDefinition1;

private:
    std::string Language(LanguageChoice (*of)(const ReviewLog &));
    // Throws when there is no speech to be had.
    static void RequireSpeech();

    TF_Main &window;
    std::set<std::string> told;   // the problems already shown, with the log they came from
};
