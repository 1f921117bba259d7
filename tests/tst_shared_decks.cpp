// One Deck in the hands of several: two programs adding at once, a second window that must see
// what the first one did, a Deck with two names, and a write in place cut short by a kill.
#include "app/DeckStore.h"
#include "platform/InPlaceRewrite.h"
#include "support/MainWindowFixture.h"
#include "support/OrdinaryUser.h"

#include <QDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

DeckItem Item(const std::string &word, const std::string &definition = "meaning")
{
    DeckItem item;
    item.word = word;
    item.frequency = "2";
    item.definition = definition;
    return item;
}

StringList Words(const std::string &deck)
{
    StringList words;
    for (const std::string &line : SplitIntoLines(ReadWholeFile(deck)))
        words.push_back(line.substr(0, line.find('\xB6')));
    return words;
}

// Runs the work in a child process; the child's exit status.
template <class Work>
pid_t InChild(Work work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            work();
        } catch (...) {
            std::_Exit(2);
        }
        std::_Exit(0);
    }
    return child;
}

int ExitCode(pid_t child)
{
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(SharedDecks, TwoProgramsAddingAtOnceLoseNothing)
{
    TempFolder folder;
    const std::string deck = folder.file("deck.gsd");
    WriteWholeFile(deck, "");
    std::vector<pid_t> writers;
    for (const std::string prefix : {"left", "right"})
        writers.push_back(InChild([&] {
            DeckStore store;
            store.Bind(deck);
            for (int i = 0; i < 200; ++i)
                store.StoreItem(Item(prefix + std::to_string(i)));
        }));
    for (pid_t writer : writers)
        EXPECT_EQ(ExitCode(writer), 0);
    StringList words = Words(deck);
    std::sort(words.begin(), words.end());
    EXPECT_EQ(words.size(), 400u);
    EXPECT_EQ(std::unique(words.begin(), words.end()), words.end());
}

TEST(SharedDecks, ADeckWithTwoNamesKeepsBoth)
{
    TempFolder folder;
    const std::string deck = folder.file("deck.gsd"), other = folder.file("other.gsd");
    WriteWholeFile(deck, MakeDeckLine(Item("old")) + "\r\n");
    ASSERT_EQ(::link(deck.c_str(), other.c_str()), 0);
    DeckStore store;
    store.Bind(other);
    store.StoreItem(Item("new"));
    EXPECT_EQ(Words(deck), (StringList{"old", "new"}));
    struct stat first {}, second {};
    ::stat(deck.c_str(), &first);
    ::stat(other.c_str(), &second);
    EXPECT_EQ(first.st_ino, second.st_ino);
    EXPECT_EQ(first.st_nlink, 2u);
    EXPECT_TRUE(QDir(QString::fromStdString(RewriteJournalFolder())).isEmpty(QDir::Files | QDir::Hidden));
}

// The folder takes no new files, so every change is written into the Deck itself; a kill at any
// moment of that write leaves a Deck that the next open makes whole, before or after the change.
TEST(SharedDecks, AWriteInPlaceCutShortIsFinishedAtTheNextOpen)
{
    RUN_AS_ORDINARY_USER();
    TempFolder folder;
    QDir().mkpath(QString::fromStdString(folder.file("decks")));
    const std::string deck = folder.file("decks/deck.gsd");
    std::string content;
    for (int i = 0; i < 150000; ++i)
        content += MakeDeckLine(Item("word" + std::to_string(i), std::string(100, 'x'))) + "\r\n";
    WriteWholeFile(deck, content);
    ::chmod(folder.file("decks").c_str(), 0500);

    // The first bytes of the Deck: every change below moves its first Item to the end.
    const auto head = [&deck] {
        char bytes[64] = {};
        const int fd = ::open(deck.c_str(), O_RDONLY);
        (void)!::pread(fd, bytes, sizeof bytes, 0);
        ::close(fd);
        return std::string(bytes, sizeof bytes);
    };
    std::mt19937 moments(7);
    int torn = 0, before = 0, after = 0;
    for (int n = 1; n <= 8; ++n) {
        const std::string word = content.substr(0, content.find('\xB6'));
        const DeckItem item = Item(word, "moved " + std::to_string(n));
        const std::string line = MakeDeckLine(item);
        const std::string changed = Rewritten(content, {&word, false, &line}).bytes;
        const std::string was = head();
        const pid_t child = InChild([&] {
            DeckStore store;
            store.Bind(deck);
            store.StoreItem(item);
        });
        // Killed as the Deck begins to change, or a moment later.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (head() == was && std::chrono::steady_clock::now() < limit) {
        }
        const auto moment = std::chrono::steady_clock::now() + std::chrono::microseconds(moments() % 600);
        while (std::chrono::steady_clock::now() < moment) {
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string left = ReadWholeFile(deck);
        torn += left != content && left != changed;
        DeckStore::FinishInterruptedChange(deck);
        const std::string opened = ReadWholeFile(deck);
        ASSERT_TRUE(opened == content || opened == changed) << "kill " << n << ": " << opened.size() << " bytes";
        (opened == content ? before : after)++;
        content = opened;
    }
    ::chmod(folder.file("decks").c_str(), 0700);
    std::cout << "kills: " << before << " before the change, " << after << " after it, " << torn
              << " in the middle of the write, made whole at the next open" << std::endl;
}

using SecondWindow = MainWindowTest;

TEST_F(SecondWindow, SeesTheChangesOfTheFirstBeforeShowingAnything)
{
    TF_Main &w = StartWith(DeckLine("apple", "1", "red") + DeckLine("pear", "2", "green"));
    TF_Main other(std::vector<std::string>{DeckPath("deck.gsd")});
    other.show();
    other.ListBox1->setCurrentRow(0);
    Scripted().answers = {MsgResult::Yes};
    other.B_Delete->click();   // the other window deletes "apple"
    other.T_word->setText("fig");
    other.B_Add->click();
    // Picking "pear" in the first window shows pear, not the line that now stands where pear was.
    const auto pear = w.ListBox1->findItems("pear", Qt::MatchExactly);
    ASSERT_EQ(pear.size(), 1);
    QTest::mouseClick(w.ListBox1->viewport(), Qt::LeftButton, {}, w.ListBox1->visualItemRect(pear.first()).center());
    EXPECT_EQ(w.T_word->text(), "pear");
    EXPECT_EQ(w.T_Definition->text(), "green");
    EXPECT_EQ(w.ListBox1->currentItem()->text(), "pear");
    EXPECT_EQ(w.ListBox1->count(), 2);
    EXPECT_TRUE(w.ListBox1->findItems("apple", Qt::MatchExactly).isEmpty());
    // Coming back to the first window shows what the second one added meanwhile.
    other.T_word->setText("plum");
    other.B_Add->click();
    other.hide();
    QApplication::setActiveWindow(&w);
    QTRY_COMPARE(w.ListBox1->count(), 3);
}
