#include "platform/Dialogs.h"
#include "platform/Exceptions.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <cerrno>

TEST(GeneralErrorBox, AddsFullStopOnlyAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(GeneralErrorText("File not found"), "File not found.");
    EXPECT_EQ(GeneralErrorText("I/O error 5"), "I/O error 5.");
    EXPECT_EQ(GeneralErrorText("Done."), "Done.");
    EXPECT_EQ(GeneralErrorText("(x)"), "(x)");
    EXPECT_EQ(GeneralErrorText("a-"), "a-");
    EXPECT_EQ(GeneralErrorText(""), "");
    ShowGeneralError("Disk full");
    ASSERT_EQ(Scripted().shown.size(), 1u);
    EXPECT_EQ(Scripted().shown[0].kind, ShownBox::GeneralError);
    EXPECT_EQ(Scripted().shown[0].text, "Disk full.");
}

TEST(InOutErrors, MapErrnoToTheUsersTexts)
{
    EXPECT_EQ(InOutErrorText(ENOENT), "File not found");
    EXPECT_EQ(InOutErrorText(EACCES), "File access denied");
    EXPECT_EQ(InOutErrorText(ENOSPC), "Disk full");
    EXPECT_EQ(InOutErrorText(EMFILE), "Too many open files");
    EXPECT_EQ(InOutErrorText(ENAMETOOLONG), "Invalid filename");
    EXPECT_EQ(InOutErrorText(EIO), "I/O error 5");
    EXPECT_EQ(EInOutError(ENOSPC).errorCode(), ENOSPC);
}

TEST(IntegerConversion, DecimalHexadecimalAndFailures)
{
    int v = 0;
    EXPECT_TRUE(TryStrToInt("42", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(TryStrToInt("-7", v));
    EXPECT_EQ(v, -7);
    EXPECT_TRUE(TryStrToInt("0x1F", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(TryStrToInt("$ff", v));
    EXPECT_EQ(v, 255);
    EXPECT_TRUE(TryStrToInt("0XFFFFFFFF", v));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(TryStrToInt("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    for (const char *bad : {"", "x", "12a", "0x", "$", "2147483648", "1 2", "0x100000000", " "})
        EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    try {
        StrToInt("x");
        FAIL();
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
    }
}
