#include "platform/Exceptions.h"
#include "platform/TextFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
StringList ReadLines(const TempFolder &folder, const std::string &bytes)
{
    folder.write("f.txt", bytes);
    TextLineReader reader(folder.file("f.txt"));
    StringList lines;
    while (!reader.AtEnd())
        lines.push_back(reader.ReadLine());
    return lines;
}
} // namespace

TEST(LineReader, LineEndsAndEndOfFileMark)
{
    TempFolder folder;
    EXPECT_EQ(ReadLines(folder, ""), StringList{});
    EXPECT_EQ(ReadLines(folder, "a\r\nb\r\n"), (StringList{"a", "b"}));
    EXPECT_EQ(ReadLines(folder, "a\r\n\r\nb"), (StringList{"a", "", "b"}));
    EXPECT_EQ(ReadLines(folder, "a\rb\r"), (StringList{"a", "b"}));
    // A lone LF is line text: an LF-only file is one line.
    EXPECT_EQ(ReadLines(folder, "a\nb\nc\n"), (StringList{"a\nb\nc\n"}));
    EXPECT_EQ(ReadLines(folder, "a\r\n\nb\r\n"), (StringList{"a", "\nb"}));
    // 0x1A hides everything after it.
    EXPECT_EQ(ReadLines(folder, "a\r\nb\x1A" "c\r\nd\r\n"), (StringList{"a", "b"}));
    EXPECT_EQ(ReadLines(folder, std::string("\x1A" "a\r\n")), StringList{});
    // NUL bytes and high bytes pass through untouched.
    EXPECT_EQ(ReadLines(folder, std::string("x\0y\xB6\r\n", 6)), (StringList{std::string("x\0y\xB6", 4)}));
}

TEST(LineReader, HugeSingleLineAndMissingFile)
{
    TempFolder folder;
    const std::string big(5 * 1024 * 1024, 'q');
    EXPECT_EQ(ReadLines(folder, big), StringList{big});
    try {
        TextLineReader reader(folder.file("missing.gsd"));
        FAIL();
    } catch (const EInOutError &error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
}

TEST(LineWriter, AppendEndsAnUnterminatedLastLineFirst)
{
    TempFolder folder;
    for (auto [before, after] : std::initializer_list<std::pair<std::string, std::string>>{
             {"", "new\r\n"},
             {"old\r\n", "old\r\nnew\r\n"},
             {"old", "old\r\nnew\r\n"},
             {"old\r", "old\rnew\r\n"},
             {"old\n", "old\n\r\nnew\r\n"},
             {"old\r\n\x1A", "old\r\nnew\r\n"},
             {"old\x1A", "old\r\nnew\r\n"}}) {
        folder.write("deck.gsd", before);
        TextLineWriter writer(folder.file("deck.gsd"), TextLineWriter::Append);
        writer.WriteLine("new");
        writer.Close();
        EXPECT_EQ(folder.read("deck.gsd"), after) << before;
    }
}

TEST(StringLists, SplitAtEveryKindOfLineEnd)
{
    EXPECT_EQ(SplitIntoLines("a\r\nb\nc\rd"), (StringList{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitIntoLines("a\r\n"), StringList{"a"});
    EXPECT_EQ(SplitIntoLines("\r\n\r\n"), (StringList{"", ""}));
    EXPECT_EQ(SplitIntoLines(""), StringList{});
}

TEST(StringLists, SaveReplacesContentKeepingPermissions)
{
    TempFolder folder;
    folder.write("deck.gsd", "one\r\ntwo\r\n");
    ::chmod(folder.file("deck.gsd").c_str(), 0640);
    SaveStringList(folder.file("deck.gsd"), {"three"});
    EXPECT_EQ(folder.read("deck.gsd"), "three\r\n");
    struct stat info {};
    ::stat(folder.file("deck.gsd").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // Nothing is left beside it.
    EXPECT_EQ(LoadStringList(folder.file("deck.gsd")), StringList{"three"});
}

TEST(StringLists, FailuresCarryTheirMessages)
{
    TempFolder folder;
    try {
        LoadStringList(folder.file("missing.gsd"));
        FAIL();
    } catch (const EFOpenError &error) {
        EXPECT_EQ(error.message(), "Cannot open file " + folder.file("missing.gsd"));
    }
    try {
        SaveStringList(folder.file("no/such/folder.gsd"), {"x"});
        FAIL();
    } catch (const EFCreateError &error) {
        EXPECT_EQ(error.message(), "Cannot create file " + folder.file("no/such/folder.gsd"));
    }
}

TEST(StringLists, AFullDiskLeavesTheOldContent)
{
    // /dev/full refuses every write with "no space left".
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    try {
        TextLineWriter writer("/dev/full", TextLineWriter::Rewrite);
        writer.WriteLine("x");
        writer.Close();
        FAIL();
    } catch (const EInOutError &error) {
        EXPECT_STREQ(error.what(), "Disk full");
    }
}

TEST(Files, ReadabilityTest)
{
    TempFolder folder;
    folder.write("a.gsd", "x");
    EXPECT_TRUE(FileCanBeRead(folder.file("a.gsd")));
    EXPECT_FALSE(FileCanBeRead(folder.file("b.gsd")));
    EXPECT_FALSE(FileCanBeRead(folder.path()));
    EXPECT_FALSE(FileCanBeRead(""));
}
