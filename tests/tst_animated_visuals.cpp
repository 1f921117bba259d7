// Animated visuals in the main window: they play in PreviewV and Image1, and the painter
// stops at once when the user moves on (another Item, the next question, Clear, New, Open,
// the other page, closing the window).
#include "gif/GIFImage.h"
#include "support/GIFPictures.h"
#include "support/MainWindowFixture.h"

#include <QTest>

using namespace gifpictures;

namespace {

class AnimatedVisuals : public MainWindowTest {
protected:
    // A Deck of "bird" (an animated GIF), "boat" (a still GIF) and "cat" (no visual).
    TF_Main &StartWithPictures()
    {
        auto bird = NewPicture(8, 8, {qRgb(255, 255, 255), qRgb(255, 0, 0)});
        AddFrame(*bird, QRect(0, 0, 8, 8), 0, 5);
        AddFrame(*bird, QRect(2, 2, 4, 4), 1, 5);
        AddLoop(*bird->Images()[0], 0);
        bird->SaveToFile(DeckPath("bird.gif"));
        auto boat = NewPicture(8, 8, {qRgb(0, 0, 255)});
        AddFrame(*boat, QRect(0, 0, 8, 8), 0);
        boat->SaveToFile(DeckPath("boat.gif"));
        folder.write("decks/deck.gsd", DeckLine("bird", "1", "", DeckPath("bird.gif")) +
                                           DeckLine("boat", "1", "", DeckPath("boat.gif")) + DeckLine("cat", "1"));
        TF_Main &w = Start({QString::fromStdString(DeckPath("deck.gsd"))});
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));   // repaints reach the widgets from now on
        return w;
    }

    static TGIFImage *Picture(TImage *control) { return qobject_cast<TGIFImage *>(control->Picture().Graphic()); }

    // Paints the control as the screen would; true when its picture is playing then.
    static bool Plays(TImage *control)
    {
        control->repaint();
        return Picture(control) && Picture(control)->CurrentPainter() != nullptr;
    }

    void Select(const QString &word)
    {
        const auto items = window->ListBox1->findItems(word, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        QTest::mouseClick(window->ListBox1->viewport(), Qt::LeftButton, {},
                          window->ListBox1->visualItemRect(items.first()).center());
    }

    // The bird plays in the preview, and after the step no painter is left.
    void StopsAfter(const char *step, const std::function<void()> &act)
    {
        SCOPED_TRACE(step);
        window->PageControl1->setCurrentWidget(window->Tb_Edit);
        Select("bird");
        ASSERT_TRUE(Plays(window->PreviewV));
        EXPECT_EQ(PainterThreads(), 1);
        act();
        if (TGIFImage *picture = Picture(window->PreviewV)) {
            EXPECT_EQ(picture->PainterCount(), 0);
        }
        EXPECT_TRUE(NoPainterThreads());
    }
};

} // namespace

TEST_F(AnimatedVisuals, PreviewStopsWhenTheUserMovesOn)
{
    TF_Main &w = StartWithPictures();
    StopsAfter("another Item with a picture", [&] { Select("boat"); });
    EXPECT_FALSE(Plays(w.PreviewV));   // a still picture needs no painter
    StopsAfter("an Item without a picture", [&] { Select("cat"); });
    StopsAfter("Clear", [&] { w.B_Clear->click(); });
    StopsAfter("the Study page", [&] { w.PageControl1->setCurrentWidget(w.Tb_Study); });
    StopsAfter("New", [&] { w.SB_NewClick(); });
    w.LoadDeck(DeckPath("deck.gsd"));
    Scripted().files.push_back(DeckPath("deck.gsd"));
    StopsAfter("Open", [&] { w.SB_OpenClick(); });
    // Back on the page the picture plays again from the start.
    Select("bird");
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    w.PageControl1->setCurrentWidget(w.Tb_Edit);
    EXPECT_TRUE(Plays(w.PreviewV));
}

TEST_F(AnimatedVisuals, StudyPageStopsOnTheNextQuestion)
{
    TF_Main &w = StartWithPictures();
    w.Sb_ShowAnswer->setChecked(false);
    w.SB_Order->click();
    w.Cb_Questions->setCurrentIndex(2);   // Visual
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    w.B_Go->click();
    ASSERT_EQ(w.Questions.CurrentItem.at(0), "bird");
    ASSERT_TRUE(Plays(w.Image1));
    EXPECT_EQ(PainterThreads(), 1);
    // The next question's picture cannot be opened: the last one stays on show, standing still.
    TGIFImage *shown = Picture(w.Image1);
    QFile::rename(QString::fromStdString(DeckPath("boat.gif")), QString::fromStdString(DeckPath("boat.old")));
    w.B_Go->click();
    ASSERT_EQ(w.Questions.CurrentItem.at(0), "boat");
    EXPECT_EQ(Picture(w.Image1), shown);
    EXPECT_EQ(shown->PainterCount(), 0);
    EXPECT_FALSE(Plays(w.Image1));
    EXPECT_FALSE(shown->Bitmap().isNull());
    EXPECT_TRUE(NoPainterThreads());
    // Another question of another kind hides the picture.
    w.B_Go->click();
    ASSERT_TRUE(Plays(w.Image1));
    w.Cb_Questions->setCurrentIndex(0);   // Word
    w.B_Go->click();
    EXPECT_FALSE(w.Image1->isVisible());
    EXPECT_EQ(Picture(w.Image1)->PainterCount(), 0);
    EXPECT_TRUE(NoPainterThreads());
}

TEST_F(AnimatedVisuals, ClosingWhilePlayingLeavesNoThread)
{
    TF_Main &w = StartWithPictures();
    Select("bird");
    ASSERT_TRUE(Plays(w.PreviewV));
    Close();
    EXPECT_TRUE(NoPainterThreads());
}
