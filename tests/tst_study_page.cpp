#include "platform/MediaPlayer.h"
#include "support/MainWindowFixture.h"

#include <QSignalSpy>
#include <QTest>

namespace {

class StudyPage : public MainWindowTest {
protected:
    TF_Main &StartWith(const std::string &deck)
    {
        folder.write("decks/deck.gsd", deck);
        TF_Main &w = Start({QString::fromStdString(DeckPath("deck.gsd"))});
        w.MediaPlayer1->SetUseNullOutput(true);
        w.Questions.TimeOfDay = [] { return 12345u; };
        w.PageControl1->setCurrentWidget(w.Tb_Study);
        return w;
    }
    bool Shows(const char *resource) const
    {
        return window->State->isVisible() && !window->State->pixmap().isNull() &&
               window->State->pixmap().toImage() == QPixmap(QStringLiteral(":/state/") + resource).toImage();
    }
    static std::string Data(const std::string &name) { return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/" + name; }
};

} // namespace

TEST_F(StudyPage, StatePicturesAre30By30TwentyFourBit)
{
    for (const char *name : {"Qbmp", "Abmp"}) {
        const QImage image(QStringLiteral(":/state/") + name);
        EXPECT_EQ(image.size(), QSize(30, 30)) << name;
        EXPECT_EQ(image.depth(), 32) << name;   // 24-bit files load as 32-bit images
        EXPECT_TRUE(image.hasAlphaChannel() == false) << name;
    }
}

TEST_F(StudyPage, GoWithAnEmptyListDoesNothing)
{
    TF_Main &w = Start();
    w.B_Go->click();
    EXPECT_FALSE(w.State->isVisible());
    EXPECT_FALSE(w.AnswerPending);
}

TEST_F(StudyPage, QuestionAndAnswerAlternateWithShowAnswer)
{
    TF_Main &w = StartWith(DeckLine("cat", "2", "a small feline"));
    w.Ck_Def->setChecked(true);
    ASSERT_TRUE(w.Sb_ShowAnswer->isChecked());
    w.B_Go->click();
    EXPECT_TRUE(Shows("Qbmp"));
    EXPECT_EQ(w.L_WordQ->text(), "cat");
    EXPECT_TRUE(w.M_Def->toPlainText().isEmpty());
    EXPECT_TRUE(w.AnswerPending);
    w.B_Go->click();
    EXPECT_TRUE(Shows("Abmp"));
    EXPECT_EQ(w.M_Def->toPlainText(), "a small feline");
    EXPECT_EQ(w.L_WordQ->text(), "cat");
    EXPECT_FALSE(w.AnswerPending);
    w.B_Go->click();
    EXPECT_TRUE(Shows("Qbmp"));
    EXPECT_TRUE(w.M_Def->toPlainText().isEmpty());
}

TEST_F(StudyPage, TheAskedSideIsNoAnswer)
{
    TF_Main &w = StartWith(DeckLine("cat", "2", "a small feline"));
    w.Cb_Questions->setCurrentIndex(1);
    EXPECT_TRUE(w.Ck_Word->isEnabled());
    EXPECT_FALSE(w.Ck_Def->isEnabled());
    w.Ck_Def->setChecked(true);
    for (int press = 0; press < 3; ++press) {
        w.B_Go->click();
        EXPECT_TRUE(Shows("Qbmp")) << press;
        EXPECT_EQ(w.M_Def->toPlainText(), "a small feline");
        EXPECT_FALSE(w.L_WordQ->isVisible());
    }
}

TEST_F(StudyPage, AnEmptyDefinitionAnswerStillSwitchesTheState)
{
    TF_Main &w = StartWith(DeckLine("cat", "2"));
    w.Ck_Def->setChecked(true);
    w.B_Go->click();
    w.B_Go->click();
    EXPECT_TRUE(Shows("Abmp"));
    EXPECT_TRUE(w.M_Def->toPlainText().isEmpty());
}

TEST_F(StudyPage, WordAnswerForADefinitionQuestionKeepsTheDefinition)
{
    TF_Main &w = StartWith(DeckLine("cat", "2", "a small feline"));
    w.Cb_Questions->setCurrentIndex(1);
    w.Ck_Word->setChecked(true);
    w.B_Go->click();
    EXPECT_FALSE(w.L_WordQ->isVisible());
    w.B_Go->click();
    EXPECT_TRUE(w.L_WordQ->isVisible());
    EXPECT_EQ(w.L_WordQ->text(), "cat");
    EXPECT_EQ(w.M_Def->toPlainText(), "a small feline");
}

TEST_F(StudyPage, InvalidWaveFileIsReportedAndTheAnswerFollows)
{
    TF_Main &w = StartWith(DeckLine("noise", "2", "not a sound", "", Data("audio/text.wav")));
    w.Cb_Questions->setCurrentIndex(3);
    w.Ck_Def->setChecked(true);
    w.B_Go->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{Data("audio/text.wav") + " is an invalid wave file."});
    EXPECT_TRUE(w.AnswerPending);
    w.B_Go->click();
    EXPECT_TRUE(Shows("Abmp"));
    EXPECT_EQ(w.M_Def->toPlainText(), "not a sound");
    EXPECT_EQ(Scripted().shown.size(), 1u);
}

TEST_F(StudyPage, AudioQuestionPlaysTheWaveFile)
{
    TF_Main &w = StartWith(DeckLine("tone", "2", "", "", Data("audio/tone_2s.wav")));
    w.Cb_Questions->setCurrentIndex(3);
    w.B_Go->click();
    EXPECT_TRUE(Scripted().shown.empty());
    EXPECT_EQ(w.MediaPlayer1->Mode(), TMediaPlayer::TMode::Playing);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.MediaPlayer1->Position() > 0; }, 3000));
    // A word question closes the player.
    w.Cb_Questions->setCurrentIndex(0);
    w.B_Go->click();
    EXPECT_FALSE(w.MediaPlayer1->IsOpen());
}

TEST_F(StudyPage, VisualQuestions)
{
    folder.write("decks/broken.bmp", "not a bitmap");
    TF_Main &w = StartWith(DeckLine("brick", "2", "", Data("pictures/rgb24.bmp")) +
                           DeckLine("broken", "2", "", DeckPath("broken.bmp")) +
                           DeckLine("missing", "2", "", DeckPath("missing.bmp")));
    w.Cb_Questions->setCurrentIndex(2);
    w.SB_Order->click();
    w.B_Go->click();
    EXPECT_TRUE(w.Image1->isVisible());
    EXPECT_NE(w.Image1->Picture().Graphic(), nullptr);
    EXPECT_FALSE(w.Image1->Stretch());
    w.B_Go->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{DeckPath("broken.bmp") + " is an invalid picture file."});
    EXPECT_NE(w.Image1->Picture().Graphic(), nullptr);
    w.B_Go->click();
    EXPECT_EQ(Scripted().shown.size(), 1u);
    EXPECT_TRUE(w.Image1->isVisible());
    EXPECT_TRUE(w.AnswerPending);
}

TEST_F(StudyPage, OrderAndFrequencyButtons)
{
    TF_Main &w = StartWith(DeckLine("a", "0") + DeckLine("b", "0"));
    w.SB_Freq->click();
    EXPECT_TRUE(w.SB_Freq->isChecked());
    EXPECT_FALSE(w.B_Go->isEnabled());
    w.SB_Order->click();
    EXPECT_TRUE(w.SB_Order->isChecked());
    EXPECT_FALSE(w.SB_Freq->isChecked());
    EXPECT_TRUE(w.B_Go->isEnabled());   // in order, frequency 0 is asked too
    w.SB_Freq->click();
    EXPECT_TRUE(w.SB_Random->isChecked());
    EXPECT_FALSE(w.SB_Order->isChecked());
    w.SB_Freq->click();
    EXPECT_TRUE(w.B_Go->isEnabled());
}

TEST_F(StudyPage, EnteringTheStudyPageRebuildsThePool)
{
    TF_Main &w = StartWith(DeckLine("a", "2"));
    w.PageControl1->setCurrentWidget(w.Tb_Edit);
    w.Cb_Questions->setCurrentIndex(2);
    EXPECT_FALSE(w.B_Go->isEnabled());
    w.Cb_Questions->setCurrentIndex(0);
    EXPECT_TRUE(w.B_Go->isEnabled());
    w.Cb_Questions->setCurrentIndex(1);
    EXPECT_FALSE(w.B_Go->isEnabled());
    w.T_word->setText("b");
    w.T_Definition->setText("bee");
    w.B_Add->click();
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    EXPECT_TRUE(w.B_Go->isEnabled());
    w.B_Go->click();
    EXPECT_EQ(w.M_Def->toPlainText(), "bee");
}

TEST_F(StudyPage, GoIsEnabledExactlyWhenAnItemCanBeAskedAndOtherwiseSaysWhy)
{
    TF_Main &w = Start();
    w.Cb_Questions->setCurrentIndex(2);
    w.T_word->setText("plain");
    w.B_Add->click();
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    EXPECT_FALSE(w.B_Go->isEnabled());
    EXPECT_EQ(w.StatusText(), "No Item has a picture to ask.");

    w.PageControl1->setCurrentWidget(w.Tb_Edit);
    w.T_Visual->setText(QString::fromStdString(Data("pictures/rgb24.bmp")));
    w.B_Add->click();
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    EXPECT_TRUE(w.B_Go->isEnabled());
    EXPECT_EQ(w.StatusText(), "");
    // Frequency 0 is never asked while frequency is in effect.
    w.SB_Freq->click();
    w.Cb_Questions->setCurrentIndex(0);
    EXPECT_TRUE(w.B_Go->isEnabled());
    w.PageControl1->setCurrentWidget(w.Tb_Edit);
    w.TrackBar1->setValue(0);
    w.B_Add->click();
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    EXPECT_FALSE(w.B_Go->isEnabled());
    EXPECT_EQ(w.StatusText(), "No Item of frequency 1 to 5 has a word to ask.");

    Scripted().answers = {MsgResult::No};
    w.SB_New->click();
    EXPECT_FALSE(w.B_Go->isEnabled());
    EXPECT_EQ(w.StatusText(), "The Deck has no Items to ask.");
}

TEST_F(StudyPage, TheKeyboardReadsTheDefinitionPressesGoAndClosesTheAnswers)
{
    TF_Main &w = StartWith(DeckLine("cat", "2", "a small feline"));
    QApplication::setActiveWindow(&w);
    w.Ck_Def->setChecked(true);
    w.B_Go->setFocus();
    QTest::keyClick(w.B_Go, Qt::Key_Return);
    EXPECT_TRUE(Shows("Qbmp"));
    QTest::keyClick(w.B_Go, Qt::Key_Enter);
    EXPECT_TRUE(Shows("Abmp"));

    // The definition box is read, not written, and Tab moves on from it.
    EXPECT_TRUE(w.M_Def->isReadOnly());
    w.M_Def->setFocus();
    QTest::keyClick(w.M_Def, Qt::Key_X);
    QTest::keyClick(w.M_Def, Qt::Key_Tab);
    EXPECT_EQ(w.M_Def->toPlainText(), "a small feline");
    EXPECT_NE(QApplication::focusWidget(), w.M_Def);

    // Escape closes the answer panel; so does leaving the page.
    w.SB_Answer->click();
    ASSERT_TRUE(w.Panel1->isVisible());
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.Panel1->isVisible());
    w.SB_Answer->click();
    w.PageControl1->setCurrentWidget(w.Tb_Edit);
    EXPECT_FALSE(w.Panel1->isVisible());
    EXPECT_EQ(w.Panel1->height(), 0);

    // F1 opens the help.
    QSignalSpy help(w.Contents1, &QAction::triggered);
    QTest::keyClick(&w, Qt::Key_F1);
    EXPECT_EQ(help.count(), 1);
}
