#include "platform/TextFile.h"
#include "support/MainWindowFixture.h"
#include "support/OrdinaryUser.h"
#include "support/TinyDisk.h"

#include <QTest>

#include <sys/stat.h>

namespace {

class EditPage : public MainWindowTest {
protected:
    static std::string Picture(const std::string &name)
    {
        return std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/pictures/" + name;
    }
};

} // namespace

TEST_F(EditPage, AddingAnExistingWordMovesItToTheEnd)
{
    TF_Main &w = StartWith(DeckLine("cat", "1", "old") + DeckLine("dog", "2"));
    w.NoSort1Click();
    Fill("cat", "a small feline");
    w.TrackBar1->setValue(4);
    w.B_Add->click();
    EXPECT_EQ(Deck(), DeckLine("dog", "2") + DeckLine("cat", "4", "a small feline"));
    EXPECT_EQ(Listed(), (QStringList{"dog", "cat"}));
    EXPECT_TRUE(w.Modified);
    // The fields keep their contents.
    EXPECT_EQ(w.T_word->text(), "cat");
}

TEST_F(EditPage, WordOnlyItemIsStoredWithDefaultFrequency)
{
    TF_Main &w = Start();
    Fill("solo");
    w.B_Add->click();
    EXPECT_EQ(folder.read("program/tempfile.gsd"), "solo\xB6" "2\xB6\xB6\xB6\xB6\r\n");
    w.TrackBar1->setValue(0);
    w.B_Add->click();
    EXPECT_EQ(folder.read("program/tempfile.gsd"), "solo\xB6" "0\xB6\xB6\xB6\xB6\r\n");
}

TEST_F(EditPage, CaseDiffersOnStoreButNotOnSelect)
{
    TF_Main &w = StartWith(DeckLine("Cat", "3", "first"));
    Fill("cat", "second");
    w.B_Add->click();
    EXPECT_EQ(Deck(), DeckLine("Cat", "3", "first") + DeckLine("cat", "2", "second"));
    Select("cat");
    EXPECT_EQ(w.T_Definition->text(), "first");
    EXPECT_EQ(w.T_word->text(), "Cat");
}

TEST_F(EditPage, EnterInAnyFieldStoresTheItem)
{
    TF_Main &w = Start();
    Fill("owl", "", "", "owl.wav");
    QTest::keyClick(w.T_Audio, Qt::Key_Return);
    EXPECT_EQ(folder.read("program/tempfile.gsd"), DeckLine("owl", "2", "", "", "owl.wav"));
    Fill("bat");
    QTest::keyClick(w.T_Definition, Qt::Key_Enter);
    EXPECT_EQ(folder.read("program/tempfile.gsd"), DeckLine("owl", "2", "", "", "owl.wav") + DeckLine("bat", "2"));
}

TEST_F(EditPage, EmptyWordIsRefused)
{
    TF_Main &w = Start();
    Fill("", "definition only");
    w.B_Add->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"Incomplete. Fill in the WORD"});
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::Error);
    EXPECT_EQ(folder.read("program/tempfile.gsd"), "");
    EXPECT_FALSE(w.Modified);
}

TEST_F(EditPage, FieldsTheDeckCannotHoldAreRefusedBeforeAnythingIsWritten)
{
    TF_Main &w = StartWith(DeckLine("cat", "1"));
    Fill("cat", QStringLiteral("pilcrow \u00B6 inside"));
    w.B_Add->click();
    // A character outside the code page asks whether to convert the Deck; No keeps it as it is.
    Fill("cat", QStringLiteral("Cyrillic дом"));
    Scripted().answers = {MsgResult::No};
    w.B_Add->click();
    EXPECT_EQ(Deck(), DeckLine("cat", "1"));
    ASSERT_EQ(Scripted().shown.size(), 2u);
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::GeneralError);
    EXPECT_NE(Scripted().shown[0].text.find("Definition"), std::string::npos);
    EXPECT_EQ(Scripted().shown[1].kind, ShownBox::Confirmation);
}

TEST_F(EditPage, FrequencyIsClampedShownAndStoredAgain)
{
    TF_Main &w = StartWith(DeckLine("high", "7", "d"));
    Select("high");
    EXPECT_EQ(w.TrackBar1->value(), 5);
    EXPECT_EQ(w.L_Freq2->text(), "5");
    w.B_Add->click();
    EXPECT_EQ(Deck(), DeckLine("high", "5", "d"));
}

TEST_F(EditPage, ABadFrequencyIsReportedAndTheItemStillShowsItsOwnFields)
{
    TF_Main &w = StartWith(DeckLine("good", "3", "fine", "good.bmp", "good.wav") +
                           DeckLine("bad", "x", "broken", "", "bad.wav"));
    Select("good");
    Scripted().clear();   // the preview's message about the missing picture
    Select("bad");
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_EQ(Scripted().shown[0].text, "'x' is not a valid integer value.");
    EXPECT_EQ(w.T_word->text(), "bad");
    EXPECT_EQ(w.T_Definition->text(), "broken");
    EXPECT_EQ(w.T_Visual->text(), "");
    EXPECT_EQ(w.T_Audio->text(), "bad.wav");
    EXPECT_EQ(w.TrackBar1->value(), 0);
    EXPECT_EQ(w.L_Freq2->text(), "0");
    // Storing it again keeps its own fields.
    w.B_Add->click();
    EXPECT_EQ(Deck(), DeckLine("good", "3", "fine", "good.bmp", "good.wav") + DeckLine("bad", "0", "broken", "", "bad.wav"));
}

TEST_F(EditPage, EmptyFrequencyAndLargeNumbers)
{
    TF_Main &w = StartWith(DeckLine("none", "") + DeckLine("twelve", "12"));
    Select("none");
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"'' is not a valid integer value."});
    Select("twelve");
    EXPECT_EQ(w.TrackBar1->value(), 5);
}

TEST_F(EditPage, SortMenuRules)
{
    TF_Main &w = StartWith(DeckLine("pear", "3") + DeckLine("fig", "0") + DeckLine("apple", "3"));
    w.NoSort1Click();
    EXPECT_EQ(Listed(), (QStringList{"pear", "fig", "apple"}));
    w.SortbyFrequency1Click();
    EXPECT_TRUE(w.Ascending1->isChecked());
    EXPECT_FALSE(w.NoSort1->isChecked());
    EXPECT_FALSE(w.NoSort1->isEnabled());
    EXPECT_EQ(Listed(), (QStringList{"fig", "apple", "pear"}));
    w.Decending1Click();
    EXPECT_EQ(Listed(), (QStringList{"pear", "apple", "fig"}));
    w.SortbyWord1Click();
    EXPECT_TRUE(w.NoSort1->isEnabled());
    EXPECT_FALSE(w.NoSort1->isChecked());
    EXPECT_EQ(Listed(), (QStringList{"pear", "fig", "apple"}));
    w.Ascending1Click();
    EXPECT_EQ(Listed(), (QStringList{"apple", "fig", "pear"}));
}

TEST_F(EditPage, RightButtonOpensTheSortMenu)
{
    TF_Main &w = StartWith(DeckLine("a", "1"));
    QTest::mousePress(w.ListBox1->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(w.PopupMenu1->isVisible());
    w.PopupMenu1->close();
}

TEST_F(EditPage, DeleteAsksAndRemovesEveryExactLine)
{
    TF_Main &w = StartWith(DeckLine("cat", "1") + DeckLine("Cat", "2") + DeckLine("cat", "3") + DeckLine("dog", "4"));
    w.NoSort1Click();
    w.ListBox1->setCurrentRow(0);
    Scripted().clear();
    Scripted().answers = {MsgResult::No, MsgResult::Cancel, MsgResult::Yes};
    w.B_Delete->click();
    w.B_Delete->click();
    EXPECT_EQ(Deck(), DeckLine("cat", "1") + DeckLine("Cat", "2") + DeckLine("cat", "3") + DeckLine("dog", "4"));
    w.B_Delete->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>(3, "Are you sure you want to delete cat?"));
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::Confirmation);
    EXPECT_EQ(Deck(), DeckLine("Cat", "2") + DeckLine("dog", "4"));
    EXPECT_EQ(Listed(), (QStringList{"Cat", "dog"}));
    EXPECT_TRUE(w.T_word->text().isEmpty());
    EXPECT_FALSE(w.Modified);
}

TEST_F(EditPage, DeleteWithoutSelectionDoesNothing)
{
    TF_Main &w = StartWith(DeckLine("cat", "1"));
    w.ListBox1->clearSelection();
    w.ListBox1->setCurrentItem(nullptr);
    w.B_Delete->click();
    EXPECT_TRUE(Scripted().shown.empty());
    EXPECT_EQ(Deck(), DeckLine("cat", "1"));
}

TEST_F(EditPage, ClearKeepsTheTrackBar)
{
    TF_Main &w = Start();
    Fill("w", "d", "v", "a");
    w.TrackBar1->setValue(4);
    w.B_Clear->click();
    for (QLineEdit *field : {w.T_word, w.T_Definition, w.T_Visual, w.T_Audio})
        EXPECT_TRUE(field->text().isEmpty());
    EXPECT_EQ(w.TrackBar1->value(), 4);
    EXPECT_EQ(w.L_Freq2->text(), "4");
}

TEST_F(EditPage, PreviewShowsThePictureOrWhyItCannot)
{
    TF_Main &w = StartWith(DeckLine("brick", "2", "", Picture("rgb24.bmp")) +
                           DeckLine("ghost", "2", "", "/no/such/picture.bmp") + DeckLine("plain", "2"));
    Select("brick");
    EXPECT_TRUE(w.PreviewV->isVisible());
    EXPECT_FALSE(w.L_UnableV->isVisible());
    EXPECT_FALSE(w.PreviewV->Picture().Graphic() == nullptr);
    Select("ghost");
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"Unable to load graphic."});
    EXPECT_FALSE(w.PreviewV->isVisible());
    EXPECT_TRUE(w.L_UnableV->isVisible());
    Select("plain");
    EXPECT_FALSE(w.PreviewV->isVisible());
    EXPECT_FALSE(w.L_UnableV->isVisible());
    // Typing a path does not change the preview.
    w.T_Visual->setText(QString::fromStdString(Picture("rgb24.bmp")));
    EXPECT_FALSE(w.PreviewV->isVisible());
}

TEST_F(EditPage, EveryPictureFormatPreviews)
{
    std::string deck;
    for (const char *file : {"rgb24.bmp", "icon.ico", "metafile.wmf", "metafile.emf", "photo.jpg"})
        deck += DeckLine(file, "2", "", Picture(file));
    TF_Main &w = StartWith(deck);
    for (const char *file : {"rgb24.bmp", "icon.ico", "metafile.wmf", "metafile.emf", "photo.jpg"}) {
        Select(QString::fromLatin1(file));
        EXPECT_TRUE(w.PreviewV->isVisible()) << file;
    }
    EXPECT_TRUE(Scripted().shown.empty());
}

TEST_F(EditPage, AGifShowsItsFirstFrame)
{
    // An animated GIF: the preview shows its first frame.
    const std::string gif = std::string(GLOSSAD_SOURCE_DIR) + "/examples/pictures/bird.gif";
    TF_Main &w = StartWith(DeckLine("bird", "2", "", gif) + DeckLine("GIF", "2", "", gif + ".missing"));
    Select("bird");
    ASSERT_TRUE(w.PreviewV->isVisible());
    ASSERT_NE(w.PreviewV->Picture().Graphic(), nullptr);
    EXPECT_EQ(w.PreviewV->Picture().Graphic()->GetWidth(), 96);
    EXPECT_EQ(w.PreviewV->Picture().Graphic()->GetHeight(), 64);
    const QImage shown = w.PreviewV->grab().toImage();
    // The sky of the first frame fills the top-left corner of the stretched preview.
    EXPECT_EQ(QColor(shown.pixel(2, 2)), QColor(0xcf, 0xe8, 0xff));
    EXPECT_TRUE(Scripted().shown.empty());
}

TEST_F(EditPage, BrowseButtonsFillTheirFields)
{
    TF_Main &w = Start();
    Scripted().files = {std::string("/pics/a.gif"), std::nullopt, std::string("/snd/a.wav")};
    w.B_BrowseV->click();
    EXPECT_EQ(w.T_Visual->text(), "/pics/a.gif");
    w.B_BrowseV->click();
    EXPECT_EQ(w.T_Visual->text(), "/pics/a.gif");
    w.B_BrowseA->click();
    EXPECT_EQ(w.T_Audio->text(), "/snd/a.wav");
    ASSERT_EQ(Scripted().fileDialogs.size(), 3u);
    EXPECT_EQ(Scripted().fileDialogs[0].filter, TF_Main::VisualFilter);
    EXPECT_EQ(Scripted().fileDialogs[2].filter, TF_Main::AudioFilter);
    // Every sound the player reads is offered first; wave files keep their own entry.
    EXPECT_EQ(TF_Main::AudioFilter.find("Sounds [*.wav;*.mp3;*.ogg;*.oga;*.opus;*.flac]|"), 0u);
    EXPECT_NE(TF_Main::AudioFilter.find("|Wave [*.wav]|*.wav|"), std::string::npos);
    EXPECT_NE(TF_Main::VisualFilter.find("|*.jpg;*.gif;*.jpeg;*.bmp;*.emf;*.wmf;*.png;*.webp;*.svg|"), std::string::npos);
}

TEST_F(EditPage, AReadOnlyDeckIsNeverChanged)
{
    RUN_AS_ORDINARY_USER();
    const std::string deck = DeckLine("cat", "1") + DeckLine("dog", "2");
    TF_Main &w = StartWith(deck);
    ::chmod(DeckPath("deck.gsd").c_str(), 0444);
    Fill("cat", "changed");
    w.B_Add->click();
    Select("dog");
    Scripted().answers = {MsgResult::Yes};
    w.B_Delete->click();
    const std::string refusal = "Cannot create file " + DeckPath("deck.gsd") + ".";
    EXPECT_EQ(Scripted().texts(), (std::vector<std::string>{refusal, "Are you sure you want to delete dog?", refusal}));
    EXPECT_EQ(Deck(), deck);
    EXPECT_EQ(Listed(), (QStringList{"cat", "dog"}));
    EXPECT_FALSE(w.Modified);
}

TEST_F(EditPage, AFullDiskKeepsTheDeckTheListAndTheFields)
{
    TinyDisk disk(folder.file("disk"));
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs";
    const std::string deck = DeckLine("cat", "1", std::string(3000, 'c')) + DeckLine("dog", "2");
    WriteWholeFile(disk.file("deck.gsd"), deck);
    TF_Main &w = Start({QString::fromStdString(disk.file("deck.gsd"))});
    disk.FillLeaving(0);
    Fill("dog", "changed");
    w.B_Add->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"Disk full."});
    EXPECT_EQ(ReadWholeFile(disk.file("deck.gsd")), deck);
    EXPECT_EQ(Listed(), (QStringList{"cat", "dog"}));
    EXPECT_EQ(w.Store.ItemCount, 2);
    EXPECT_EQ(w.T_Definition->text(), "changed");
}

TEST_F(EditPage, AnItemAddedToADeckWithAnEndOfFileMarkIsListed)
{
    TF_Main &w = StartWith(DeckLine("cat", "1") + "\x1A" + "kept\r\n");
    Fill("zebra");
    w.B_Add->click();
    EXPECT_EQ(Deck(), DeckLine("cat", "1") + DeckLine("zebra", "2") + "\x1A" + "kept\r\n");
    EXPECT_EQ(Listed(), (QStringList{"cat", "zebra"}));
}

TEST_F(EditPage, AddingToADeckDeletedMeanwhileMakesNoFile)
{
    TF_Main &w = StartWith(DeckLine("cat", "1"));
    std::remove(DeckPath("deck.gsd").c_str());
    Fill("zebra");
    w.B_Add->click();
    w.BitBtn1->click();
    EXPECT_EQ(Scripted().texts(), (std::vector<std::string>{"File not found.", "File not found."}));
    EXPECT_FALSE(FileExists(DeckPath("deck.gsd")));
    EXPECT_EQ(w.T_word->text(), "zebra");
}

TEST_F(EditPage, AnEmptyFrequencyKeepsTheWholeWord)
{
    TF_Main &w = StartWith(DeckLine("word", "") + DeckLine("fig", "1"));
    w.SortbyFrequency1Click();
    EXPECT_EQ(Listed(), (QStringList{"word", "fig"}));
    Select("word");
    EXPECT_EQ(w.T_word->text(), "word");
    Scripted().answers = {MsgResult::Yes};
    w.B_Delete->click();
    EXPECT_EQ(Scripted().texts().back(), "Are you sure you want to delete word?");
    EXPECT_EQ(Deck(), DeckLine("fig", "1"));
    EXPECT_EQ(Listed(), QStringList{"fig"});
}

TEST_F(EditPage, WhatTheUserTypedStaysUntilTheyPickAnEntry)
{
    TF_Main &w = StartWith(DeckLine("cat", "1", "feline") + DeckLine("dog", "2", "canine"));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    Fill("zebra", "striped");
    const auto typed = [&w] { return w.T_word->text() == "zebra" && w.T_Definition->text() == "striped"; };
    const QPoint onDog = w.ListBox1->visualItemRect(w.ListBox1->item(1)).center();
    // Right-click, Escape.
    QTest::mousePress(w.ListBox1->viewport(), Qt::RightButton, {}, onDog);
    QTest::mouseRelease(w.ListBox1->viewport(), Qt::RightButton, {}, onDog);
    ASSERT_TRUE(w.PopupMenu1->isVisible());
    QTest::keyClick(w.PopupMenu1, Qt::Key_Escape);
    EXPECT_TRUE(typed());
    // Right-click, then a sort order chosen by its mnemonic.
    QTest::mousePress(w.ListBox1->viewport(), Qt::RightButton, {}, onDog);
    QTest::keyClick(w.PopupMenu1, Qt::Key_D);
    EXPECT_TRUE(w.Decending1->isChecked());
    EXPECT_EQ(Listed(), (QStringList{"dog", "cat"}));
    EXPECT_TRUE(typed());
    // Tabbing into the list makes an entry current but picks none.
    w.T_word->setFocus(Qt::OtherFocusReason);
    w.ListBox1->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(w.ListBox1->hasFocus());
    EXPECT_TRUE(typed());
    EXPECT_TRUE(w.ListBox1->selectedItems().isEmpty());
    // A keyboard move picks an entry, and so does a left click.
    QTest::keyClick(w.ListBox1, Qt::Key_Down);
    EXPECT_EQ(w.T_word->text(), "cat");
    Select("dog");
    EXPECT_EQ(w.T_Definition->text(), "canine");
    // A refill selects nothing.
    w.B_Add->click();
    EXPECT_TRUE(w.ListBox1->selectedItems().isEmpty());
    EXPECT_EQ(w.ListBox1->currentItem(), nullptr);
}

TEST_F(EditPage, APathTheDeckCannotHoldIsRefusedBeforeAnythingIsWritten)
{
    TF_Main &w = StartWith(DeckLine("cat", "1"));
    // A name that is no text at all cannot come back from a field.
    Scripted().files = {std::string("/pics/bad\xFF.gif"), std::string("/pics/\xE6\x97\xA5\xE6\x9C\xAC.gif"),
                        std::string("/pics/caf\xC3\xA9.gif")};
    w.B_BrowseV->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"The Visual file name /pics/bad?.gif has characters that a "
                                                           "Deck file cannot hold. Please rename the file or choose another one."});
    EXPECT_TRUE(w.T_Visual->text().isEmpty());
    // A name the code page cannot hold is taken; storing it asks to convert the Deck.
    w.B_BrowseV->click();
    EXPECT_EQ(w.T_Visual->text(), QStringLiteral("/pics/\u65E5\u672C.gif"));
    w.B_BrowseV->click();
    EXPECT_EQ(w.T_Visual->text(), QStringLiteral("/pics/café.gif"));
    Fill("cat", "", w.T_Visual->text(), QStringLiteral("/snd/\u65E5.wav"));
    Scripted().answers = {MsgResult::Cancel};
    w.B_Add->click();
    EXPECT_EQ(Scripted().shown.back().kind, ShownBox::Confirmation);
    EXPECT_EQ(Deck(), DeckLine("cat", "1"));
    w.T_Audio->clear();
    w.B_Add->click();
    EXPECT_EQ(Deck(), DeckLine("cat", "2", "", "/pics/caf\xE9.gif"));
}
