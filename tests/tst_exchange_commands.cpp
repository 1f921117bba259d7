// File > Import and Export as a user meets them: the dialogs, the new Deck opened, the summary,
// the progress of a long import, and failures that change nothing.
#include "support/MainWindowFixture.h"

#include <QProgressDialog>

namespace {

class ExchangeCommands : public MainWindowTest {
protected:
    std::vector<ShownBox> Boxes(ShownBox::Kind kind) const
    {
        std::vector<ShownBox> boxes;
        for (const ShownBox &box : Scripted().shown)
            if (box.kind == kind)
                boxes.push_back(box);
        return boxes;
    }
};

// Counts the progress dialogs that come on screen.
class ProgressWatch : public QObject {
public:
    ProgressWatch() { qApp->installEventFilter(this); }
    ~ProgressWatch() override { qApp->removeEventFilter(this); }
    int shown = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QProgressDialog *>(watched))
            ++shown;
        return false;
    }
};

} // namespace

TEST_F(ExchangeCommands, TheFileMenuHoldsThemAfterSaveAs)
{
    TF_Main &w = Start();
    QStringList texts;
    for (const QAction *action : w.File1->actions())
        texts << action->text();
    EXPECT_EQ(texts.mid(0, 7), QStringList({"&New", "&Open", "Save &As", "&Import...", "&Export...", "", "E&xit"}));
}

TEST_F(ExchangeCommands, ImportOpensTheNewDeckAndSaysWhatCameIn)
{
    folder.write("list.csv", "Word,Definition,Frequency\nchat,cat,4\n,no word\nchien,dog,1\nchat,again,2\n");
    TF_Main &w = Start();
    Scripted().files = {folder.file("list.csv"), DeckPath("french.gsd")};
    w.Import1->trigger();
    EXPECT_EQ(Scripted().fileDialogs.at(1).defaultExt, "gsd");
    EXPECT_EQ(w.Store.WorkFileName, DeckPath("french.gsd"));
    EXPECT_EQ(Listed(), QStringList({"chat", "chien"}));
    ASSERT_EQ(Boxes(ShownBox::Information).size(), 1u);
    EXPECT_EQ(Boxes(ShownBox::Information)[0].text,
              "Items imported: 2\nItems skipped: 2 (empty word: 1, duplicate word: 1)\nMedia files copied: 0");
    EXPECT_EQ(w.StatusText().toStdString(), DeckPath("french.gsd") + " loaded.");

    // Declining to overwrite, or cancelling a dialog, changes nothing.
    const std::string before = folder.read("decks/french.gsd");
    Scripted().clear();
    Scripted().files = {folder.file("list.csv"), DeckPath("french.gsd"), std::nullopt};
    Scripted().answers = {MsgResult::No};
    w.Import1->trigger();
    w.Import1->trigger();
    EXPECT_EQ(Scripted().texts(), std::vector<std::string>{"The file exists. Would you like to overwrite the file?"});
    EXPECT_EQ(folder.read("decks/french.gsd"), before);
}

TEST_F(ExchangeCommands, AFileThatCannotBeReadLeavesTheOpenDeckAsItWas)
{
    folder.write("bad.kvtml", "<?xml version=\"1.0\"?><kvtml version=\"2.0\"><entries><entry>");
    TF_Main &w = StartWith(DeckLine("word", "2"));
    Scripted().files = {folder.file("bad.kvtml"), DeckPath("new.gsd")};
    w.Import1->trigger();
    ASSERT_EQ(Boxes(ShownBox::GeneralError).size(), 1u);
    EXPECT_NE(Boxes(ShownBox::GeneralError)[0].text.find("not well-formed"), std::string::npos);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(DeckPath("new.gsd"))));
    EXPECT_EQ(w.Store.WorkFileName, DeckPath("deck.gsd"));
    EXPECT_EQ(Listed(), QStringList({"word"}));
}

TEST_F(ExchangeCommands, ExportWritesTheOpenDeckInTheFormatItsNameSays)
{
    TF_Main &w = StartWith(DeckLine("cat", "3", "chat") + DeckLine("dog", "1", "chien"));
    Scripted().files = {folder.file("out.kvtml"), folder.file("out.doc")};
    w.Export1->trigger();
    EXPECT_NE(folder.read("out.kvtml").find("<text>chien</text>"), std::string::npos);
    EXPECT_EQ(Boxes(ShownBox::Information).at(0).text, "Items exported: 2");
    EXPECT_EQ(w.StatusText(), "Exported to out.kvtml");
    w.Export1->trigger();
    EXPECT_EQ(Boxes(ShownBox::Error).at(0).text,
              "The exported file's name must end in .apkg, .tsv, .txt, .csv or .kvtml, which tells its format.");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(folder.file("out.doc"))));
}

TEST_F(ExchangeCommands, AHundredThousandNotesShowProgress)
{
    std::string list;
    for (int i = 0; i < 100000; ++i)
        list += "word" + std::to_string(i) + "\tdefinition " + std::to_string(i) + "\n";
    folder.write("big.tsv", list);
    TF_Main &w = Start();
    ProgressWatch watch;
    Scripted().files = {folder.file("big.tsv"), DeckPath("big.gsd")};
    w.Import1->trigger();
    EXPECT_GE(watch.shown, 1);
    EXPECT_EQ(w.Store.ItemCount, 100000);
    EXPECT_EQ(Boxes(ShownBox::Information).at(0).text.substr(0, 22), "Items imported: 100000");
}
