#include "platform/Exceptions.h"
#include "platform/TextFile.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"
#include "support/TinyDisk.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

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

// The names in a folder, hidden ones included, sorted.
StringList Entries(const std::string &folder)
{
    StringList names;
    for (const QString &name : QDir(QString::fromStdString(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
        names.push_back(name.toStdString());
    return names;
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

TEST(Rewrites, AFullDiskLeavesTheOldContent)
{
    TempFolder folder;
    TinyDisk disk(folder.file("disk"));
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs";
    const std::string deck = disk.file("deck.gsd");
    WriteWholeFile(deck, "old\r\n");
    disk.FillLeaving(0);
    try {
        ReplaceFileContent(deck, std::string(20000, 'n'));
        FAIL();
    } catch (const EInOutError &error) {
        EXPECT_STREQ(error.what(), "Disk full");
    }
    EXPECT_EQ(ReadWholeFile(deck), "old\r\n");
    EXPECT_EQ(Entries(folder.file("disk")), (StringList{".filler", "deck.gsd"}));
}

// A rewrite keeps who may read the Deck: its access control list and other attributes.
TEST(Rewrites, TheFileKeepsItsAccessListAndAttributes)
{
    TempFolder folder;
    folder.write("deck.gsd", "old\r\n");
    const std::string deck = folder.file("deck.gsd");
    // Owner rw, user nobody r, group r, mask r, others nothing.
    const uint32_t entries[] = {2, 0x00060001, ~0u, 0x00040002, 65534, 0x00040004, ~0u, 0x00040010, ~0u, 0x00000020, ~0u};
    if (::setxattr(deck.c_str(), "system.posix_acl_access", entries, sizeof entries, 0) != 0 ||
        ::setxattr(deck.c_str(), "user.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "the file system takes no access lists";
    ReplaceFileContent(deck, "new\r\n");
    EXPECT_EQ(folder.read("deck.gsd"), "new\r\n");
    char value[64];
    ASSERT_EQ(::getxattr(deck.c_str(), "system.posix_acl_access", value, sizeof value), ssize_t(sizeof entries));
    EXPECT_EQ(std::memcmp(value, entries, sizeof entries), 0);
    ASSERT_EQ(::getxattr(deck.c_str(), "user.note", value, sizeof value), 4);
    EXPECT_EQ(std::string(value, 4), "kept");
}

TEST(Rewrites, ALinkedFileIsReplacedAndTheLinkKept)
{
    TempFolder folder;
    QDir().mkpath(QString::fromStdString(folder.file("real")));
    folder.write("real/deck.gsd", "old\r\n");
    ASSERT_EQ(::symlink(folder.file("real/deck.gsd").c_str(), folder.file("link.gsd").c_str()), 0);
    ReplaceFileContent(folder.file("link.gsd"), "new\r\n");
    EXPECT_EQ(folder.read("real/deck.gsd"), "new\r\n");
    struct stat info {};
    ASSERT_EQ(::lstat(folder.file("link.gsd").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(Entries(folder.file("real")), StringList{"deck.gsd"});
}

TEST(Rewrites, AFileTheUserMayNotWriteIsNeverChanged)
{
    RUN_AS_ORDINARY_USER();
    TempFolder folder;
    folder.write("deck.gsd", "old\r\n");
    ::chmod(folder.file("deck.gsd").c_str(), 0444);
    // The folder would take the rename; the file's own permission decides.
    try {
        ReplaceFileContent(folder.file("deck.gsd"), "new\r\n");
        FAIL();
    } catch (const EFCreateError &error) {
        EXPECT_EQ(error.message(), "Cannot create file " + folder.file("deck.gsd"));
    }
    EXPECT_EQ(folder.read("deck.gsd"), "old\r\n");
}

TEST(Rewrites, AFolderThatTakesNoNewFilesIsWrittenInPlace)
{
    RUN_AS_ORDINARY_USER();
    TempFolder folder;
    folder.write("deck.gsd", "a much longer old content\r\n");
    ::chmod(folder.file("deck.gsd").c_str(), 0640);
    ::chmod(folder.path().c_str(), 0500);
    ReplaceFileContent(folder.file("deck.gsd"), "short\r\n");
    EXPECT_EQ(folder.read("deck.gsd"), "short\r\n");
    ReplaceFileContent(folder.file("deck.gsd"), "longer than before\r\n");
    EXPECT_EQ(folder.read("deck.gsd"), "longer than before\r\n");
    struct stat info {};
    ::stat(folder.file("deck.gsd").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // A new file cannot be made there at all.
    EXPECT_THROW(ReplaceFileContent(folder.file("new.gsd"), "x"), EFCreateError);
    ::chmod(folder.path().c_str(), 0700);
}

TEST(Files, ReadabilityTest)
{
    TempFolder folder;
    folder.write("a.gsd", "x");
    EXPECT_TRUE(FileCanBeRead(folder.file("a.gsd")));
    EXPECT_FALSE(FileCanBeRead(folder.file("b.gsd")));
    EXPECT_FALSE(FileCanBeRead(folder.path()));
    EXPECT_FALSE(FileCanBeRead(""));
    EXPECT_TRUE(FileExists(folder.file("a.gsd")));
    EXPECT_FALSE(FileExists(folder.file("b.gsd")));
    // A Deck that is a pipe nobody writes, or a device, is no file to read: never a wait for
    // a writer, never an endless read.
    ::alarm(20);
    ASSERT_EQ(::mkfifo(folder.file("pipe.gsd").c_str(), 0600), 0);
    for (const std::string &path : {folder.file("pipe.gsd"), std::string("/dev/zero")}) {
        EXPECT_FALSE(FileCanBeRead(path)) << path;
        try {
            ReadFileBytes(path);
            FAIL() << path;
        } catch (const EInOutError &error) {
            EXPECT_STREQ(error.what(), "Invalid filename") << path;
        }
    }
    ::alarm(0);
}
