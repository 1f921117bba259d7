// Decks in UTF-8 beside the code-page ones: reading, sorting, changing and converting them, byte
// for byte, through the store and through the real window.
#include "platform/CodePage.h"
#include "platform/MediaPlayer.h"
#include "support/MainWindowFixture.h"

#include <QTest>

namespace {

const std::string Mark = "\xEF\xBB\xBF";
const std::string P = "\xC2\xB6";   // "¶" in UTF-8

std::string Utf8Line(const std::string &word, const std::string &frequency, const std::string &definition = "",
                     const std::string &visual = "")
{
    return word + P + frequency + P + definition + P + visual + P + P + "\r\n";
}

std::string U8(const char8_t *text) { return reinterpret_cast<const char *>(text); }

class Utf8Decks : public MainWindowTest {
protected:
};

// Words of many scripts; "жук" holds the byte B6 of the separator inside its letter "ж".
const std::string Russian = U8(u8"жук"), Greek = U8(u8"λόγος"), Japanese = U8(u8"日本語"), Arabic = U8(u8"كتاب"),
                  Emoji = U8(u8"🐱 cat");

} // namespace

TEST_F(Utf8Decks, EveryScriptReadsSortsUpdatesAndDeletesByteForByte)
{
    const std::string others = Utf8Line(Greek, "3", U8(u8"слово")) + Utf8Line(Japanese, "1", U8(u8"にほんご")) +
                               Utf8Line(Arabic, "4") + Utf8Line(Emoji, "5", U8(u8"猫"));
    TF_Main &w = StartWith(Mark + Utf8Line(Russian, "2", U8(u8"жёлтый жук")) + others);
    EXPECT_EQ(w.Store.Text.Kind(), DeckKind::Utf8);
    EXPECT_EQ(w.Store.FileWords, (StringList{Russian, Greek, Japanese, Arabic, Emoji}));
    EXPECT_EQ(Listed().size(), 5);
    EXPECT_TRUE(Listed().contains(QString::fromUtf8(Japanese)));
    // The frequency order reads the second field behind the separator, not inside "ж".
    w.SortbyFrequency1Click();
    EXPECT_EQ(Listed(), (QStringList{QString::fromUtf8(Japanese), QString::fromUtf8(Russian), QString::fromUtf8(Greek),
                                     QString::fromUtf8(Arabic), QString::fromUtf8(Emoji)}));

    Select(QString::fromUtf8(Russian));
    EXPECT_EQ(w.T_Definition->text(), QString::fromUtf8(U8(u8"жёлтый жук")));
    EXPECT_EQ(w.L_Freq2->text(), "2");
    w.T_Definition->setText(QStringLiteral("beetle ж"));
    w.B_Add->click();
    EXPECT_EQ(Deck(), Mark + others + Utf8Line(Russian, "2", U8(u8"beetle ж")));

    Scripted().answers = {MsgResult::Yes};
    Select(QString::fromUtf8(Japanese));
    w.B_Delete->click();
    EXPECT_EQ(Scripted().shown.back().unicode, QString::fromUtf8(U8(u8"Are you sure you want to delete 日本語?")));
    EXPECT_EQ(Deck(), Mark + Utf8Line(Greek, "3", U8(u8"слово")) + Utf8Line(Arabic, "4") + Utf8Line(Emoji, "5", U8(u8"猫")) +
                          Utf8Line(Russian, "2", U8(u8"beetle ж")));

    // Save As keeps the kind and every byte.
    Scripted().files = {DeckPath("copy.gsd")};
    w.SaveAs1Click();
    EXPECT_EQ(folder.read("decks/copy.gsd"), Deck());
}

TEST_F(Utf8Decks, SortingFollowsTheLocaleAsInACodePageDeck)
{
    // The same words in both kinds of Deck come in the same order.
    const std::vector<QString> words = {"zebra", QStringLiteral("Äpfel"), "apple", QStringLiteral("éclair"), "Zoo", "eagle"};
    std::string codePage, utf8 = Mark;
    for (const QString &word : words) {
        codePage += DeckLine(ToAnsiLossy(word), "1");
        utf8 += Utf8Line(word.toUtf8().toStdString(), "1");
    }
    folder.write("decks/cp.gsd", codePage);
    TF_Main &w = StartWith(utf8);
    const QStringList unicodeOrder = Listed();
    w.OpenDeckQuiet(DeckPath("cp.gsd"));
    EXPECT_EQ(Listed(), unicodeOrder);
    EXPECT_EQ(unicodeOrder.first(), QStringLiteral("Äpfel"));
}

TEST_F(Utf8Decks, BytesThatAreNotUtf8ShowAsReplacementAndStayUntilTheirItemChanges)
{
    const std::string broken = Utf8Line("bad\xFF", "1", "half \xD0 of a letter");
    TF_Main &w = StartWith(Mark + broken + Utf8Line("good", "2"));
    EXPECT_EQ(Listed().first(), QStringLiteral("bad\uFFFD"));
    Select("good");
    w.T_Definition->setText("fine");
    w.B_Add->click();
    EXPECT_EQ(Deck(), Mark + broken + Utf8Line("good", "2", "fine"));
    // Changing only the frequency keeps the other fields' own bytes, and the old line goes.
    Select(QStringLiteral("bad\uFFFD"));
    EXPECT_EQ(w.T_Definition->text(), QStringLiteral("half \uFFFD of a letter"));
    w.TrackBar1->setValue(4);
    w.B_Add->click();
    EXPECT_EQ(Deck(), Mark + Utf8Line("good", "2", "fine") + Utf8Line("bad\xFF", "4", "half \xD0 of a letter"));
}

TEST_F(Utf8Decks, ACodePageDeckAsksBeforeItBecomesUtf8AndStaysByteForByteOtherwise)
{
    const std::string cafe = DeckLine("caf\xE9", "3", "coffee \x80 5", "C:\\pics\\caf\xE9.bmp");
    const std::string tail = "\x1A" "after the end \xE9";
    TF_Main &w = StartWith(cafe + DeckLine("dog", "2") + tail);
    // A field the code page holds changes nothing else: the Deck stays a code-page Deck.
    Fill(QStringLiteral("naïve"), QStringLiteral("¼ ü"));
    w.B_Add->click();
    const std::string codePage = cafe + DeckLine("dog", "2") + DeckLine("na\xEFve", "2", "\xBC \xFC") + tail;
    EXPECT_EQ(Deck(), codePage);

    Fill(QStringLiteral("дом"), "house");
    Scripted().answers = {MsgResult::No};
    w.B_Add->click();
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::Confirmation);
    EXPECT_EQ(Scripted().shown[0].unicode,
              QStringLiteral("This Deck's code page cannot hold д. Convert the Deck to Unicode (UTF-8)?"));
    EXPECT_EQ(Deck(), codePage);

    Scripted().answers = {MsgResult::Yes};
    w.B_Add->click();
    EXPECT_EQ(Deck(), Mark + Utf8Line(U8(u8"café"), "3", U8(u8"coffee € 5"), U8(u8"C:\\pics\\café.bmp")) +
                          Utf8Line("dog", "2") + Utf8Line(U8(u8"naïve"), "2", U8(u8"¼ ü")) +
                          Utf8Line(U8(u8"дом"), "2", "house") + tail);
    EXPECT_EQ(Listed(), (QStringList{QStringLiteral("café"), "dog", QStringLiteral("naïve"), QStringLiteral("дом")}));
    // A UTF-8 Deck stays one and asks nothing more.
    Fill("dog", QStringLiteral("犬"));
    w.B_Add->click();
    EXPECT_EQ(Scripted().shown.size(), 2u);
    EXPECT_EQ(Deck().substr(0, 3), Mark);

    // New starts a code-page scratch Deck again.
    w.SB_NewClick();
    Fill("cat", "chat");
    w.B_Add->click();
    EXPECT_EQ(folder.read("program/tempfile.gsd"), DeckLine("cat", "2", "chat"));
}

TEST_F(Utf8Decks, AThaiLetterOnTheSeparatorsByteAsksToo)
{
    SetAnsiCodePage(874);
    TF_Main &w = StartWith(DeckLine("\xA1", "1"));
    Fill(QStringLiteral("ก"), QStringLiteral("ถนน"));   // ถ is the byte B6 in code page 874
    Scripted().answers = {MsgResult::Yes};
    w.B_Add->click();
    EXPECT_EQ(Scripted().shown.at(0).unicode,
              QStringLiteral("This Deck's code page cannot hold ถ. Convert the Deck to Unicode (UTF-8)?"));
    EXPECT_EQ(Deck(), Mark + Utf8Line(U8(u8"ก"), "2", U8(u8"ถนน")));
}

TEST_F(Utf8Decks, TheStudyPageShowsAJapaneseWordAndItsPicturePath)
{
    const std::string picture = folder.file(U8(u8"decks/絵.png"));
    WriteWholeFile(picture, ReadWholeFile(std::string(GLOSSAD_SOURCE_DIR) + "/tests/data/pictures/alpha.png"));
    TF_Main &w = StartWith(Mark + Utf8Line(Japanese, "2", U8(u8"にほんご"), U8(u8"絵.png")));
    w.MediaPlayer1->SetUseNullOutput(true);
    w.PageControl1->setCurrentWidget(w.Tb_Study);
    w.Ck_Def->setChecked(true);
    w.Ck_Visual->setChecked(true);
    w.B_Go->click();
    EXPECT_EQ(w.L_WordQ->text(), QString::fromUtf8(Japanese));
    w.B_Go->click();
    EXPECT_EQ(w.M_Def->toPlainText(), QString::fromUtf8(U8(u8"にほんご")));
    EXPECT_TRUE(w.Image1->isVisible());
    EXPECT_EQ(w.Image1->Picture().Width(), 16);
    EXPECT_EQ(w.Image1->accessibleName(), QString::fromUtf8(U8(u8"絵.png")));
    EXPECT_TRUE(Scripted().shown.empty());
}
