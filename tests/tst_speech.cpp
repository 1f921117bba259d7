// Speech from outside: glossdeck speak writes what Play says in the Deck's word language, and
// --fill gives a Deck recordings in one rewrite or none at all.
#include "platform/WaveFile.h"
#include "speech/Speaker.h"
#include "support/GlossdeckRun.h"
#include "support/TempFolder.h"
#include "support/TinyDisk.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
class Speak : public ::testing::Test {
protected:
    QString Path(const std::string &name) const { return QString::fromStdString(folder.file(name)); }
    // A code-page Deck of these lines, with its words' language beside it when one is given.
    QString DeckOf(const std::string &lines, const std::string &language = "")
    {
        folder.write("words.gsd", lines);
        if (!language.empty())
            folder.write("words.gsd.review", "word-language=" + language + "\n");
        return Path("words.gsd");
    }
    // The loudest sample, 1 for full scale.
    static double Peak(const TWaveFile &wave)
    {
        int peak = 0;
        for (qint64 i = 0; i < wave.Frames(); ++i)
            peak = std::max(peak, std::abs(int(wave.SampleS16(i, 0))));
        return peak / 32768.0;
    }
    TempFolder folder;
};
} // namespace

TEST_F(Speak, TheWaveGrowsWithTheTextAndIsHeardInTwoLanguages)
{
    const char *const texts[][3] = {{"en", "cat", "the cat sat on the mat and looked at the dog"},
                                    {"ru", "\u043a\u043e\u0442", "\u043a\u043e\u0442 \u0441\u0438\u0434\u0435\u043b "
                                                                 "\u043d\u0430 \u043a\u043e\u0432\u0440\u0435 \u0438 "
                                                                 "\u0441\u043c\u043e\u0442\u0440\u0435\u043b"}};
    for (const auto &text : texts) {
        const QString deck = DeckOf("cat\xB6" "2\xB6\xB6\xB6\xB6\r\n", text[0]);
        ToolRun r = Glossdeck({"speak", deck, QString::fromUtf8(text[1]), Path("short.wav")});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        r = Glossdeck({"speak", deck, QString::fromUtf8(text[2]), Path("long.wav")});
        ASSERT_EQ(r.code, 0) << r.err;
        const TWaveFile shortWave(folder.file("short.wav")), longWave(folder.file("long.wav"));
        EXPECT_GE(shortWave.LengthMs(), 200) << text[0];
        EXPECT_GT(Peak(shortWave), 0.05) << text[0];
        EXPECT_GT(longWave.LengthMs(), shortWave.LengthMs() + 1000) << text[0];
        EXPECT_GT(Peak(longWave), 0.05) << text[0];
    }
}

TEST_F(Speak, AnUnknownLanguageFallsBackAndABlankWordIsRefused)
{
    const QString deck = DeckOf("cat\xB6" "2\xB6\xB6\xB6\xB6\r\n", "xx-nowhere");
    ToolRun r = Glossdeck({"speak", deck, "hello", Path("hello.wav")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("does not know the language \"xx-nowhere\" set for the words of this Deck; they are spoken in"),
              std::string::npos) << r.err;
    EXPECT_GE(TWaveFile(folder.file("hello.wav")).LengthMs(), 200);

    r = Glossdeck({"speak", deck, " \t ", Path("blank.wav")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("there is nothing to speak in"), std::string::npos) << r.err;
    EXPECT_FALSE(QFile::exists(Path("blank.wav")));
    EXPECT_EQ(Glossdeck({"speak", deck, "cat"}).code, 2);
}

TEST_F(Speak, FillGivesEveryItemWithoutARecordingOneInOneRewrite)
{
    const std::string recorded = "tone\xB6" "1\xB6\xB6\xB6" + std::string(GLOSSAD_TESTDATA_DIR) + "/audio/tone.wav\xB6\r\n";
    // A word of its own, a recorded one, a blank word (a no-break space), a line one field
    // short, and the same word again; the end-of-file mark stays with what follows it.
    const QString deck = DeckOf("caf\xE9\xB6" "2\xB6" "coffee\xB6\xB6\xB6\r\n" + recorded +
                                "\xA0 \xB6" "3\xB6\xB6\xB6\xB6\r\nlong day\xB6" "1\xB6\xB6\xB6\r\n"
                                "caf\xE9\xB6" "4\xB6\xB6\xB6\xB6\r\n\x1Ahidden");
    ToolRun r = Glossdeck({"speak", deck, "--fill", Path("sounds")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "3 recordings written into " + folder.file("sounds") + "; 1 Items without a word to speak skipped\n");
    EXPECT_EQ(folder.read("words.gsd"), "caf\xE9\xB6" "2\xB6" "coffee\xB6\xB6sounds/caf\xE9.wav\xB6\r\n" + recorded +
                                            "\xA0 \xB6" "3\xB6\xB6\xB6\xB6\r\nlong day\xB6" "1\xB6\xB6\xB6sounds/long-day.wav\xB6\r\n"
                                            "caf\xE9\xB6" "4\xB6\xB6\xB6sounds/caf\xE9-2.wav\xB6\r\n\x1Ahidden");
    for (const char *name : {"caf\u00e9.wav", "long-day.wav", "caf\u00e9-2.wav"})
        EXPECT_GE(TWaveFile(Path("sounds/") + QString::fromUtf8(name)).LengthMs(), 200) << name;

    // Nothing is left to record: the Deck stays as it is.
    const std::string filled = folder.read("words.gsd");
    r = Glossdeck({"speak", deck, "--fill", Path("sounds")});
    EXPECT_EQ(r.out.substr(0, 12), "0 recordings");
    EXPECT_EQ(folder.read("words.gsd"), filled);
}

TEST_F(Speak, AFillThatCannotFinishLeavesTheDeckAndTheFolderAsTheyWere)
{
    QDir().mkpath(Path("tiny"));
    const TinyDisk disk(folder.file("tiny"));
    if (!disk.mounted())
        GTEST_SKIP() << "no tmpfs to fill";
    std::string lines;
    for (const char *word : {"alpha beta gamma", "delta epsilon zeta", "eta theta iota", "kappa lambda mu"})
        lines += std::string(word) + "\xB6" "1\xB6\xB6\xB6\xB6\r\n";
    const QString deck = DeckOf(lines);
    const ToolRun r = Glossdeck({"speak", deck, "--fill", Path("tiny")});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Disk full"), std::string::npos) << r.err;
    EXPECT_EQ(folder.read("words.gsd"), lines);
    EXPECT_TRUE(QDir(Path("tiny")).entryList(QDir::Files).isEmpty());
}

TEST(Speaker, SpeaksInTheBackgroundAndANewTextReplacesTheOneStillBeingSpoken)
{
    TSpeaker speaker;
    std::vector<qint64> lengths;
    QObject::connect(&speaker, &TSpeaker::Spoken, [&](std::shared_ptr<TWaveFile> sound) { lengths.push_back(sound->LengthMs()); });
    speaker.Speak(QString("a definition far too long to wait for ").repeated(500), "en");
    EXPECT_TRUE(speaker.Busy());
    speaker.Speak("cat", "en");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !speaker.Busy(); }, 20000));
    speaker.Speak("dog", "en-gb");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !speaker.Busy(); }, 20000));
    ASSERT_EQ(lengths.size(), 2u);
    for (qint64 length : lengths)
        EXPECT_LT(length, 2000);
}
