#include "platform/FileTypeRegistration.h"
#include "platform/IniFile.h"
#include "platform/MediaPlayer.h"
#include "app/AboutBox.h"
#include "support/MainWindowFixture.h"
#include "support/OrdinaryUser.h"

#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>

namespace {

class FileCommands : public MainWindowTest {
protected:
    void AddItem(const QString &word)
    {
        window->T_word->setText(word);
        window->B_Add->click();
    }
    std::string Scratch() const { return folder.read("program/tempfile.gsd"); }
    QStringList RecentCaptions() const
    {
        QStringList captions;
        const auto actions = window->File1->actions();
        for (qsizetype i = actions.indexOf(window->EXit1) + 1; i < actions.size(); ++i)
            captions << actions[i]->text();
        return captions;
    }
    std::string MakeDeck(const std::string &name, const std::string &content = DeckLine("word", "2"))
    {
        folder.write("decks/" + name, content);
        return DeckPath(name);
    }
};

} // namespace

TEST_F(FileCommands, NewAfterAddingToTheScratchFileAnsweredNo)
{
    TF_Main &w = Start();
    AddItem("cat");
    Scripted().answers = {MsgResult::No};
    w.SB_New->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"The file has modified. Would you like to save the file?"});
    EXPECT_EQ(Scratch(), "");
    EXPECT_EQ(w.ListBox1->count(), 0);
    EXPECT_EQ(w.StatusText(), "New file loaded.");
    EXPECT_EQ(w.Store.ItemCount, 0);
    // An emptied scratch file has nothing to save.
    EXPECT_FALSE(w.Modified);
    w.SB_New->click();
    EXPECT_EQ(Scripted().shown.size(), 1u);
}

TEST_F(FileCommands, CancelOrACancelledSaveKeepsTheScratchItems)
{
    TF_Main &w = Start();
    AddItem("cat");
    Scripted().answers = {MsgResult::Cancel, MsgResult::Yes};
    Scripted().files = {std::nullopt};
    w.New1->trigger();
    w.New1->trigger();
    EXPECT_EQ(Scratch(), DeckLine("cat", "2"));
    EXPECT_EQ(w.ListBox1->count(), 1);
}

TEST_F(FileCommands, NoQuestionAfterAddingToANamedDeck)
{
    TF_Main &w = Start({QString::fromStdString(MakeDeck("named.gsd"))});
    AddItem("cat");
    w.SB_New->click();
    EXPECT_TRUE(Scripted().shown.empty());
    EXPECT_EQ(folder.read("decks/named.gsd"), DeckLine("word", "2") + DeckLine("cat", "2"));
    EXPECT_FALSE(w.DeckLoaded);
    EXPECT_TRUE(w.Untitled);
}

TEST_F(FileCommands, NewClearsTheStudyPage)
{
    TF_Main &w = Start({QString::fromStdString(MakeDeck("named.gsd", DeckLine("cat", "2", "feline")))});
    w.MediaPlayer1->SetUseNullOutput(true);
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    w.B_Go->click();
    ASSERT_TRUE(w.State->isVisible());
    w.SB_New->click();
    EXPECT_FALSE(w.State->isVisible());
    EXPECT_FALSE(w.L_WordQ->isVisible());
    EXPECT_FALSE(w.Image1->isVisible());
    EXPECT_TRUE(w.M_Def->toPlainText().isEmpty());
    // Adding a word of the previous Deck after New adds it normally.
    AddItem("cat");
    EXPECT_EQ(Scratch(), DeckLine("cat", "2"));
}

TEST_F(FileCommands, OpenADeckInAnotherFolder)
{
    QDir().mkpath(QString::fromStdString(folder.file("decks/far")));
    const std::string deck = MakeDeck("far/away.gsd");
    TF_Main &w = Start();
    Scripted().files = {deck};
    w.SB_Open->click();
    EXPECT_EQ(QDir::currentPath().toStdString(), folder.file("decks/far"));
    EXPECT_EQ(w.StatusText().toStdString(), deck + " loaded.");
    EXPECT_EQ(RecentCaptions(), QStringList{QString::fromStdString("&1 " + deck)});
    EXPECT_EQ(w.ListBox1->count(), 1);
    EXPECT_EQ(Scripted().fileDialogs[0].filter, "Glossadrome Data Files [*.gsd]|*.gsd");
    EXPECT_EQ(Scripted().fileDialogs[0].defaultExt, "");
}

TEST_F(FileCommands, OpenOfAMissingFileAndCancel)
{
    TF_Main &w = Start();
    Scripted().files = {folder.file("decks/none.gsd"), std::nullopt};
    w.SB_Open->click();
    w.SB_Open->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"File not found"});
    EXPECT_EQ(w.StatusText(), "New file loaded");
    EXPECT_TRUE(w.RecentFiles.empty());
}

TEST_F(FileCommands, ReopeningAndRecentOrder)
{
    TF_Main &w = Start();
    std::vector<std::string> decks;
    for (int i = 1; i <= 6; ++i)
        decks.push_back(MakeDeck("d" + std::to_string(i) + ".gsd"));
    for (const auto &deck : decks) {
        Scripted().files = {deck};
        w.SB_Open->click();
    }
    ASSERT_EQ(w.RecentFiles.size(), 5u);
    EXPECT_EQ(w.RecentFiles.front(), decks[5]);
    EXPECT_EQ(w.RecentFiles.back(), decks[1]);
    EXPECT_EQ(RecentCaptions().size(), 5);
    // Opening the Deck already open re-reads it and moves it to the top.
    folder.write("decks/d3.gsd", DeckLine("fresh", "1") + DeckLine("more", "2"));
    Scripted().files = {decks[2]};
    w.SB_Open->click();
    EXPECT_EQ(w.RecentFiles.front(), decks[2]);
    EXPECT_EQ(w.ListBox1->count(), 2);
    EXPECT_EQ(RecentCaptions().first(), QString::fromStdString("&1 " + decks[2]));
    EXPECT_EQ(RecentCaptions().size(), 5);
}

TEST_F(FileCommands, LetterCaseGivesASecondEntry)
{
    const std::string deck = MakeDeck("Case.gsd");
    MakeDeck("case.gsd");
    TF_Main &w = Start();
    Scripted().files = {deck, DeckPath("case.gsd")};
    w.SB_Open->click();
    w.SB_Open->click();
    EXPECT_EQ(w.RecentFiles.size(), 2u);
}

TEST_F(FileCommands, SaveAsInTheScratchState)
{
    TF_Main &w = Start();
    AddItem("cat");
    Scripted().files = {DeckPath("kept.gsd")};
    w.SaveAs1->trigger();
    EXPECT_EQ(w.StatusText(), "File saved as kept.gsd");
    EXPECT_EQ(folder.read("decks/kept.gsd"), DeckLine("cat", "2"));
    EXPECT_FALSE(w.Modified);
    EXPECT_FALSE(w.Untitled);
    EXPECT_EQ(w.Store.WorkFileName, DeckPath("kept.gsd"));
    EXPECT_EQ(w.RecentFiles.front(), DeckPath("kept.gsd"));
    EXPECT_EQ(Scratch(), DeckLine("cat", "2"));
    EXPECT_EQ(Scripted().fileDialogs[0].filter, "Glossadrome Data File [*.gsd]|*.gsd");
    EXPECT_EQ(Scripted().fileDialogs[0].defaultExt, "gsd");
    // A later Open asks no save question.
    Scripted().files = {MakeDeck("other.gsd")};
    w.SB_Open->click();
    EXPECT_TRUE(Scripted().shown.empty());
}

TEST_F(FileCommands, SaveAsOverAnExistingFile)
{
    TF_Main &w = Start();
    AddItem("cat");
    MakeDeck("there.gsd", "keep me\r\n");
    Scripted().files = {DeckPath("there.gsd"), DeckPath("there.gsd"), DeckPath("there.gsd")};
    Scripted().answers = {MsgResult::No, MsgResult::Cancel, MsgResult::Yes};
    w.SaveAs1->trigger();
    w.SaveAs1->trigger();
    EXPECT_EQ(folder.read("decks/there.gsd"), "keep me\r\n");
    EXPECT_TRUE(w.Untitled);
    w.SaveAs1->trigger();
    EXPECT_EQ(folder.read("decks/there.gsd"), DeckLine("cat", "2"));
    EXPECT_EQ(Scripted().texts(),
              std::vector<std::string>(3, "The file exists. Would you like to overwrite the file?"));
}

TEST_F(FileCommands, SaveAsOntoTheWorkingFileItself)
{
    TF_Main &w = Start({QString::fromStdString(MakeDeck("self.gsd", DeckLine("a", "1") + DeckLine("b", "2")))});
    Scripted().files = {DeckPath("self.gsd")};
    Scripted().answers = {MsgResult::Yes};
    w.SaveAs1->trigger();
    EXPECT_EQ(folder.read("decks/self.gsd"), DeckLine("a", "1") + DeckLine("b", "2"));
}

TEST_F(FileCommands, RecentEntryOfADeletedFile)
{
    const std::string deck = MakeDeck("gone.gsd");
    folder.write("program/glossad.ini", "[Recent]\r\nFile0=" + deck + "\r\n");
    TF_Main &w = Start();
    ASSERT_EQ(RecentCaptions(), QStringList{QString::fromStdString("&1 " + deck)});
    std::remove(deck.c_str());
    w.recentmenu[0]->trigger();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"File not found."});
    EXPECT_EQ(w.RecentFiles, StringList{deck});
    MakeDeck("gone.gsd");
    w.recentmenu[0]->trigger();
    EXPECT_EQ(w.StatusText().toStdString(), deck + " loaded.");
}

TEST_F(FileCommands, RecentListSurvivesARestart)
{
    TF_Main &w = Start();
    for (const char *name : {"r1.gsd", "r2.gsd", "r3.gsd"}) {
        Scripted().files = {MakeDeck(name)};
        w.SB_Open->click();
    }
    Close();
    TF_Main &again = Start();
    EXPECT_EQ(again.RecentFiles, (StringList{DeckPath("r3.gsd"), DeckPath("r2.gsd"), DeckPath("r1.gsd")}));
    EXPECT_EQ(RecentCaptions().size(), 3);
}

TEST_F(FileCommands, ADeckPathWithALineBreakOpensButIsNotRemembered)
{
    const std::string deck = MakeDeck("a\n[Options]\nQuestion=7\n.gsd", DeckLine("cat", "2"));
    TF_Main &w = Start({QString::fromStdString(deck)});
    EXPECT_EQ(w.Store.WorkFileName, deck);
    EXPECT_EQ(w.ListBox1->count(), 1);
    EXPECT_TRUE(w.RecentFiles.empty());
    w.Cb_Questions->setCurrentIndex(1);
    Close();
    const std::string settings = folder.read("program/glossad.ini");
    EXPECT_EQ(settings.find("Question=7"), std::string::npos) << settings;
    EXPECT_EQ(TIniFile(folder.file("program/glossad.ini")).ReadInteger("Options", "Question", 0), 1);
    EXPECT_TRUE(Scripted().shown.empty());
}

TEST_F(FileCommands, CommandLinePathWithoutFolderIsResolvedAgainstTheCurrentFolder)
{
    MakeDeck("here.gsd");
    QDir::setCurrent(QString::fromStdString(folder.file("decks")));
    TF_Main &w = Start({QStringLiteral("here.gsd")});
    EXPECT_EQ(w.Store.WorkFileName, DeckPath("here.gsd"));
    EXPECT_EQ(QDir::currentPath().toStdString(), folder.file("decks"));
}

TEST_F(FileCommands, RegistrationIsWrittenOnceAndRewrittenWhenIncomplete)
{
    Start();
    const FileTypeRegistration registration = CurrentFileTypeRegistration();
    EXPECT_EQ(registration.dataFolder, folder.file("xdg/XDG_DATA_HOME"));
    const std::string desktop = ReadWholeFile(registration.DesktopEntryPath());
    EXPECT_NE(desktop.find("Exec=\"" + registration.programPath + "\" %f"), std::string::npos);
    EXPECT_NE(desktop.find("MimeType=application/x-glossadrome-deck;"), std::string::npos);
    EXPECT_NE(ReadWholeFile(registration.MimePackagePath()).find("<glob pattern=\"*.gsd\"/>"), std::string::npos);
    EXPECT_FALSE(ReadWholeFile(registration.DeckIconPath()).empty());
    Abandon();

    // A second start, as if from another folder: nothing is written.
    WriteWholeFile(registration.DesktopEntryPath(), "user's own entry");
    FileTypeRegistration elsewhere = registration;
    elsewhere.programPath = "/another/glossad";
    EXPECT_FALSE(elsewhere.Register());
    EXPECT_EQ(ReadWholeFile(registration.DesktopEntryPath()), "user's own entry");

    // Only one part there: everything is written again.
    std::remove(registration.MimePackagePath().c_str());
    EXPECT_TRUE(elsewhere.Register());
    EXPECT_NE(ReadWholeFile(registration.DesktopEntryPath()).find("Exec=\"/another/glossad\" %f"), std::string::npos);
}

TEST_F(FileCommands, AFailedRegistrationIsReportedAfterTheStart)
{
    // A file where the applications folder should be makes the desktop entry unwritable.
    folder.write("xdg/XDG_DATA_HOME/applications", "");
    folder.write("decks/deck.gsd", DeckLine("cat", "2"));
    TF_Main &w = Start({QString::fromStdString(DeckPath("deck.gsd"))});
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::GeneralError);
    EXPECT_EQ(Scripted().shown[0].text.rfind("Failed to set data for '", 0), 0u);
    EXPECT_EQ(w.ListBox1->count(), 1);
}

TEST_F(FileCommands, TheDesktopKnowsTheDeckType)
{
    const QString mimeTool = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (mimeTool.isEmpty() || xdgMime.isEmpty())
        GTEST_SKIP() << "no shared-mime-info or xdg-utils";
    // The start has refreshed the desktop's database by the time the window is up.
    Start();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder.file("xdg/XDG_DATA_HOME/mime/mime.cache"))));
    MakeDeck("demo.gsd");
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("filetype"), QString::fromStdString(DeckPath("demo.gsd"))});
    ASSERT_TRUE(query.waitForFinished(20000));
    EXPECT_EQ(query.readAllStandardOutput().trimmed().toStdString(), "application/x-glossadrome-deck");
}

TEST_F(FileCommands, AboutBoxShowsOnceAndOKHidesIt)
{
    TF_Main &w = Start();
    w.About1->trigger();
    w.About1->trigger();
    EXPECT_TRUE(w.AboutBox->isVisible());
    EXPECT_FALSE(w.AboutBox->isModal());
    EXPECT_EQ(w.findChildren<TAboutBox *>().size(), 1);
    EXPECT_EQ(w.AboutBox->windowTitle(), "About Glossadrome");
    EXPECT_EQ(w.AboutBox->size(), QSize(324, 334));
    EXPECT_EQ(w.AboutBox->ProductName->text(), "Glossadrome");
    EXPECT_EQ(w.AboutBox->Version->text(), "1.0");
    EXPECT_EQ(w.AboutBox->ProgramIcon->size(), QSize(289, 153));
    EXPECT_TRUE(w.AboutBox->Label2->font().underline());
    w.AboutBox->OKButton->click();
    EXPECT_FALSE(w.AboutBox->isVisible());
    w.About1->trigger();
    EXPECT_TRUE(w.AboutBox->isVisible());
}

TEST_F(FileCommands, SaveAsOntoFilesTheUserCannotReadOrWrite)
{
    RUN_AS_ORDINARY_USER();
    TF_Main &w = Start();
    AddItem("cat");
    // Unreadable but writable: it exists all the same, so the question comes first.
    MakeDeck("unreadable.gsd", "keep me\r\n");
    ::chmod(DeckPath("unreadable.gsd").c_str(), 0200);
    Scripted().files = {DeckPath("unreadable.gsd")};
    Scripted().answers = {MsgResult::No};
    w.SaveAs1->trigger();
    ::chmod(DeckPath("unreadable.gsd").c_str(), 0600);
    EXPECT_EQ(folder.read("decks/unreadable.gsd"), "keep me\r\n");
    // Readable but not writable: refused after the question, nothing written, nothing changed.
    MakeDeck("locked.gsd", "keep me\r\n");
    ::chmod(DeckPath("locked.gsd").c_str(), 0444);
    Scripted().files = {DeckPath("locked.gsd")};
    Scripted().answers = {MsgResult::Yes};
    w.SaveAs1->trigger();
    EXPECT_EQ(folder.read("decks/locked.gsd"), "keep me\r\n");
    EXPECT_EQ(Scripted().texts(), (std::vector<std::string>{"The file exists. Would you like to overwrite the file?",
                                                            "The file exists. Would you like to overwrite the file?",
                                                            "Cannot create file " + DeckPath("locked.gsd") + "."}));
    EXPECT_TRUE(w.Untitled);
    EXPECT_TRUE(w.Modified);
    EXPECT_EQ(w.Store.WorkFileName, ProgramFile("tempfile.gsd"));
    EXPECT_TRUE(w.RecentFiles.empty());
}

TEST_F(FileCommands, PathsOutsideTheCodePageKeepTheirOwnBytes)
{
    const std::string japanese = DeckPath("\xE6\x97\xA5\xE6\x9C\xAC.gsd");
    TF_Main &w = Start();
    AddItem("cat");
    Scripted().files = {japanese};
    w.SaveAs1->trigger();
    EXPECT_EQ(ReadWholeFile(japanese), DeckLine("cat", "2"));
    EXPECT_EQ(w.StatusText(), QStringLiteral("File saved as 日本.gsd"));
    EXPECT_EQ(w.Store.WorkFileName, japanese);
    Close();
    // The recent list keeps the bytes through the settings file.
    TF_Main &again = Start();
    ASSERT_EQ(again.RecentFiles, StringList{japanese});
    EXPECT_EQ(RecentCaptions(), QStringList{QStringLiteral("&1 ") + QString::fromUtf8(japanese)});
    again.recentmenu[0]->trigger();
    EXPECT_EQ(again.Store.WorkFileName, japanese);
    EXPECT_EQ(again.ListBox1->count(), 1);
    Abandon();
    // A name that is not even UTF-8, given relative to the current folder on the command line.
    MakeDeck("caf\xE9.gsd", DeckLine("latin", "1"));
    QDir::setCurrent(QString::fromStdString(folder.file("decks")));
    window = std::make_unique<TF_Main>(std::vector<std::string>{"caf\xE9.gsd"});
    window->show();
    EXPECT_EQ(window->Store.WorkFileName, DeckPath("caf\xE9.gsd"));
    EXPECT_EQ(window->ListBox1->count(), 1);
}

TEST_F(FileCommands, SaveAsWhoseCopyFailsChangesNothing)
{
    TF_Main &w = Start();
    AddItem("cat");
    const std::string scratch = w.Store.WorkFileName;
    const StringList recent = w.RecentFiles;
    // The chosen folder has gone by the time the copy starts.
    Scripted().files = {folder.file("decks/gone/kept.gsd")};
    w.SaveAs1->trigger();
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::GeneralError);
    EXPECT_EQ(w.Store.WorkFileName, scratch);
    EXPECT_TRUE(w.Modified);
    EXPECT_TRUE(w.Untitled);
    EXPECT_EQ(w.RecentFiles, recent);
    EXPECT_EQ(RecentCaptions(), QStringList{});
    EXPECT_EQ(Scratch(), DeckLine("cat", "2"));
    EXPECT_EQ(w.StatusText(), "New file loaded");
}

TEST_F(FileCommands, SavePromptAnsweredYesSavesAndTheCommandGoesOn)
{
    TF_Main &w = Start();
    AddItem("cat");
    const std::string other = MakeDeck("other.gsd", DeckLine("dog", "1"));
    Scripted().answers = {MsgResult::Yes};
    Scripted().files = {DeckPath("kept.gsd"), other};
    w.SB_Open->click();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"The file has modified. Would you like to save the file?"});
    EXPECT_EQ(folder.read("decks/kept.gsd"), DeckLine("cat", "2"));
    ASSERT_EQ(Scripted().fileDialogs.size(), 2u);
    EXPECT_EQ(Scripted().fileDialogs[0].filter, TF_Main::DeckSaveFilter);
    EXPECT_EQ(Scripted().fileDialogs[1].filter, TF_Main::DeckOpenFilter);
    EXPECT_EQ(w.Store.WorkFileName, other);
    EXPECT_EQ(w.StatusText().toStdString(), other + " loaded.");
    EXPECT_EQ(w.RecentFiles, (StringList{other, DeckPath("kept.gsd")}));
    EXPECT_FALSE(w.Modified);
    ASSERT_EQ(w.ListBox1->count(), 1);
    EXPECT_EQ(w.ListBox1->item(0)->text(), "dog");
}
