#include "platform/CodePage.h"
#include "platform/LocaleSort.h"

#include <gtest/gtest.h>

TEST(CodePage, Windows1252RoundTripsEveryByte)
{
    SetAnsiCodePage(1252);
    EXPECT_EQ(FromAnsi("caf\xE9"), QStringLiteral("café"));
    EXPECT_EQ(FromAnsi("\xB6"), QString(QChar(0x00B6)));
    EXPECT_EQ(FromAnsi("\x80"), QString(QChar(0x20AC)));
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(char(b));
    std::string back;
    ASSERT_TRUE(TryToAnsi(FromAnsi(all), back));
    EXPECT_EQ(back, all);
}

TEST(CodePage, CharactersOutsideTheCodePageAreRefused)
{
    SetAnsiCodePage(1252);
    std::string bytes;
    EXPECT_FALSE(TryToAnsi(QStringLiteral("дом"), bytes));
    EXPECT_EQ(ToAnsiLossy(QStringLiteral("aдb")), "a?b");
    SetAnsiCodePage(1251);
    ASSERT_TRUE(TryToAnsi(QStringLiteral("дом"), bytes));
    EXPECT_EQ(bytes, "\xE4\xEE\xEC");
    EXPECT_EQ(FromAnsi(bytes), QStringLiteral("дом"));
    SetAnsiCodePage(1252);
}

TEST(LocaleSort, IgnoresCaseAndKeepsCaseVariantsTogether)
{
    SetAnsiCodePage(1252);
    std::vector<std::string> words{"pear", "Apple", "fig", "apple", "Fig", "\xE9" "clair", "zebra", "eclair"};
    AnsiSortStrings(words);
    ASSERT_EQ(words.size(), 8u);
    EXPECT_EQ(AnsiCompareText(words[0], "apple"), 0);
    EXPECT_EQ(AnsiCompareText(words[1], "apple"), 0);
    // é sorts with e, not after z as its byte value would.
    EXPECT_EQ(words[2], "eclair");
    EXPECT_EQ(words[3], "\xE9" "clair");
    EXPECT_EQ(AnsiCompareText(words[4], "fig"), 0);
    EXPECT_EQ(AnsiCompareText(words[5], "fig"), 0);
    EXPECT_EQ(words[6], "pear");
    EXPECT_EQ(words[7], "zebra");
    EXPECT_LT(AnsiCompareText("a", "B"), 0);
    EXPECT_GT(AnsiCompareText("b", "A"), 0);
}
