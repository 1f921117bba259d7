// Spaced review through the real Study page: the order of the queue, the daily allowance of new
// Items, the grade buttons, what the review log holds afterwards, a log that cannot be written,
// Save As, the setting, and the Statistics window.
#include "app/SpacedStudy.h"
#include "app/StatisticsWindow.h"
#include "platform/MediaPlayer.h"
#include "review/ReviewLog.h"
#include "review/TimeText.h"
#include "support/MainWindowFixture.h"
#include "support/OrdinaryUser.h"

#include <QChartView>
#include <QTest>

#include <sys/stat.h>

namespace {

class SpacedStudy : public MainWindowTest {
protected:
    // The Deck of these words, with this review log, studied in spaced mode (words as questions,
    // the definition as the answer).
    TF_Main &StartSpaced(const std::vector<std::string> &words, const std::string &log = "")
    {
        std::string deck;
        for (const std::string &word : words)
            deck += DeckLine(word, "2", "meaning of " + word);
        if (!log.empty())
            folder.write("decks/deck.gsd.review", log);
        TF_Main &w = StartWith(deck);
        w.MediaPlayer1->SetUseNullOutput(true);
        w.Ck_Def->setChecked(true);
        w.Spaced->SB_Spaced->click();
        w.PageControl1->setCurrentWidget(w.Tb_Study);
        // The grade keys are shortcuts of the active window.
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        return w;
    }
    // A line of the log: the Item was last reviewed a while ago and is due at `due`.
    static std::string Reviewed(const std::string &word, CardState state, ReviewTime due)
    {
        Card card;
        card.state = state;
        card.stability = 5;
        card.difficulty = 5;
        card.due = due;
        card.reps = 3;
        return FormatReviewLine({CurrentTime() - 10 * 86400, Grade::Good, card, word});
    }
    std::string Log() const { return folder.read("decks/deck.gsd.review"); }
    // A grade key: the button clicks itself a moment later, as it shows the press.
    void PressGradeKey(Qt::Key key)
    {
        QTest::keyClick(window.get(), key);
        EXPECT_TRUE(QTest::qWaitFor([this] { return !window->Spaced->B_Good->isVisible(); }));
    }
    // Go for the question and Go for the answer: the word asked.
    std::string Ask()
    {
        window->B_Go->click();
        if (!window->L_WordQ->isVisible())
            return "";
        const std::string word = window->L_WordQ->text().toStdString();
        window->B_Go->click();
        return word;
    }
};

} // namespace

TEST_F(SpacedStudy, TheQueueTakesLearningThenOverdueReviewsThenNewItemsUpToTheDailyLimit)
{
    const ReviewTime now = CurrentTime();
    TF_Main &w = StartSpaced({"new1", "late1", "new2", "learn", "late3", "later", "new3"},
                             "new-per-day=2\n" + Reviewed("late1", CardState::Review, now - 86400) +
                                 Reviewed("learn", CardState::Learning, now - 60) +
                                 Reviewed("late3", CardState::Review, now - 3 * 86400) +
                                 Reviewed("later", CardState::Review, now + 5 * 86400) +
                                 Reviewed("gone", CardState::Review, now - 9 * 86400));
    std::vector<std::string> asked;
    for (int i = 0; i < 5; ++i) {
        asked.push_back(Ask());
        ASSERT_TRUE(w.Spaced->B_Easy->isVisible()) << i;
        EXPECT_FALSE(w.B_Go->isEnabled());
        PressGradeKey(Qt::Key_4);   // Easy: nothing comes back today
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"learn", "late3", "late1", "new1", "new2"}));
    // The next question was asked at once; nothing is left for today.
    EXPECT_TRUE(w.Spaced->L_Due->isVisible());
    EXPECT_TRUE(w.Spaced->L_Due->text().startsWith("Nothing is due now. Next review: "));
    EXPECT_FALSE(w.L_WordQ->isVisible());
    EXPECT_FALSE(w.Spaced->B_Easy->isVisible());
    EXPECT_TRUE(w.B_Go->isEnabled());
    EXPECT_TRUE(Scripted().shown.empty());

    ReviewLog log(DeckPath("deck.gsd"));
    log.Load();
    EXPECT_EQ(log.History().size(), 10u);
    for (const char *word : {"learn", "late3", "late1", "new1", "new2"})
        EXPECT_EQ(log.CardOf(word)->state, CardState::Review) << word;
    EXPECT_EQ(log.CardOf("new3"), nullptr);
    EXPECT_EQ(log.CardOf("gone")->reps, 3);   // a word no longer in the Deck stays in the log
    EXPECT_NE(Log().find("\teasy\treview\t0\t"), std::string::npos);
}

TEST_F(SpacedStudy, GradeButtonsShowTheirIntervalsAndTheKeysGrade)
{
    TF_Main &w = StartSpaced({"cat"});
    w.B_Go->click();
    EXPECT_EQ(w.L_WordQ->text(), "cat");
    EXPECT_FALSE(w.Spaced->B_Good->isVisible());   // the answer comes first
    w.B_Go->click();
    EXPECT_EQ(w.M_Def->toPlainText(), "meaning of cat");
    EXPECT_EQ(w.Spaced->B_Again->text(), "Again\n1m");
    EXPECT_EQ(w.Spaced->B_Hard->text(), "Hard\n6m");
    EXPECT_EQ(w.Spaced->B_Good->text(), "Good\n10m");
    EXPECT_EQ(w.Spaced->B_Easy->text(), "Easy\n8d");
    PressGradeKey(Qt::Key_3);
    EXPECT_NE(Log().find("\tgood\tlearning\t1\t2.3065\t"), std::string::npos);
    EXPECT_TRUE(w.Spaced->L_Due->isVisible());   // back in ten minutes

    // Leaving spaced review takes its note away.
    w.SB_Order->click();
    EXPECT_FALSE(w.Spaced->L_Due->isVisible());
}

TEST_F(SpacedStudy, ALogThatCannotBeWrittenIsReportedOnceAndStudyGoesOn)
{
    RUN_AS_ORDINARY_USER();
    TF_Main &w = StartSpaced({"one", "two", "three"});
    ::chmod(folder.file("decks").c_str(), 0555);
    EXPECT_EQ(Ask(), "one");
    PressGradeKey(Qt::Key_4);
    EXPECT_EQ(Ask(), "two");
    PressGradeKey(Qt::Key_4);
    EXPECT_EQ(w.L_WordQ->text(), "three");
    ::chmod(folder.file("decks").c_str(), 0755);
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_NE(Scripted().shown[0].text.find("Your review progress cannot be saved (Cannot create file"), std::string::npos);
    EXPECT_FALSE(FileExists(DeckPath("deck.gsd.review")));
}

TEST_F(SpacedStudy, SaveAsTakesTheLogAlongAndTheModeIsASetting)
{
    TF_Main &w = StartSpaced({"cat"});
    Ask();
    w.Spaced->B_Good->click();
    Scripted().files = {DeckPath("copy.gsd")};
    w.SaveAs1->trigger();
    EXPECT_EQ(folder.read("decks/copy.gsd.review"), Log());

    Close();
    EXPECT_NE(folder.read("program/glossad.ini").find("Spaced=1"), std::string::npos);
    TF_Main &again = Start();
    EXPECT_TRUE(again.Spaced->SB_Spaced->isChecked());
    EXPECT_FALSE(again.SB_Random->isChecked());
    EXPECT_FALSE(again.SB_Order->isChecked());
}

TEST_F(SpacedStudy, StatisticsCountTheDeckAndRefreshAfterAGrade)
{
    const ReviewTime now = CurrentTime();
    TF_Main &w = StartSpaced({"a", "b", "c", "d"}, Reviewed("b", CardState::Review, now - 60) +
                                                       Reviewed("c", CardState::Review, now + 2 * 86400) +
                                                       Reviewed("d", CardState::Relearning, now + 600));
    w.Spaced->Statistics1->trigger();
    auto *stats = w.findChild<TStatisticsWindow *>();
    ASSERT_TRUE(stats);
    EXPECT_TRUE(stats->isVisible());
    EXPECT_EQ(stats->L_New->text(), "1");
    EXPECT_EQ(stats->L_Learning->text(), "1");
    EXPECT_EQ(stats->L_Review->text(), "2");
    EXPECT_EQ(stats->L_DueToday->text(), LocalDayStart(now, 1) > now + 600 ? "2" : "1");
    EXPECT_EQ(Ask(), "b");
    w.Spaced->B_Again->click();
    EXPECT_EQ(stats->L_Learning->text(), "2");
    EXPECT_NE(stats->RecallChart->accessibleDescription().indexOf("0% of 1"), -1);
}
