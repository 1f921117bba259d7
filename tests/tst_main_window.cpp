#include "platform/IniFile.h"
#include "support/MainWindowFixture.h"
#include "support/ReadOnlyFolder.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

namespace {
QStringList MenuCaptions(QMenu *menu)
{
    QStringList captions;
    for (QAction *action : menu->actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}
} // namespace

using MainWindow = MainWindowTest;

TEST_F(MainWindow, FirstStartWithoutSettings)
{
    folder.write("program/tempfile.gsd", "left over\r\n");
    TF_Main &w = Start();
    EXPECT_EQ(w.windowTitle(), "Glossadrome");
    EXPECT_EQ(w.minimumSize(), QSize(590, 387));
    EXPECT_EQ(w.size(), QSize(590, 387));
    EXPECT_EQ(folder.read("program/tempfile.gsd"), "");
    EXPECT_TRUE(w.Untitled);
    EXPECT_FALSE(w.Modified);
    EXPECT_FALSE(w.DeckLoaded);
    EXPECT_EQ(w.Cb_Questions->currentIndex(), 0);
    EXPECT_FALSE(w.Ck_Word->isEnabled());
    for (QCheckBox *box : {w.Ck_Word, w.Ck_Def, w.Ck_Visual, w.Ck_Audio})
        EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(w.SB_Random->isChecked());
    EXPECT_FALSE(w.SB_Order->isChecked());
    EXPECT_FALSE(w.SB_Freq->isChecked());
    EXPECT_FALSE(w.Sb_ShowAnswer->isChecked());
    EXPECT_TRUE(w.Ascending1->isChecked());
    EXPECT_TRUE(w.SortbyWord1->isChecked());
    EXPECT_TRUE(w.NoSort1->isEnabled());
    EXPECT_EQ(MenuCaptions(w.File1), (QStringList{"&New", "&Open", "Save &As", "&Import...", "&Export...", "-", "E&xit"}));
    EXPECT_EQ(w.StatusText(), "New file loaded");
    EXPECT_EQ(w.PageControl1->currentWidget(), w.Tb_Edit);
    EXPECT_EQ(w.PageControl1->tabText(0), "Edit");
    EXPECT_EQ(w.PageControl1->tabText(1), "Study");
    EXPECT_TRUE(Scripted().shown.empty());
}

TEST_F(MainWindow, ControlsCarryTheirNamesCaptionsAndHints)
{
    TF_Main &w = Start();
    EXPECT_EQ(w.SB_New->toolTip(), "New");
    EXPECT_EQ(w.SB_Open->toolTip(), "Open");
    EXPECT_EQ(w.SB_Random->toolTip(), "Random");
    EXPECT_EQ(w.SB_Order->toolTip(), "In Order");
    EXPECT_EQ(w.SB_Freq->toolTip(), "Frequency in effect");
    EXPECT_EQ(w.Sb_ShowAnswer->toolTip(), "Show Answer");
    EXPECT_EQ(w.SB_Answer->text(), "Answers");
    EXPECT_EQ(w.QuestionCaption->text(), " Question ");
    EXPECT_EQ(w.BitBtn1->toolTip(), "Refresh the list");
    EXPECT_EQ(w.TrackBar1->toolTip(), "Frequency of this item showing up");
    EXPECT_EQ(w.New1->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(w.Open1->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(MenuCaptions(w.PopupMenu1),
              (QStringList{"&Ascending", "&Decending", "&No Sort", "-", "Sort by &Word", "Sort by &Frequency"}));
    EXPECT_EQ(MenuCaptions(w.Help1), (QStringList{"Contents", "About"}));
    for (const char *name : {"ListBox1", "T_word", "T_Definition", "T_Visual", "T_Audio", "B_Add", "B_Clear",
                             "B_Delete", "TrackBar1", "B_Go", "L_WordQ", "M_Def", "State", "Image1", "PreviewV",
                             "Panel1", "Cb_Questions", "StatusBar1", "PageControl1", "Splitter1"})
        EXPECT_NE(w.findChild<QWidget *>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(w.T_word->accessibleName(), "Word");
    EXPECT_EQ(w.T_Definition->accessibleName(), "Definition");
    EXPECT_EQ(w.T_Visual->accessibleName(), "Visual");
    EXPECT_EQ(w.T_Audio->accessibleName(), "Audio");
    EXPECT_EQ(w.T_word->geometry().topLeft(), QPoint(184, 32));
    EXPECT_EQ(w.T_word->width(), 241);
    EXPECT_EQ(w.ListBox1->width(), 113);
    EXPECT_EQ(w.ListBox1->y(), 25);
    EXPECT_FALSE(w.L_UnableV->isVisible());
    EXPECT_FALSE(w.PreviewV->isVisible());
}

TEST_F(MainWindow, ClosingWritesEveryKeyAndASecondStartRestoresThem)
{
    TF_Main &w = Start();
    w.Cb_Questions->setCurrentIndex(2);
    w.Ck_Def->setChecked(true);
    w.Ck_Audio->setChecked(true);
    w.SB_Order->setChecked(true);
    w.SB_Freq->setChecked(true);
    w.Decending1->setChecked(true);
    w.SortbyFrequency1->setChecked(true);
    w.RecentFiles = {"/d/one.gsd", "/d/two.gsd"};
    Close();
    const std::string ini = folder.read("program/glossad.ini");
    EXPECT_EQ(ini, "[Options]\r\nQuestion=2\r\nAWord=0\r\nADef=1\r\nAVisual=0\r\nAAudio=1\r\nRandom=0\r\nFreq=1\r\n"
                   "Answer=1\r\nSort=1\r\nSortby=0\r\nSpaced=0\r\n[Recent]\r\nFile0=/d/one.gsd\r\nFile1=/d/two.gsd\r\nFile2=\r\n"
                   "File3=\r\nFile4=\r\n");

    TF_Main &again = Start();
    EXPECT_EQ(again.Cb_Questions->currentIndex(), 2);
    EXPECT_FALSE(again.Ck_Visual->isEnabled());
    EXPECT_TRUE(again.Ck_Word->isEnabled());
    EXPECT_TRUE(again.Ck_Def->isChecked());
    EXPECT_TRUE(again.Ck_Audio->isChecked());
    EXPECT_TRUE(again.SB_Order->isChecked());
    EXPECT_TRUE(again.SB_Freq->isChecked());
    EXPECT_TRUE(again.Sb_ShowAnswer->isChecked());
    EXPECT_TRUE(again.Decending1->isChecked());
    EXPECT_TRUE(again.SortbyFrequency1->isChecked());
    EXPECT_FALSE(again.NoSort1->isEnabled());
    EXPECT_EQ(again.RecentFiles, (StringList{"/d/one.gsd", "/d/two.gsd"}));
    EXPECT_EQ(MenuCaptions(again.File1),
              (QStringList{"&New", "&Open", "Save &As", "&Import...", "&Export...", "-", "E&xit", "&1 /d/one.gsd",
                           "&2 /d/two.gsd"}));
}

TEST_F(MainWindow, RecentListStopsAtTheFirstEmptyKey)
{
    folder.write("program/glossad.ini", "[Recent]\r\nFile0=\r\nFile1=/d/b.gsd\r\n");
    EXPECT_TRUE(Start().RecentFiles.empty());
    EXPECT_EQ(MenuCaptions(window->File1).size(), 7);
    Abandon();
    folder.write("program/glossad.ini", "[Recent]\r\nFile0=/a\r\nFile1=/b\r\nFile2=/c\r\nFile3=\r\nFile4=/e\r\n");
    TF_Main &w = Start();
    EXPECT_EQ(w.RecentFiles, (StringList{"/a", "/b", "/c"}));
    EXPECT_EQ(MenuCaptions(w.File1).mid(7), (QStringList{"&1 /a", "&2 /b", "&3 /c"}));
}

TEST_F(MainWindow, QuestionKindWithItsAnswerBoxCheckedIsWrittenAsFalse)
{
    folder.write("program/glossad.ini", "[Options]\r\nQuestion=2\r\nAVisual=1\r\n");
    TF_Main &w = Start();
    EXPECT_FALSE(w.Ck_Visual->isEnabled());
    EXPECT_TRUE(w.Ck_Visual->isChecked());
    // Checking a box on restore presses Show Answer, which its own key then sets again.
    EXPECT_FALSE(w.Sb_ShowAnswer->isChecked());
    Close();
    EXPECT_EQ(TIniFile(ProgramFile("glossad.ini")).ReadString("Options", "AVisual", "?"), "0");
}

TEST_F(MainWindow, OddSortValues)
{
    folder.write("program/glossad.ini", "[Options]\r\nSort=7\r\nQuestion=9\r\n");
    TF_Main &w = Start();
    EXPECT_FALSE(w.Ascending1->isChecked());
    EXPECT_FALSE(w.Decending1->isChecked());
    EXPECT_FALSE(w.NoSort1->isChecked());
    EXPECT_EQ(w.Cb_Questions->currentIndex(), -1);
    EXPECT_FALSE(w.Ck_Word->isEnabled());
    Close();
    TIniFile ini(ProgramFile("glossad.ini"));
    EXPECT_EQ(ini.ReadInteger("Options", "Sort", -5), 0);
    EXPECT_EQ(ini.ReadInteger("Options", "Question", -5), -1);
}

TEST_F(MainWindow, SortbyZeroWithNoSortChecksBothAndDisablesNoSort)
{
    folder.write("program/glossad.ini", "[Options]\r\nSortby=0\r\nSort=2\r\n");
    TF_Main &w = Start();
    EXPECT_TRUE(w.SortbyFrequency1->isChecked());
    EXPECT_TRUE(w.NoSort1->isChecked());
    EXPECT_FALSE(w.NoSort1->isEnabled());
}

TEST_F(MainWindow, JunkSettingsTakeTheirDefaults)
{
    folder.write("program/glossad.ini", std::string("[Options\r\nQuestion=abc\r\nRandom=zz\r\n\0\xFF\r\n[Options]\r\nFreq=0x1\r\n", 54));
    TF_Main &w = Start();
    EXPECT_EQ(w.Cb_Questions->currentIndex(), 0);
    EXPECT_TRUE(w.SB_Random->isChecked());
    // The first section named Options counts; the second is never read.
    EXPECT_FALSE(w.SB_Freq->isChecked());
}

TEST_F(MainWindow, ClosingAndExitAskAboutScratchWordsAndExitWritesTheSettings)
{
    folder.write("program/glossad.ini", "[Options]\r\nQuestion=1\r\n");
    TF_Main &w = Start();
    w.Cb_Questions->setCurrentIndex(3);
    w.T_word->setText("gamma");
    w.B_Add->click();
    const std::string question = "The file has modified. Would you like to save the file?";
    Scripted().answers = {MsgResult::Cancel};
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());

    // E&xit is chosen while the event loop runs, as a user chooses it: first Cancel, then Yes
    // with a name to save under. A loop that E&xit failed to end is ended by the time-out.
    Scripted().answers = {MsgResult::Cancel, MsgResult::Yes};
    Scripted().files = {DeckPath("gamma.gsd")};
    bool stayedAfterCancel = false;
    QTimer::singleShot(0, &w, [&] {
        w.EXit1->trigger();
        stayedAfterCancel = w.isVisible();
        w.EXit1->trigger();
    });
    QTimer timeOut;
    timeOut.setSingleShot(true);
    QObject::connect(&timeOut, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    timeOut.start(30000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(stayedAfterCancel);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>(3, question));
    EXPECT_EQ(folder.read("decks/gamma.gsd"), DeckLine("gamma", "2"));
    // The close step ran: drop targets gone, settings written with the saved Deck as recent.
    EXPECT_FALSE(w.T_Visual->acceptDrops());
    Abandon();
    TIniFile settings(ProgramFile("glossad.ini"));
    EXPECT_EQ(settings.ReadInteger("Options", "Question", -1), 3);
    EXPECT_EQ(settings.ReadString("Recent", "File0", ""), DeckPath("gamma.gsd"));
}

TEST_F(MainWindow, ControlsGrowWithTheWindowFromTheirPlacesAtTheDefaultSize)
{
    TF_Main &w = Start();
    ASSERT_EQ(w.size(), QSize(590, 387));
    EXPECT_EQ(w.ListBox1->geometry(), QRect(0, 25, 113, w.Tb_Edit->height() - 25));
    EXPECT_EQ(w.T_word->geometry(), QRect(184, 32, 241, 21));
    EXPECT_EQ(w.B_BrowseV->geometry(), QRect(427, 95, 22, 22));
    EXPECT_EQ(w.PreviewV->geometry(), QRect(472, 72, 89, 81));
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    EXPECT_EQ(w.M_Def->geometry(), QRect(8, 152, 201, 89));
    const int pictureWidth = w.Image1->width();

    w.resize(590 + 400, 387 + 300);
    EXPECT_EQ(w.M_Def->geometry(), QRect(8, 152, 201, 89 + 300));
    EXPECT_EQ(w.Image1->width(), pictureWidth + 400);
    w.PageControl1->setCurrentWidget(w.Tb_Edit);
    EXPECT_EQ(w.ListBox1->geometry(), QRect(0, 25, 113 + 100, w.Tb_Edit->height() - 25));
    EXPECT_EQ(w.T_word->geometry(), QRect(184 + 100, 32, 241 + 200, 21));
    EXPECT_EQ(w.B_BrowseV->geometry(), QRect(427 + 300, 95, 22, 22));
    EXPECT_EQ(w.PreviewV->geometry(), QRect(472 + 300, 72, 89 + 100, 81 + 150));
    EXPECT_EQ(w.L_UnableV->geometry().center(), w.PreviewV->geometry().center());
}

TEST_F(MainWindow, AScratchFileThatCannotBeCreatedIsReportedAndTheWindowStillOpens)
{
    // A folder in the scratch file's place.
    QDir().mkpath(QString::fromStdString(ProgramFile("tempfile.gsd")));
    TF_Main &w = Start();
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::GeneralError);
    EXPECT_EQ(Scripted().shown[0].text, "Invalid filename.");
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.StatusText(), "New file loaded");
}

TEST_F(MainWindow, AnUnwritableProgramFolderGivesWayToThePerUserFolders)
{
    ReadOnlyFolder readOnly(folder.file("program"));
    if (!readOnly.Active())
        GTEST_SKIP() << "cannot make a folder read-only here";
    TF_Main &w = Start();
    EXPECT_TRUE(Scripted().shown.empty());
    EXPECT_EQ(w.Store.WorkFileName.rfind(folder.file("xdg/XDG_DATA_HOME/"), 0), 0u) << w.Store.WorkFileName;
    w.T_word->setText("cat");
    w.B_Add->click();
    EXPECT_EQ(ReadWholeFile(w.Store.WorkFileName), DeckLine("cat", "2"));
    w.Cb_Questions->setCurrentIndex(2);
    Scripted().answers = {MsgResult::No};
    Close();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"The file has modified. Would you like to save the file?"});
    // The settings written at close are found by the next start.
    EXPECT_EQ(Start().Cb_Questions->currentIndex(), 2);
}

TEST_F(MainWindow, AnUnwritableSettingsFileIsReportedAndTheWindowStillCloses)
{
    folder.write("decks/deck.gsd", DeckLine("cat", "2"));
    TF_Main &w = Start({QString::fromStdString(DeckPath("deck.gsd"))});
    // A folder where the settings file should be makes it unwritable.
    ::mkdir(ProgramFile("glossad.ini").c_str(), 0755);
    w.close();
    EXPECT_FALSE(w.isVisible());
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::GeneralError);
    EXPECT_EQ(Scripted().shown[0].text, "Unable to write to " + ProgramFile("glossad.ini") + ".");
    EXPECT_EQ(folder.read("decks/deck.gsd"), DeckLine("cat", "2"));
    Abandon();
}

TEST_F(MainWindow, AnswerPanelOpensClosesAndCheckingPressesShowAnswer)
{
    TF_Main &w = Start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    // Clicks go to the window at a point, and the window hands them to the control there.
    const auto click = [&w](QWidget *control, QPoint point) {
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, control->mapTo(&w, point));
    };
    EXPECT_EQ(w.Panel1->height(), 0);
    click(w.SB_Answer, w.SB_Answer->rect().center());
    EXPECT_EQ(w.Panel1->height(), 83);
    EXPECT_EQ(w.Panel1->width(), 80);
    EXPECT_TRUE(w.Panel1->isVisible());
    EXPECT_GE(w.Panel1->y(), w.ToolBar1->geometry().bottom());
    click(w.SB_Answer, w.SB_Answer->rect().center());
    EXPECT_EQ(w.Panel1->height(), 0);

    // A click on the bare tool bar, right of its last control, folds the panel away.
    click(w.SB_Answer, w.SB_Answer->rect().center());
    ASSERT_TRUE(w.Panel1->isVisible());
    const QPoint bare(w.ToolBar1->width() - 4, w.ToolBar1->height() / 2);
    ASSERT_EQ(w.ToolBar1->childAt(bare), nullptr);
    click(w.ToolBar1, bare);
    EXPECT_EQ(w.Panel1->height(), 0);
    EXPECT_FALSE(w.Panel1->isVisible());

    w.Ck_Def->setChecked(true);
    EXPECT_TRUE(w.Sb_ShowAnswer->isChecked());
    w.Ck_Def->setChecked(false);
    EXPECT_TRUE(w.Sb_ShowAnswer->isChecked());
}

TEST_F(MainWindow, CommandLineDeckIsOpenedAndAMissingOneIgnored)
{
    folder.write("decks/deck.gsd", DeckLine("pear", "3") + DeckLine("fig", "0"));
    TF_Main &w = Start({QString::fromStdString(DeckPath("deck.gsd")), QStringLiteral("ignored")});
    EXPECT_EQ(w.ListBox1->count(), 2);
    EXPECT_EQ(w.ListBox1->item(0)->text(), "fig");
    EXPECT_EQ(w.StatusText().toStdString(), DeckPath("deck.gsd") + " loaded.");
    EXPECT_TRUE(w.DeckLoaded);
    EXPECT_FALSE(w.Untitled);
    Abandon();
    TF_Main &missing = Start({QString::fromStdString(DeckPath("none.gsd"))});
    EXPECT_EQ(missing.StatusText(), "New file loaded");
    EXPECT_TRUE(Scripted().shown.empty());
}
