// Items heard through the real pages: an Audio question or answer without a recording speaks
// the word through the program's sound output (a private sound server's device where there is
// one), a recording wins, blank words are never asked, and the Deck's languages are set in
// their dialog and kept beside the Deck.
#include "app/DeckSpeech.h"
#include "app/LanguagesDialog.h"
#include "platform/MediaPlayer.h"
#include "speech/SpeechLanguage.h"
#include "support/MainWindowFixture.h"
#include "support/PulseServer.h"

#include <QSignalSpy>
#include <QTest>

namespace {
PulseServer &server = SoundServer();

class StudySpeech : public MainWindowTest {
protected:
    TF_Main &StudyAudio(const std::string &deck)
    {
        TF_Main &w = StartWith(deck);
        device = server.running && !QMediaDevices::audioOutputs().isEmpty();
        w.MediaPlayer1->SetUseNullOutput(!device);
        w.NoSort1Click();
        w.SB_Order->click();
        w.PageControl1->setCurrentWidget(w.Tb_Study);
        w.Cb_Questions->setCurrentIndex(3);
        return w;
    }
    // Waits until the player plays what it was given; speech comes from another thread.
    static bool StartsPlaying(TMediaPlayer *player)
    {
        return QTest::qWaitFor([&] { return player->Mode() == TMediaPlayer::TMode::Playing; }, 10000);
    }
    std::string Tone() const { return std::string(GLOSSAD_TESTDATA_DIR) + "/audio/tone_2s.wav"; }
    bool device = false;
};
} // namespace

TEST_F(StudySpeech, AnAudioQuestionWithoutARecordingSpeaksItsWordAndARecordingWins)
{
    TF_Main &w = StudyAudio(DeckLine("hello", "2", "a greeting") + DeckLine("tone", "1", "", "", Tone()) +
                            DeckLine("gone", "1", "", "", "missing.wav"));
    TMediaPlayer *player = w.MediaPlayer1;
    QSignalSpy finished(player, &TMediaPlayer::PlaybackFinished);
    w.B_Go->click();
    ASSERT_TRUE(StartsPlaying(player));
    EXPECT_EQ(player->PlaysIntoNullOutput(), !device);
    const qint64 spoken = player->Length();
    EXPECT_GE(spoken, 200);
    EXPECT_LT(spoken, 2000);
    // Pause, Play and Stop work on speech as on a recording.
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->Position() > 0; }, 5000));
    player->PauseButton()->click();
    EXPECT_EQ(player->Mode(), TMediaPlayer::TMode::Paused);
    player->PlayButton()->click();
    EXPECT_EQ(player->Mode(), TMediaPlayer::TMode::Playing);
    player->StopButton()->click();
    EXPECT_EQ(player->Position(), 0);
    player->PlayButton()->click();
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(player->Position(), spoken);

    w.B_Go->click();
    ASSERT_TRUE(StartsPlaying(player));
    EXPECT_EQ(player->Length(), 2000);   // the recording, not the word
    // A recording that cannot be read is no recording: the word is spoken.
    w.B_Go->click();
    ASSERT_TRUE(StartsPlaying(player));
    EXPECT_LT(player->Length(), 2000);
    EXPECT_TRUE(Scripted().shown.empty());

    // A word question leaves the player closed, but Play speaks the word on show.
    w.Cb_Questions->setCurrentIndex(0);
    w.B_Go->click();
    EXPECT_FALSE(player->IsOpen());
    ASSERT_TRUE(player->PlayButton()->isEnabled());
    player->PlayButton()->click();
    EXPECT_TRUE(StartsPlaying(player));
}

TEST_F(StudySpeech, ItemsWithoutAWordToSpeakAreNeverAskedForTheirSound)
{
    TF_Main &w = StudyAudio(DeckLine(" \xA0 ", "2") + DeckLine("", "3"));
    EXPECT_FALSE(w.B_Go->isEnabled());
    EXPECT_EQ(w.StatusText(), "No Item has a sound to ask.");
    folder.write("decks/deck.gsd", DeckLine(" \xA0 ", "2") + DeckLine("owl", "2", "a bird") + DeckLine(" ", "2"));
    w.RefreshWhenChangedElsewhere();
    w.SB_Freq->click();
    EXPECT_TRUE(w.B_Go->isEnabled());
    EXPECT_EQ(w.Questions.TotalWeight(), 4);
    w.SB_Order->click();
    w.Ck_Def->setChecked(true);
    for (int i = 0; i < 2; ++i) {
        w.B_Go->click();   // in order, the blank lines are passed over
        w.B_Go->click();
        EXPECT_EQ(w.M_Def->toPlainText(), "a bird");
    }
}

TEST_F(StudySpeech, TheLanguagesAreSetInTheirDialogAndKeptBesideTheDeck)
{
    const std::string deck = DeckLine("Hund", "2", "a dog");
    folder.write("decks/deck.gsd.review", "# kept\nword-language=zz\n");
    TF_Main &w = StartWith(deck);
    w.Speech->MediaPlayer2->SetUseNullOutput(true);
    w.Speech->Languages1->trigger();
    // The unknown code is named once, and the default takes its place.
    ASSERT_EQ(Scripted().texts().size(), 1u);
    EXPECT_NE(Scripted().texts()[0].find("does not know the language \"zz\" set for the words"), std::string::npos);
    auto *dialog = w.findChild<TLanguagesDialog *>();
    ASSERT_TRUE(dialog && dialog->isVisible());
    EXPECT_EQ(dialog->WordLanguage(), DefaultLanguage());
    dialog->Cb_WordLanguage->setCurrentIndex(dialog->Cb_WordLanguage->findData("de"));
    dialog->Cb_DefinitionLanguage->setCurrentIndex(dialog->Cb_DefinitionLanguage->findData("en-us"));
    dialog->accept();
    EXPECT_EQ(folder.read("decks/deck.gsd.review"), "# kept\nword-language=de\ndefinition-language=en-us\n");
    EXPECT_EQ(Deck(), deck);

    // The Edit page's sound controls follow the fields.
    TMediaPlayer *player = w.Speech->MediaPlayer2;
    EXPECT_FALSE(player->PlayButton()->isEnabled());
    Select("Hund");
    player->PlayButton()->click();
    ASSERT_TRUE(StartsPlaying(player));
    const qint64 word = player->Length();
    w.Speech->SpeakDefinition1->trigger();
    ASSERT_TRUE(StartsPlaying(player));
    EXPECT_NE(player->Length(), word);
    w.T_word->setText("   ");
    EXPECT_FALSE(player->IsOpen());
    EXPECT_FALSE(player->PlayButton()->isEnabled());
    EXPECT_EQ(Scripted().texts().size(), 1u);
}
