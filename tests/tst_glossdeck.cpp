// glossdeck from outside: what due, review, stats and settings print, and bad input refused with
// a clear message, a non-zero exit and nothing changed.
#include "support/GlossdeckRun.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

class GlossDeck : public ::testing::Test {
protected:
    void SetUp() override { folder.write("words.gsd", "apple\xB6" "2\xB6\xB6\xB6\xB6\r\ncaf\xE9\xB6" "3\xB6\xB6\xB6\xB6\r\n"); }
    QString Deck() const { return QString::fromStdString(folder.file("words.gsd")); }
    std::string Log() const { return folder.read("words.gsd.review"); }
    TempFolder folder;
};

} // namespace

TEST_F(GlossDeck, ReviewDueAndStatsTellTheSameStory)
{
    ToolRun r = Glossdeck({"review", Deck(), "caf\u00e9", "3", "--at", "2024-06-11T09:30:00Z"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "caf\u00e9\tlearning\t2.3065\t2.11810397\t1\t2024-06-11T09:40:00Z\n");
    r = Glossdeck({"review", Deck(), "apple", "4", "--at", "2024-06-11T11:30:00+02:00"});
    EXPECT_EQ(r.out, "apple\treview\t8.2956\t1\t1\t2024-06-19T09:30:00Z\n");

    r = Glossdeck({"due", Deck(), "--at", "2024-06-11T09:40:00Z"});
    EXPECT_EQ(r.out, "caf\u00e9\tlearning\t2.3065\t2.11810397\t1\t2024-06-11T09:40:00Z\n");
    r = Glossdeck({"due", Deck(), "--at", "2024-06-12T09:40:00Z", "--all"});
    EXPECT_EQ(r.out, "apple\treview\t8.2956\t1\t0.98292344\t2024-06-19T09:30:00Z\n"
                     "caf\u00e9\tlearning\t2.3065\t2.11810397\t0.9468475\t2024-06-11T09:40:00Z\n");

    r = Glossdeck({"stats", Deck(), "--at", "2024-06-11T12:00:00Z"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 42), "new 0\nlearning 1\nreview 1\ndue-today 1\ndue ");
    EXPECT_NE(r.out.find(" 2/2 100.0%\n"), std::string::npos);

    r = Glossdeck({"settings", Deck(), "new-per-day=5", "word-language=en"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("new-per-day=5\n"), std::string::npos);
    EXPECT_NE(Log().find("word-language=en\n"), std::string::npos);
}

TEST_F(GlossDeck, AUtf8DeckIsReviewedByItsOwnWords)
{
    // "ж" holds the byte B6 in UTF-8: the word must come through whole, not read as code page.
    folder.write("words.gsd", "\xEF\xBB\xBF\xD0\xB6\xD1\x83\xD0\xBA\xC2\xB6" "2\xC2\xB6\xC2\xB6\xC2\xB6\xC2\xB6\r\n");
    const ToolRun r = Glossdeck({"review", Deck(), "\u0436\u0443\u043a", "3", "--at", "2024-06-11T09:30:00Z"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 16), "\u0436\u0443\u043a\tlearning\t");
    EXPECT_NE(Log().find("\t\u0436\u0443\u043a\n"), std::string::npos);
}

TEST_F(GlossDeck, BadInputIsRefusedAndChangesNothing)
{
    ASSERT_EQ(Glossdeck({"review", Deck(), "apple", "3", "--at", "2024-06-11T09:30:00Z"}).code, 0);
    const std::string before = Log();
    struct Case {
        QStringList args;
        int code;
        const char *message;
    };
    const Case cases[] = {
        {{"due", Deck() + "x"}, 1, "no such Deck: "},
        {{"review", Deck(), "pear", "3"}, 1, "\"pear\" is not a word of "},
        {{"review", Deck(), "apple", "5"}, 1, "the grade is 1 (Again), 2 (Hard), 3 (Good) or 4 (Easy), not \"5\""},
        {{"review", Deck(), "apple", "3", "--at", "2024-06-10T09:30:00Z"}, 1, "is before the last review of \"apple\""},
        {{"review", Deck(), "apple", "3", "--at", "tomorrow"}, 1, "\"tomorrow\" is not a time in ISO 8601 form"},
        {{"settings", Deck(), "desired-retention=1.5"}, 1, "desired-retention: the desired retention is a number between 0 and 1"},
        {{"due", Deck(), "--soon"}, 2, "unknown option --soon"},
        {{"fly", Deck()}, 2, "unknown command \"fly\""},
    };
    for (const Case &c : cases) {
        const ToolRun r = Glossdeck(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString();
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(Log(), before);
    }
    folder.write("words.gsd.review", before + "not a review\n");
    const ToolRun r = Glossdeck({"review", Deck(), "apple", "3"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("words.gsd.review is damaged; nothing was changed"), std::string::npos) << r.err;
    EXPECT_EQ(Log(), before + "not a review\n");
}

TEST_F(GlossDeck, ImportAndExportPrintTheirSummaryAndRefuseWhatTheyCannotDo)
{
    folder.write("list.tsv", "chat\tcat\nchien\tdog\n");
    const QString list = QString::fromStdString(folder.file("list.tsv"));
    ToolRun r = Glossdeck({"import", list, Deck()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "glossdeck: " + Deck().toStdString() + " exists already; nothing was written. Choose another name for the new Deck.\n");
    const QString fresh = QString::fromStdString(folder.file("fresh.gsd"));
    r = Glossdeck({"import", list, fresh});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Items imported: 2\nItems skipped: 0 (empty word: 0, duplicate word: 0)\nMedia files copied: 0\n");

    r = Glossdeck({"export", fresh, QString::fromStdString(folder.file("out.doc"))});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("give --format"), std::string::npos);
    r = Glossdeck({"export", fresh, QString::fromStdString(folder.file("out.doc")), "--format", "csv"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Items exported: 2\n");
    EXPECT_EQ(folder.read("out.doc"), "#separator:comma\r\n#html:false\r\n#columns:Word,Definition,Frequency,Visual,Audio\r\n"
                                      "chat,cat,0,,\r\nchien,dog,0,,\r\n");
}
