#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

TEST(IniFile, ReadsValuesDefaultsAndNumbers)
{
    TempFolder folder;
    folder.write("s.ini", "[Options]\r\nQuestion=2\r\nHex=0x10\r\nDollar=$1F\r\nJunk=abc\r\nEmpty=\r\n"
                          "Spaced =  7  \r\nBool=5\r\nZero=0\r\n[Recent]\r\nFile0=/a/b.gsd\r\n");
    TIniFile ini(folder.file("s.ini"));
    EXPECT_EQ(ini.ReadInteger("Options", "Question", 0), 2);
    EXPECT_EQ(ini.ReadInteger("options", "QUESTION", 0), 2);
    EXPECT_EQ(ini.ReadInteger("Options", "Hex", 0), 16);
    EXPECT_EQ(ini.ReadInteger("Options", "Dollar", 0), 31);
    EXPECT_EQ(ini.ReadInteger("Options", "Junk", 9), 9);
    EXPECT_EQ(ini.ReadInteger("Options", "Empty", 9), 9);
    EXPECT_EQ(ini.ReadInteger("Options", "Spaced", 0), 7);
    EXPECT_EQ(ini.ReadInteger("Options", "Missing", -3), -3);
    EXPECT_TRUE(ini.ReadBool("Options", "Bool", false));
    EXPECT_FALSE(ini.ReadBool("Options", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("Options", "Junk", true));
    EXPECT_EQ(ini.ReadString("Recent", "File0", ""), "/a/b.gsd");
    EXPECT_EQ(ini.ReadString("Recent", "File1", "d"), "d");
    EXPECT_EQ(ini.ReadString("Nowhere", "File0", "d"), "d");
}

TEST(IniFile, DamagedFilesReadAsDefaults)
{
    TempFolder folder;
    TIniFile missing(folder.file("none.ini"));
    EXPECT_EQ(missing.ReadInteger("Options", "Sort", 4), 4);

    folder.write("bad.ini", std::string("\x00\x01garbage\xFF\r\n=x\r\n[Options\r\nSort=1\r\nkey without equals\r\n"
                                        "[Options]\r\nSort=2\r\nAnswer=1\r\n",
                                        68));
    TIniFile bad(folder.file("bad.ini"));
    // A missing closing bracket still names the section; the first of duplicates counts.
    EXPECT_EQ(bad.ReadInteger("Options", "Sort", 0), 1);
    EXPECT_EQ(bad.ReadInteger("Options", "Answer", 0), 0);
}

TEST(IniFile, LongValuesAreCutAt2047Characters)
{
    TempFolder folder;
    folder.write("s.ini", "[Recent]\r\nFile0=" + std::string(5000, 'p') + "\r\n");
    EXPECT_EQ(TIniFile(folder.file("s.ini")).ReadString("Recent", "File0", "").size(), 2047u);
}

TEST(IniFile, WritesCreateUpdateAndKeepOtherLines)
{
    TempFolder folder;
    TIniFile ini(folder.file("s.ini"));
    ini.WriteInteger("Options", "Question", 3);
    ini.WriteBool("Options", "Freq", true);
    ini.WriteString("Recent", "File0", "/x.gsd");
    ini.WriteInteger("options", "question", -1);
    EXPECT_EQ(folder.read("s.ini"), "[Options]\r\nquestion=-1\r\nFreq=1\r\n[Recent]\r\nFile0=/x.gsd\r\n");
    EXPECT_EQ(ini.ReadInteger("Options", "Question", 0), -1);
}

TEST(IniFile, AnUnwritableFileReportsIt)
{
    TempFolder folder;
    TIniFile ini(folder.file("missing/s.ini"));
    try {
        ini.WriteBool("Options", "Freq", true);
        FAIL();
    } catch (const EIniFileException &error) {
        EXPECT_EQ(error.message(), "Unable to write to " + folder.file("missing/s.ini"));
    }
}

TEST(IniFile, ALineBreakIsNeverWritten)
{
    TempFolder folder;
    TIniFile ini(folder.file("s.ini"));
    ini.WriteInteger("Options", "Question", 1);
    for (const char *value : {"/home/u/a\n[Options]\nQuestion=7\n.gsd", "a\rb"})
        EXPECT_THROW(ini.WriteString("Recent", "File0", value), EIniFileException);
    EXPECT_THROW(ini.WriteString("Rec\nent", "File0", "x"), EIniFileException);
    EXPECT_EQ(folder.read("s.ini"), "[Options]\r\nQuestion=1\r\n");
}
