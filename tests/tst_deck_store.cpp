#include "app/DeckStore.h"
#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "support/ScriptedDialogs.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"
#include "support/TinyDisk.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {

const std::string S = "\xB6";

std::string Line(const std::string &word, const std::string &freq, const std::string &def = "")
{
    return word + S + freq + S + def + S + S + S + "\r\n";
}

class DeckStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetAnsiCodePage(1252);
        store.Bind(folder.file("deck.gsd"));
    }
    void Write(const std::string &bytes) { folder.write("deck.gsd", bytes); }
    std::string Content() const { return folder.read("deck.gsd"); }
    StringList Fill(bool ascending, bool noSort, bool byWord)
    {
        store.FillWordList(ascending, noSort, byWord);
        return store.WorkList;
    }
    size_t ErrorBoxes() const
    {
        size_t count = 0;
        for (const auto &box : Scripted().shown)
            count += box.kind == ShownBox::Error && box.text == "error occured";
        return count;
    }

    TempFolder folder;
    DeckStore store;
};

} // namespace

TEST_F(DeckStoreTest, EmptyFileHasNoItems)
{
    Write("");
    EXPECT_EQ(Fill(true, false, true), StringList{});
    EXPECT_EQ(store.ItemCount, 0);
    EXPECT_TRUE(store.FileWords.empty());
    EXPECT_TRUE(Scripted().shown.empty());
}

TEST_F(DeckStoreTest, WordOrders)
{
    Write(Line("pear", "3") + Line("fig", "0") + Line("Apple", "3") + Line("apple", "1") + Line("banana", "5"));
    const StringList ascending = Fill(true, false, true);
    ASSERT_EQ(ascending.size(), 5u);
    EXPECT_TRUE((ascending[0] == "apple" && ascending[1] == "Apple") || (ascending[0] == "Apple" && ascending[1] == "apple"));
    EXPECT_EQ(StringList(ascending.begin() + 2, ascending.end()), (StringList{"banana", "fig", "pear"}));
    // Descending is the exact reverse of ascending, ties included.
    StringList descending = Fill(false, false, true);
    std::reverse(descending.begin(), descending.end());
    EXPECT_EQ(descending, ascending);
    // "No Sort" keeps file order; ascending wins over it.
    EXPECT_EQ(Fill(false, true, true), (StringList{"pear", "fig", "Apple", "apple", "banana"}));
    EXPECT_EQ(Fill(true, true, true), ascending);
    EXPECT_EQ(store.FileWords, (StringList{"pear", "fig", "Apple", "apple", "banana"}));
    EXPECT_EQ(store.ItemCount, 5);
}

TEST_F(DeckStoreTest, FrequencyOrdersSortByDigitThenWord)
{
    Write(Line("pear", "3") + Line("fig", "0") + Line("apple", "3"));
    EXPECT_EQ(Fill(true, false, false), (StringList{"fig", "apple", "pear"}));
    EXPECT_EQ(Fill(false, false, false), (StringList{"pear", "apple", "fig"}));
    // No Sort plays no part when sorting by frequency.
    EXPECT_EQ(Fill(false, true, false), (StringList{"pear", "apple", "fig"}));
    EXPECT_TRUE(Scripted().shown.empty());
    // An empty frequency sorts as 0, and the word keeps its first letter.
    Write(Line("pear", "3") + Line("word", "") + Line("fig", "1"));
    EXPECT_EQ(Fill(true, false, false), (StringList{"word", "fig", "pear"}));
}

TEST_F(DeckStoreTest, ShortLinesGiveEmptyEntriesAndOneMessageEach)
{
    // No separator at all: empty word, no message.
    Write("lonely\r\n" + Line("kiwi", "2"));
    EXPECT_EQ(Fill(false, true, true), (StringList{"", "kiwi"}));
    EXPECT_EQ(ErrorBoxes(), 0u);
    // Word and one separator: sorting by frequency shows one message, for all such lines.
    Write("short" + S + "\r\n" + Line("kiwi", "2") + "tiny" + S + "\r\n");
    const StringList byFrequency = Fill(true, false, false);
    EXPECT_EQ(ErrorBoxes(), 1u);
    EXPECT_EQ(byFrequency.size(), 3u);
    Scripted().clear();
    Fill(true, false, true);
    EXPECT_EQ(ErrorBoxes(), 0u);
}

TEST_F(DeckStoreTest, ReadColumnReadsEveryField)
{
    Write("w" + S + "4" + S + "d" + S + "v.bmp" + S + "a.wav" + S + "\r\n" + "x" + S + "1" + S + "\r\n");
    StringList column;
    for (int n = 1; n <= 5; ++n) {
        Scripted().clear();
        TextLineReader file(folder.file("deck.gsd"));
        store.ReadColumn(file, column, n);
        ASSERT_EQ(column.size(), 2u);
        EXPECT_EQ(column[0], (StringList{"w", "4", "d", "v.bmp", "a.wav"}[size_t(n - 1)]));
        // The second line has two separators: fields 3 to 5 are missing.
        EXPECT_EQ(ErrorBoxes(), n >= 3 ? 1u : 0u) << n;
    }
}

TEST_F(DeckStoreTest, SplitLine)
{
    StringList fields;
    DeckStore::SplitLine("w" + S + "2" + S + "d" + S + "v" + S + "a" + S, fields, S);
    EXPECT_EQ(fields, (StringList{"w", "2", "d", "v", "a"}));
    DeckStore::SplitLine("w" + S + "2" + S + "d" + S + "v" + S + "a" + S + "extra", fields, S);
    EXPECT_EQ(fields.size(), 6u);
    EXPECT_EQ(fields[5], "extra");
    DeckStore::SplitLine("w" + S + "2" + S + "d" + S + "v" + S + "a", fields, S);
    EXPECT_EQ(fields, (StringList{"w", "2", "d", "v", "a"}));
    DeckStore::SplitLine(S + S, fields, S);
    EXPECT_EQ(fields, (StringList{"", ""}));
    DeckStore::SplitLine("", fields, S);
    EXPECT_TRUE(fields.empty());
}

TEST_F(DeckStoreTest, DeleteWordLineDeletesTheFirstExactMatchOnly)
{
    const std::string deck = Line("cat", "1") + Line("dog", "2") + Line("cat", "3");
    Write(deck);
    Fill(false, true, true);
    store.DeleteWordLine("Cat");
    EXPECT_EQ(Content(), deck);
    store.DeleteWordLine("cat");
    EXPECT_EQ(Content(), Line("dog", "2") + Line("cat", "3"));
    store.DeleteWordLine("nothing");
    EXPECT_EQ(Content(), Line("dog", "2") + Line("cat", "3"));
}

TEST_F(DeckStoreTest, DeleteCountsLinesAsTheWordListDoes)
{
    // An LF-only break inside a line is part of that line; text after an end-of-file mark is kept.
    Write(Line("one", "1") + "two" + S + "\n2" + S + S + S + S + "\r\n" + Line("three", "3") + "\x1A" + "hidden");
    Fill(false, true, true);
    ASSERT_EQ(store.FileWords, (StringList{"one", "two", "three"}));
    store.DeleteWordLine("three");
    EXPECT_EQ(Content(), Line("one", "1") + "two" + S + "\n2" + S + S + S + S + "\r\n" + "\x1A" + "hidden");
}

TEST_F(DeckStoreTest, DeleteEndsEveryKeptLineWithCRLF)
{
    Write("a" + S + "\r" + Line("b", "2") + "c" + S + "\x1A" + "\rhidden");
    EXPECT_EQ(store.DeleteAllWordLines("b"), 1);
    EXPECT_EQ(Content(), "a" + S + "\r\n" + "c" + S + "\r\n" + "\x1A" + "\rhidden");
    EXPECT_EQ(store.DeleteAllWordLines("b"), 0);
}

TEST_F(DeckStoreTest, DeleteWordLineGoesByTheFileNotByAStaleList)
{
    Write(Line("cat", "1") + Line("dog", "2"));
    Fill(false, true, true);
    // The list as the close step leaves it: no words, the old count.
    store.FileWords.clear();
    store.DeleteWordLine("dog");
    EXPECT_EQ(Content(), Line("cat", "1"));
    // The file changed outside the program: the line the list names holds another word now.
    Write(Line("eel", "0") + Line("cat", "1"));
    store.DeleteWordLine("cat");
    EXPECT_EQ(Content(), Line("eel", "0"));
}

TEST_F(DeckStoreTest, StoreItemAddsAfterTheLastLineAndBeforeAnEndOfFileMark)
{
    const std::string added = Line("new", "2");
    for (auto [before, after] : std::initializer_list<std::pair<std::string, std::string>>{
             {"", added},
             {"old\r\n", "old\r\n" + added},
             {"old", "old\r\n" + added},
             {"old\r", "old\r\n" + added},
             {"old\n", "old\n\r\n" + added},
             // Behind a mark the reader sees nothing: the new line goes before it, whatever follows
             // the mark stays, and every line before it gets its CR LF.
             {"old\r\n\x1A", "old\r\n" + added + "\x1A"},
             {"old\x1A", "old\r\n" + added + "\x1A"},
             {"a\rb\x1A" "c\r\nd", "a\r\nb\r\n" + added + "\x1A" "c\r\nd"}}) {
        Write(before);
        store.StoreItem({"new", "2", "", "", ""});
        EXPECT_EQ(Content(), after) << before;
        EXPECT_EQ(Fill(false, true, true).back(), "new") << before;
    }
    store.StoreItem({"b", "0", "def", "/p/v.bmp", "a.wav"});
    EXPECT_EQ(store.ReadLineAt(3), "b" + S + "0" + S + "def" + S + "/p/v.bmp" + S + "a.wav" + S);
    EXPECT_EQ(store.ReadLineAt(7), "");
}

TEST_F(DeckStoreTest, UpdateReplacesTheLineInOneRewrite)
{
    Write(Line("cat", "1") + "lone\rdog" + S + "2" + S + S + S + S + "\r\n" + "last" + S);
    Fill(false, true, true);
    store.StoreItem({"cat", "4", "feline", "", ""});
    // Kept lines each end in CR LF now; the updated Item comes last.
    EXPECT_EQ(Content(), "lone\r\n" + Line("dog", "2") + "last" + S + "\r\n" + Line("cat", "4", "feline"));
}

TEST_F(DeckStoreTest, ADeckGoneFromDiskIsReportedAndNotMadeAgain)
{
    store.Bind(folder.file("gone.gsd"));
    try {
        store.StoreItem({"cat", "2", "", "", ""});
        FAIL();
    } catch (const EInOutError &error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
    EXPECT_FALSE(FileExists(folder.file("gone.gsd")));
}

TEST_F(DeckStoreTest, AFullDiskChangesNothing)
{
    TinyDisk disk(folder.file("disk"));
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs";
    const std::string deck = Line("cat", "1", std::string(3000, 'c')) + Line("dog", "2");
    WriteWholeFile(disk.file("deck.gsd"), deck);
    store.Bind(disk.file("deck.gsd"));
    Fill(false, true, true);
    disk.FillLeaving(0);
    EXPECT_THROW(store.StoreItem({"dog", "3", "", "", ""}), EInOutError);
    // Room for part of a long new line: what got written goes again.
    disk.FillLeaving(4096);
    EXPECT_THROW(store.StoreItem({"eel", "3", std::string(20000, 'e'), "", ""}), EInOutError);
    EXPECT_EQ(ReadWholeFile(disk.file("deck.gsd")), deck);
    EXPECT_EQ(Fill(false, true, true), (StringList{"cat", "dog"}));
}

TEST_F(DeckStoreTest, AReadOnlyDeckIsNeverChanged)
{
    RUN_AS_ORDINARY_USER();
    const std::string deck = Line("cat", "1") + Line("dog", "2");
    Write(deck);
    ::chmod(folder.file("deck.gsd").c_str(), 0444);
    Fill(false, true, true);
    EXPECT_THROW(store.StoreItem({"cat", "3", "", "", ""}), EFCreateError);
    EXPECT_THROW(store.StoreItem({"eel", "3", "", "", ""}), EFCreateError);
    EXPECT_THROW(store.DeleteAllWordLines("dog"), EFCreateError);
    EXPECT_EQ(Content(), deck);
}

TEST_F(DeckStoreTest, FieldsThatWouldBreakALineAreRefused)
{
    EXPECT_THROW(CheckDeckField("Word", "a\xB6" "b"), EFieldError);
    EXPECT_THROW(CheckDeckField("Definition", "a\rb"), EFieldError);
    EXPECT_THROW(CheckDeckField("Definition", "a\x1A" "b"), EFieldError);   // would hide the lines after it
    EXPECT_THROW(CheckDeckField("Word", "a\xC2\xB6", DeckKind::Utf8), EFieldError);
    EXPECT_NO_THROW(CheckDeckField("Word", "\xD0\xB6", DeckKind::Utf8));   // the letter zhe
    EXPECT_NO_THROW(CheckDeckField("Word", "caf\xE9"));
}

TEST_F(DeckStoreTest, CopyWorkFileCopiesLinesAndSurvivesCopyOntoItself)
{
    Write(Line("a", "1") + "b" + S + "2" + S + S + S + S);
    store.CopyWorkFile(folder.file("copy.dat"));
    EXPECT_EQ(folder.read("copy.dat"), Line("a", "1") + Line("b", "2"));
    store.CopyWorkFile(folder.file("deck.gsd"));
    EXPECT_EQ(Content(), Line("a", "1") + Line("b", "2"));
}

TEST_F(DeckStoreTest, MissingWorkingFileRaisesTheIOError)
{
    store.Bind(folder.file("gone.gsd"));
    try {
        store.FillWordList(true, false, true);
        FAIL();
    } catch (const EInOutError &error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
}

TEST_F(DeckStoreTest, GarbageNeverCrashes)
{
    std::string garbage;
    unsigned seed = 7;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        garbage.push_back(char(seed >> 24));
    }
    Write(garbage);
    for (bool byWord : {true, false}) {
        store.FillWordList(true, false, byWord);
        EXPECT_EQ(store.WorkList.size(), store.FileWords.size());
    }
    // One line of 5 MB.
    Write(std::string(5 * 1024 * 1024, 'w') + S + "3" + S + S + S + S);
    EXPECT_EQ(Fill(true, false, false).at(0).size(), size_t(5 * 1024 * 1024));
    // Six separators: the word is still the first field.
    Write("w" + S + "1" + S + "d" + S + "v" + S + "a" + S + "x" + S + "\r\n");
    EXPECT_EQ(Fill(true, false, true), StringList{"w"});
}
