// The review log beside a Deck: what it reads back, a line cut short by a crash, damaged lines,
// settings rewrites, and writes that fail.
#include "platform/TextFile.h"
#include "review/ReviewLog.h"
#include "review/SpacedReview.h"
#include "review/TimeText.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"
#include "support/TinyDisk.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
const ReviewTime Start = *ParseIsoTime("2024-06-11T09:30:00Z");

std::string Line(const std::string &word, int reps, ReviewTime time = Start)
{
    Card card;
    card.state = CardState::Learning;
    card.stability = 2.3065;
    card.difficulty = 2.1181039700000001;
    card.due = time + 600;
    card.reps = reps;
    return FormatReviewLine({time, Grade::Good, card, word});
}
} // namespace

TEST(ReviewLog, ReadsBackWhatItWroteWhateverTheWord)
{
    TempFolder folder;
    const std::string deck = folder.file("words.gsd");
    SpacedReview review(deck);
    review.Open();
    const std::string odd = "tab\there\\ new\nline \xC3\xA9t\xC3\xA9";
    review.Record(odd, Grade::Good, Start);
    review.Record("plain", Grade::Easy, Start + 5);
    const Card again = review.Record(odd, Grade::Again, Start + 600);

    ReviewLog log(deck);
    log.Load();
    EXPECT_TRUE(log.DamagedLines().empty());
    ASSERT_TRUE(log.CardOf(odd));
    EXPECT_EQ(log.CardOf(odd)->difficulty, again.difficulty);   // exactly: the next review builds on it
    EXPECT_EQ(log.CardOf(odd)->stability, again.stability);
    EXPECT_EQ(log.CardOf(odd)->due, again.due);
    EXPECT_EQ(log.CardOf(odd)->reps, 2);
    EXPECT_EQ(log.FirstReviewOf(odd), Start);
    EXPECT_EQ(log.History().size(), 3u);
    EXPECT_EQ(log.SettingValue("desired-retention", ""), "0.9");   // a new log shows its settings
    EXPECT_EQ(log.CardOf("new word"), nullptr);
}

TEST(ReviewLog, ALineCutShortIsIgnoredAndReplacedByTheNextReview)
{
    TempFolder folder;
    const std::string deck = folder.file("words.gsd");
    const std::string complete = Line("apple", 1);
    const std::string torn = Line("pear", 1).substr(0, 30);
    WriteWholeFile(ReviewLog::SidecarOf(deck), "desired-retention=0.9\n" + complete + torn);
    SpacedReview review(deck);
    review.Open();
    EXPECT_TRUE(review.Log().DamagedLines().empty());
    EXPECT_EQ(review.Log().History().size(), 1u);
    EXPECT_EQ(review.Log().CardOf("pear"), nullptr);
    review.Record("pear", Grade::Hard, Start + 60);
    const std::string after = ReadWholeFile(ReviewLog::SidecarOf(deck));
    EXPECT_EQ(after.find(torn + "2024"), std::string::npos);
    EXPECT_EQ(after.rfind("desired-retention=0.9\n" + complete, 0), 0u);
    ReviewLog log(deck);
    log.Load();
    EXPECT_EQ(log.History().size(), 2u);
    EXPECT_TRUE(log.DamagedLines().empty());
}

TEST(ReviewLog, DamagedLinesAreListedAndTheRestCounts)
{
    TempFolder folder;
    const std::string deck = folder.file("words.gsd");
    std::string broken = Line("fig", 2, Start + 60);
    broken.replace(broken.find("2.3065"), 6, "lots");
    WriteWholeFile(ReviewLog::SidecarOf(deck), "# comment\n" + Line("apple", 1) + "rubbish\n" +
                                                   Line("fig", 1) + broken + Line("kiwi", 1).replace(20, 5, "\tgrr"));
    ReviewLog log(deck);
    log.Load();
    EXPECT_EQ(log.DamagedLines(), (std::vector<int>{3, 5, 6}));
    EXPECT_TRUE(log.CardOf("apple"));
    EXPECT_EQ(log.CardOf("fig"), nullptr);   // its last state cannot be read: it starts again
}

TEST(ReviewLog, SettingsAreRewrittenWholeKeepingEveryReviewAndKey)
{
    TempFolder folder;
    const std::string deck = folder.file("words.gsd");
    const std::string sidecar = ReviewLog::SidecarOf(deck);
    WriteWholeFile(sidecar, "# mine\nword-language=fr\n" + Line("apple", 1) + "fuzz=0\n" + Line("fig", 1));
    ReviewLog log(deck);
    log.Load();
    log.ChangeSettings({{"fuzz", "1"}, {"new-per-day", "5"}});
    EXPECT_EQ(ReadWholeFile(sidecar),
              "# mine\nword-language=fr\nfuzz=1\nnew-per-day=5\n" + Line("apple", 1) + Line("fig", 1));

    TinyDisk disk(folder.file("tiny"));
    if (!disk.mounted())
        GTEST_SKIP() << "no tmpfs for the full-disk case";
    const std::string small = disk.file("words.gsd");
    const std::string before = "fuzz=0\n" + Line("apple", 1);
    WriteWholeFile(ReviewLog::SidecarOf(small), before);
    ReviewLog full(small);
    full.Load();
    disk.FillLeaving(60);
    EXPECT_ANY_THROW(full.ChangeSettings({{"weights", std::string(2000, '1')}}));
    EXPECT_ANY_THROW(full.Append({Start + 5, Grade::Good, Card{}, std::string(9000, 'x')}));
    EXPECT_EQ(ReadWholeFile(ReviewLog::SidecarOf(small)), before);
}

TEST(ReviewLog, ALogTheUserMayNotWriteIsLeftAsItIs)
{
    RUN_AS_ORDINARY_USER();
    TempFolder folder;
    const std::string deck = folder.file("words.gsd");
    const std::string sidecar = ReviewLog::SidecarOf(deck);
    WriteWholeFile(sidecar, Line("apple", 1));
    ::chmod(sidecar.c_str(), 0444);
    SpacedReview review(deck);
    review.Open();
    EXPECT_ANY_THROW(review.Record("apple", Grade::Good, Start + 700));
    // The review still counts for the rest of the session.
    EXPECT_EQ(review.CardOf("apple").reps, 2);
    EXPECT_EQ(ReadWholeFile(sidecar), Line("apple", 1));
}
