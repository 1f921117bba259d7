#include "app/QuestionEngine.h"
#include "platform/CodePage.h"
#include "support/ScriptedDialogs.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::string Line(const std::string &word, const std::string &freq, const std::string &def = "",
                 const std::string &visual = "", const std::string &audio = "")
{
    const std::string s = "\xB6";
    return word + s + freq + s + def + s + visual + s + audio + s + "\r\n";
}

// The generator as documented: seed from the time of day, then seed * 134775813 + 1.
uint32_t FirstDraw(uint32_t timeOfDay, uint32_t n)
{
    const uint32_t seed = timeOfDay * 134775813u + 1u;
    return uint32_t((uint64_t(seed) * n) >> 32);
}

// A time of day whose first draw from n is the wanted value.
uint32_t TimeDrawing(uint32_t wanted, uint32_t n)
{
    for (uint32_t t = 0; t < 86400000u; ++t)
        if (FirstDraw(t, n) == wanted)
            return t;
    ADD_FAILURE() << "no time of day draws " << wanted;
    return 0;
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetAnsiCodePage(1252);
        store.Bind(folder.file("deck.gsd"));
        engine.TimeOfDay = [this] { return clock; };
    }
    void Deck(const std::string &bytes)
    {
        folder.write("deck.gsd", bytes);
        store.FillWordList(false, true, true);
    }
    std::string Asked() const { return engine.CurrentItem.empty() ? "" : engine.CurrentItem[0]; }

    TempFolder folder;
    DeckStore store;
    QuestionEngine engine{store};
    uint32_t clock = 0;
};

} // namespace

TEST(Generator, FollowsTheDocumentedSequence)
{
    DeckStore store;
    QuestionEngine engine(store);
    engine.TimeOfDay = [] { return 1000u; };
    engine.Reseed();
    EXPECT_EQ(engine.Seed, 1000u);
    EXPECT_EQ(engine.Random(10), FirstDraw(1000, 10));
    EXPECT_EQ(engine.Seed, 1000u * 134775813u + 1u);
    // The high 32 bits of seed * n.
    engine.Seed = 0xFFFFFFFFu;
    EXPECT_EQ(engine.Random(100), uint32_t((uint64_t(0xFFFFFFFFu * 134775813u + 1u) * 100) >> 32));
}

TEST_F(Engine, OneItemOfFrequencyThree)
{
    Deck(Line("only", "3"));
    EXPECT_TRUE(engine.BuildFrequencyPools(qkWord, false));
    EXPECT_EQ(engine.TotalWeight(), 9);
    for (clock = 0; clock < 5000; clock += 977) {
        ASSERT_TRUE(engine.SelectNextItem(QuestionEngine::Mode::Weighted, qkWord));
        EXPECT_EQ(Asked(), "only");
    }
}

TEST_F(Engine, WeightedBandsFromTheTop)
{
    Deck(Line("rare", "1") + Line("common", "5"));
    engine.BuildFrequencyPools(qkWord, false);
    EXPECT_EQ(engine.TotalWeight(), 26);
    EXPECT_EQ(engine.CumulativeWeights, (std::array<int32_t, 6>{0, 1, 1, 1, 1, 26}));
    clock = TimeDrawing(0, 26);   // r = 1
    engine.SelectNextItem(QuestionEngine::Mode::Weighted, qkWord);
    EXPECT_EQ(Asked(), "rare");
    for (uint32_t r : {1u, 13u, 25u}) {   // r = 2, 14, 26
        clock = TimeDrawing(r, 26);
        engine.SelectNextItem(QuestionEngine::Mode::Weighted, qkWord);
        EXPECT_EQ(Asked(), "common") << r;
    }
}

TEST_F(Engine, FrequencyZeroOnlyWithoutFrequency)
{
    Deck(Line("zero", "0") + Line("one", "1"));
    engine.BuildFrequencyPools(qkWord, false);
    std::map<std::string, int> weighted, uniform;
    engine.BuildEligiblePool(1);
    for (clock = 0; clock < 40000; clock += 101) {
        engine.SelectNextItem(QuestionEngine::Mode::Weighted, qkWord);
        ++weighted[Asked()];
        engine.SelectNextItem(QuestionEngine::Mode::Uniform, qkWord);
        ++uniform[Asked()];
    }
    EXPECT_EQ(weighted["zero"], 0);
    EXPECT_GT(uniform["zero"], 100);
    EXPECT_GT(uniform["one"], 100);
}

TEST_F(Engine, FrequencySevenCountsAsFive)
{
    Deck(Line("seven", "7"));
    engine.BuildFrequencyPools(qkWord, false);
    EXPECT_EQ(engine.TotalWeight(), 25);
    EXPECT_EQ(engine.FrequencyList, StringList{"5"});
    EXPECT_EQ(folder.read("deck.gsd"), Line("seven", "7"));
}

TEST_F(Engine, AllAtZeroDisablesGoOnlyWithFrequency)
{
    Deck(Line("a", "0") + Line("b", "0"));
    EXPECT_FALSE(engine.BuildFrequencyPools(qkWord, false));
    EXPECT_TRUE(engine.BuildFrequencyPools(qkWord, true));
    EXPECT_EQ(engine.TotalWeight(), 0);
    EXPECT_FALSE(engine.SelectNextItem(QuestionEngine::Mode::Weighted, qkWord));
}

TEST_F(Engine, ABadFrequencyStopsTheBuildAndKeepsTheWeights)
{
    Deck(Line("a", "2"));
    engine.BuildFrequencyPools(qkWord, false);
    Deck(Line("a", "2") + Line("b", "x"));
    try {
        engine.BuildFrequencyPools(qkWord, false);
        FAIL();
    } catch (const std::exception &error) {
        EXPECT_STREQ(error.what(), "'x' is not a valid integer value");
    }
    for (const auto &pool : engine.FrequencyPools)
        EXPECT_TRUE(pool.empty());
    EXPECT_EQ(engine.TotalWeight(), 4);
}

TEST_F(Engine, MissingPicturesAreNeverDrawnButAskedInOrder)
{
    folder.write("there.bmp", "BM");
    Deck(Line("seen", "2", "", folder.file("there.bmp")) + Line("lost", "2", "", folder.file("gone.bmp")));
    EXPECT_TRUE(engine.BuildEligiblePool(4));
    EXPECT_EQ(engine.EligiblePool, std::vector<int>{0});
    engine.BuildFrequencyPools(qkVisual, false);
    EXPECT_EQ(engine.TotalWeight(), 4);
    for (clock = 0; clock < 3000; clock += 333) {
        engine.SelectNextItem(QuestionEngine::Mode::Uniform, qkVisual);
        EXPECT_EQ(Asked(), "seen");
    }
    engine.OrderPosition = 2;
    engine.SelectNextItem(QuestionEngine::Mode::InOrder, qkVisual);
    EXPECT_EQ(Asked(), "lost");
}

TEST_F(Engine, InOrderWrapsAround)
{
    Deck(Line("one", "1") + Line("two", "2") + Line("three", "3"));
    std::vector<std::string> asked;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(engine.SelectNextItem(QuestionEngine::Mode::InOrder, qkWord));
        asked.push_back(Asked());
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"one", "two", "three", "one"}));
}

TEST_F(Engine, InOrderContinuesAfterARandomDraw)
{
    Deck(Line("one", "1") + Line("two", "2") + Line("three", "3"));
    engine.BuildEligiblePool(1);
    clock = TimeDrawing(1, 3);
    engine.SelectNextItem(QuestionEngine::Mode::Uniform, qkWord);
    EXPECT_EQ(Asked(), "two");
    EXPECT_EQ(engine.OrderPosition, 3);
    engine.SelectNextItem(QuestionEngine::Mode::InOrder, qkWord);
    EXPECT_EQ(Asked(), "three");
}

TEST_F(Engine, InOrderSkipsEmptyQuestionFieldsAndStopsAfterAFullPass)
{
    Deck(Line("one", "1", "first") + Line("two", "2", "second") + Line("three", "3", ""));
    engine.OrderPosition = 3;
    ASSERT_TRUE(engine.SelectNextItem(QuestionEngine::Mode::InOrder, qkDefinition));
    EXPECT_EQ(Asked(), "one");
    EXPECT_EQ(engine.OrderPosition, 2);

    Deck(Line("a", "1") + Line("b", "2"));
    engine.CurrentItem = {"kept"};
    EXPECT_FALSE(engine.SelectNextItem(QuestionEngine::Mode::InOrder, qkDefinition));
}

TEST_F(Engine, InOrderPastTheEndStartsAtLineOne)
{
    Deck(Line("one", "1") + Line("two", "2"));
    engine.OrderPosition = 9;
    engine.SelectNextItem(QuestionEngine::Mode::InOrder, qkWord);
    EXPECT_EQ(Asked(), "one");
}

TEST_F(Engine, StalePoolsAreRebuiltBeforeADraw)
{
    Deck(Line("one", "1") + Line("two", "2") + Line("three", "3"));
    engine.BuildEligiblePool(1);
    // The file shrinks after the pool was built: no draw may name a line that is gone.
    Deck(Line("one", "1"));
    for (clock = 0; clock < 5000; clock += 499) {
        ASSERT_TRUE(engine.SelectNextItem(QuestionEngine::Mode::Uniform, qkWord));
        EXPECT_EQ(Asked(), "one");
    }
    // A pool never built is built at the first draw.
    QuestionEngine fresh(store);
    fresh.TimeOfDay = [] { return 5u; };
    ASSERT_TRUE(fresh.SelectNextItem(QuestionEngine::Mode::Weighted, qkWord));
    EXPECT_EQ(fresh.CurrentItem[0], "one");
    Deck("");
    EXPECT_FALSE(engine.SelectNextItem(QuestionEngine::Mode::Uniform, qkWord));
    EXPECT_FALSE(engine.SelectNextItem(QuestionEngine::Mode::InOrder, qkWord));
}

TEST_F(Engine, NoQuestionKindAsksNothing)
{
    Deck(Line("one", "1"));
    EXPECT_FALSE(engine.SelectNextItem(QuestionEngine::Mode::InOrder, qkNone));
    EXPECT_FALSE(engine.SelectNextItem(QuestionEngine::Mode::Uniform, qkNone));
}
