// Other programs' decks in and out: Anki packages of both schemas, plain text and KVTML, round
// trips, and hostile files refused with nothing written.
#include "exchange/AnkiCollectionSchema.h"
#include "exchange/DeckExport.h"
#include "exchange/DeckImport.h"
#include "exchange/SqliteDatabase.h"
#include "exchange/ZipArchive.h"
#include "review/ReviewHistory.h"
#include "support/OrdinaryUser.h"
#include "support/TempFolder.h"
#include "support/TinyDisk.h"

#include <QDir>

#include <gtest/gtest.h>
#include <zstd.h>

namespace {

const std::string S = "\xC2\xB6";   // the separator of a UTF-8 Deck
const std::string Mark = "\xEF\xBB\xBF";

std::string Zstd(const std::string &bytes)
{
    std::string out(ZSTD_compressBound(bytes.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 1));
    return out;
}

// A protocol buffer field: its key and bytes.
std::string ProtoBytes(int field, const std::string &bytes)
{
    std::string out(1, char(field << 3 | 2));
    for (size_t size = bytes.size();; size >>= 7) {
        out += char((size & 0x7F) | (size > 0x7F ? 0x80 : 0));
        if (size <= 0x7F)
            break;
    }
    return out + bytes;
}

struct Note {
    std::string fields;   // separated by 0x1F
    std::string tags;
};

// An Anki collection in the older schema with these notes, a card each, and reviews of
// (note, milliseconds, ease).
std::string Collection(const std::vector<Note> &notes, const std::vector<std::tuple<int, long long, int>> &reviews = {})
{
    SqliteDatabase db;
    db.Execute(AnkiSchemaStatements());
    for (size_t i = 0; i < notes.size(); ++i) {
        auto note = db.Prepare("INSERT INTO notes VALUES (?1, 'g', 1, 0, 0, ?2, ?3, '', 0, 0, '')");
        note.Bind(1, (long long)i + 100);
        note.Bind(2, notes[i].tags);
        note.Bind(3, notes[i].fields);
        note.Run();
        db.Execute("INSERT INTO cards VALUES (" + std::to_string(i + 500) + ", " + std::to_string(i + 100) +
                   ", 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '')");
    }
    for (const auto &[note, ms, ease] : reviews)
        db.Execute("INSERT INTO revlog VALUES (" + std::to_string(ms) + ", " + std::to_string(note + 500) + ", 0, " +
                   std::to_string(ease) + ", 0, 0, 0, 0, 1)");
    return db.Bytes();
}

std::string Package(const std::vector<std::pair<std::string, std::string>> &entries)
{
    ZipWriter zip;
    for (const auto &[name, bytes] : entries)
        zip.Add(name, bytes, true);
    return zip.Finish();
}

class DeckExchange : public ::testing::Test {
protected:
    std::string Path(const std::string &name) const { return folder.file(name); }
    ImportSummary Import(const std::string &name, const std::string &bytes)
    {
        folder.write(name, bytes);
        return ImportDeck(Path(name), Path("words.gsd"));
    }
    // The import fails with a message holding `words`, and leaves nothing behind.
    void ExpectRefused(const std::string &name, const std::string &bytes, const std::string &words)
    {
        try {
            Import(name, bytes);
            ADD_FAILURE() << name << " was imported";
        } catch (const Exception &e) {
            EXPECT_NE(e.message().find(words), std::string::npos) << e.message();
        }
        EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("words.gsd"))));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("words.media"))));
    }
    TempFolder folder;
};

} // namespace

TEST_F(DeckExchange, AnOlderPackageGivesItsNotesMediaAndHistory)
{
    const std::string png = ReadWholeFile(GLOSSAD_SOURCE_DIR "/app/resources/Abmp.bmp");
    const std::string mp3 = ReadWholeFile(GLOSSAD_TESTDATA_DIR "/audio/tone.mp3");
    const std::vector<Note> notes{
        {"chat\x1f<div>the <b>cat</b></div><div>pet &amp; friend</div><img src=\"cat.bmp\">[sound:miaou.mp3]",
         " animal Frequency::4 "},
        {"<i>only a word</i>", ""},                              // one field
        {"  \x1f<br>empty word", ""},                            // skipped
        {"chat\x1f" "again", ""},                                // duplicate
        {"soup<b\x1f<p>a<<b>&unknown; &#x263A; <script>x()</script>\xff</p><img src='missing.png'>", ""}};
    const std::string package = Package({{"collection.anki2", Collection(notes, {{0, 1718098200000, 3}, {0, 1718098800000, 4},
                                                                                  {3, 1718098900000, 1}})},
                                         {"media", R"({"0": "cat.bmp", "1": "miaou.mp3"})"},
                                         {"0", png},
                                         {"1", mp3}});
    const ImportSummary summary = Import("deck.apkg", package);
    EXPECT_EQ(summary.Text().toStdString(), "Items imported: 3\nItems skipped: 2 (empty word: 1, duplicate word: 1)\n"
                                            "Media files copied: 2\nMedia files not found: 1\nReviews taken over: 2");
    EXPECT_EQ(folder.read("words.gsd"),
              Mark + "chat" + S + "4" + S + "the cat; pet & friend" + S + "words.media/cat.bmp" + S +
                  "words.media/miaou.mp3" + S + "\r\nonly a word" + S + "0" + S + S + S + S + "\r\nsoup<b" + S + "0" + S +
                  "a<&unknown; \u263A \uFFFD" + S + S + S + "\r\n");
    EXPECT_EQ(folder.read("words.media/cat.bmp"), png);
    EXPECT_EQ(folder.read("words.media/miaou.mp3"), mp3);
    const auto history = ReadWordReviews(Path("words.gsd.review"));
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[1].word, "chat");
    EXPECT_EQ(history[1].time, 1718098800);
    EXPECT_EQ(history[1].grade, Grade::Easy);
}

TEST_F(DeckExchange, ANewerPackageWithCompressedCollectionMapAndMedia)
{
    const std::string picture = "\x89PNG not really";
    // Field 1 the name; field 255 (a two-byte key) the archive entry when it is not the position.
    const std::string map = ProtoBytes(1, ProtoBytes(1, "a.png") + std::string("\x10\x05", 2)) +
                            ProtoBytes(1, ProtoBytes(1, "b.png") + std::string("\xF8\x0F\x07", 3));
    const std::string package =
        Package({{"collection.anki2", "please update Anki"},
                 {"collection.anki21b", Zstd(Collection({{"uno\x1fone<img src=a.png>", ""}, {"dos\x1ftwo<img src=\"b.png\">", ""}}))},
                 {"media", Zstd(map)},
                 {"0", Zstd(picture)},
                 {"7", Zstd(picture + "7")},
                 {"meta", std::string("\x08\x03", 2)}});
    EXPECT_EQ(Import("deck.colpkg", package).mediaCopied, 2);
    EXPECT_EQ(folder.read("words.media/a.png"), picture);
    EXPECT_EQ(folder.read("words.media/b.png"), picture + "7");
}

TEST_F(DeckExchange, HostileArchivesAreRefusedAndLeaveNothing)
{
    const std::string good = Package({{"collection.anki2", Collection({{"w\x1f" "d<img src=x.png>", ""}})},
                                      {"media", R"({"0": "x.png"})"},
                                      {"0", "png"}});
    ExpectRefused("cut.apkg", good.substr(0, good.size() / 2), "zip");
    ExpectRefused("none.apkg", Package({{"readme", "hello"}}), "no Anki collection");
    ExpectRefused("text.apkg", Package({{"collection.anki2", "not a database at all, just text"}}), "cannot be read");
    SqliteDatabase odd;
    odd.Execute("CREATE TABLE notes (id integer, front text)");
    ExpectRefused("odd.apkg", Package({{"collection.anki2", odd.Bytes()}}), "no such column: flds");
    SqliteDatabase view;
    view.Execute("CREATE TABLE t (x); CREATE VIEW notes AS SELECT 1 AS id, 'a' AS flds, '' AS tags FROM t");
    ExpectRefused("view.apkg", Package({{"collection.anki2", view.Bytes()}}), "no notes table");
    // A medium that would unpack to 300 MB, beyond what one medium may take.
    ZSTD_CCtx *context = ZSTD_createCCtx();
    std::string bomb(4 << 20, '\0');
    ZSTD_outBuffer out{bomb.data(), bomb.size(), 0};
    const std::string zeros(1 << 20, '\0');
    ZSTD_CCtx_setPledgedSrcSize(context, 300ull << 20);
    for (int i = 0; i < 300; ++i) {
        ZSTD_inBuffer in{zeros.data(), zeros.size(), 0};
        ZSTD_compressStream2(context, &out, &in, i == 299 ? ZSTD_e_end : ZSTD_e_continue);
    }
    ZSTD_freeCCtx(context);
    bomb.resize(out.pos);
    ExpectRefused("bomb.apkg",
                  Package({{"collection.anki2", Collection({{"w\x1f<img src=x.png>", ""}})}, {"media", R"({"0": "x.png"})"}, {"0", bomb}}),
                  "more than 256 MB");
    // A field of two megabytes of markup that never closes reads in one pass.
    std::string soup;
    for (int i = 0; i < 200000; ++i)
        soup += "<a&[sound:";
    EXPECT_EQ(Import("soup.apkg", Package({{"collection.anki2", Collection({{soup, "#" + soup}})}})).imported, 1);
    EXPECT_EQ(folder.read("words.gsd").size(), 3 + soup.size() + 5 * 2 + 1 + 2);
    QFile::remove(QString::fromStdString(Path("words.gsd")));
    // An entry that claims 4 GB in the archive's directory.
    std::string liar = Package({{"collection.anki2", Collection({{"w\x1f<img src=x.png>", ""}})}, {"media", R"({"0": "x.png"})"}, {"0", "tiny"}});
    const size_t central = liar.rfind(std::string("PK\x01\x02", 4));
    liar.replace(central + 24, 4, "\xF0\xFF\xFF\xFF");
    ExpectRefused("liar.apkg", liar, "");
}

TEST_F(DeckExchange, MediaNamesThatClimbOutStayInTheMediaFolder)
{
    const std::string package =
        Package({{"collection.anki2", Collection({{"a\x1f<img src=\"../../.bashrc\">[sound:/tmp/evil.mp3]", ""},
                                                  {"b\x1f<img src=\"sub/dir\\x.png\">", ""},
                                                  {"c\x1f<img src=\"..\">", ""},
                                                  {"d\x1f<img src=\"x.png\">", ""}})},
                 {"media", R"({"0": "../../.bashrc", "1": "/tmp/evil.mp3", "2": "sub/dir\\x.png", "3": "..", "4": "x.png"})"},
                 {"0", "rc"}, {"1", "mp3"}, {"2", "x1"}, {"3", "dots"}, {"4", "x2"}});
    QDir("/").mkpath(QString::fromStdString(Path("deep/er")));
    folder.write("deep/er/deck.apkg", package);
    ImportDeck(Path("deep/er/deck.apkg"), Path("deep/er/words.gsd"));
    EXPECT_EQ(QDir(QString::fromStdString(Path("deep/er/words.media"))).entryList(QDir::Files | QDir::Hidden),
              QStringList({"bashrc", "evil.mp3", "medium", "x (2).png", "x.png"}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path(".bashrc"))));
    const std::string deck = folder.read("deep/er/words.gsd");
    EXPECT_NE(deck.find("words.media/bashrc" + S + "words.media/evil.mp3"), std::string::npos);
}

TEST_F(DeckExchange, ExportedPackagesTextAndKvtmlComeBackTheSame)
{
    const std::string bmp = ReadWholeFile(GLOSSAD_SOURCE_DIR "/app/resources/Abmp.bmp");
    QDir().mkpath(QString::fromStdString(Path("pics")));
    folder.write("pics/a b.bmp", bmp);
    // A code-page Deck with a relative picture, an absolute sound, markup-like text and a tab.
    folder.write("deck.gsd", "caf\xE9\xB6" "3\xB6<b>&amp;\tsemi; colon\xB6pics/a b.bmp\xB6" + Path("pics/a b.bmp") +
                                 "\xB6\r\nplain\xB6" "0\xB6\xB6\xB6\xB6\r\n");
    const std::vector<WordReview> reviews{{"caf\u00e9", 1718098200, Grade::Good}, {"caf\u00e9", 1718098200, Grade::Again},
                                          {"plain", 1718184600, Grade::Hard}};
    folder.write("deck.gsd.review", ReplayedLog(reviews));
    const std::string expected = Mark + "caf\u00e9" + S + "3" + S + "<b>&amp;\tsemi; colon" + S + "words.media/a b.bmp" + S +
                                 "words.media/a b.bmp" + S + "\r\nplain" + S + "0" + S + S + S + S + "\r\n";
    for (const char *out : {"out.apkg", "out.tsv", "out.csv", "out.kvtml"}) {
        SCOPED_TRACE(out);
        ExportDeck(Path("deck.gsd"), Path(out), *FormatOfFileName(out));
        const ImportSummary summary = ImportDeck(Path(out), Path("words.gsd"));
        std::string deck = folder.read("words.gsd");
        if (std::string(out) == "out.kvtml")   // KVTML has no frequency
            deck.replace(deck.find("caf\u00e9" + S) + 7, 1, "3");
        EXPECT_EQ(deck.substr(0, deck.find("\r\n")), expected.substr(0, expected.find("\r\n")));
        EXPECT_EQ(folder.read("words.media/a b.bmp"), bmp);
        if (std::string(out) == "out.apkg") {
            EXPECT_EQ(summary.mediaCopied, 1);   // the same file once, as the package holds it
            const auto history = ReadWordReviews(Path("words.gsd.review"));
            ASSERT_EQ(history.size(), 3u);
            for (size_t i = 0; i < 3; ++i)
                EXPECT_TRUE(history[i].word == reviews[i].word && history[i].time == reviews[i].time &&
                            history[i].grade == reviews[i].grade);
        }
        QDir(QString::fromStdString(Path("words.media"))).removeRecursively();
        QFile::remove(QString::fromStdString(Path("words.gsd.review")));
    }
}

TEST_F(DeckExchange, PlainTextListsInTheirManyForms)
{
    auto deckOf = [&](const std::string &name, const std::string &bytes) {
        Import(name, bytes);
        return folder.read("words.gsd");
    };
    const std::string two = Mark + "a" + S + "0" + S + "b" + S + S + S + "\r\nc" + S + "0" + S + "d" + S + S + S + "\r\n";
    EXPECT_EQ(deckOf("l.txt", "a\tb\nc\td\n"), two);
    EXPECT_EQ(deckOf("l.csv", "Word,Definition\r\na,b\r\n\"c\",\"d\"\r\n"), two);
    EXPECT_EQ(deckOf("l.csv", Mark + "a;b\nc;d"), two);
    EXPECT_EQ(deckOf("l.csv", "\"x, \"\"y\"\"\",\"two\nlines\"\n"), Mark + "x, \"y\"" + S + "0" + S + "two; lines" + S + S + S + "\r\n");
    EXPECT_EQ(deckOf("l.txt", "caf\xE9\tna\xEFve\n"), Mark + "caf\u00e9" + S + "0" + S + "na\u00efve" + S + S + S + "\r\n");
    EXPECT_EQ(deckOf("l.txt", std::string("\xFF\xFE" "a\0\t\0b\0", 8)), Mark + "a" + S + "0" + S + "b" + S + S + S + "\r\n");
    // Anki's export of notes: a guid, the note type and the deck before the fields, tags last.
    EXPECT_EQ(deckOf("l.txt", "#separator:Semicolon\n#html:true\n#guid column:1\n#notetype column:2\n#deck column:3\n"
                              "#tags column:6\nG1;Basic;Deck;<b>w</b>;\"d&lt;<br>e\";x Frequency::5\n"),
              Mark + "w" + S + "5" + S + "d<; e" + S + S + S + "\r\n");
    EXPECT_EQ(deckOf("l.tsv", "#columns:Frequency\tAudio\tBack\tFront\n2\tsnd.mp3\tdef\tword\n"),
              Mark + "word" + S + "2" + S + "def" + S + S + S + "\r\n");   // the sound is not there
}

TEST_F(DeckExchange, KvtmlFilesRealAndDamaged)
{
    // Every file of KDE's vocabulary collection imports; one is not the UTF-8 it declares.
    int files = 0;
    QDirIterator kvtml("/usr/share/apps/kvtml", {"*.kvtml"}, QDir::Files, QDirIterator::Subdirectories);
    while (kvtml.hasNext()) {
        const std::string path = QFile::encodeName(kvtml.next()).toStdString();
        QFile::remove(QString::fromStdString(Path("words.gsd")));
        const ImportSummary summary = ImportDeck(path, Path("words.gsd"));
        EXPECT_GT(summary.imported, 0) << path;
        EXPECT_EQ(!summary.remarks.empty(), path.ends_with("sv/animals.kvtml")) << path;
        ++files;
    }
    if (files == 0)
        GTEST_SKIP() << "kdeedu-kvtml-data is not installed";
    EXPECT_GT(files, 300);

    folder.write("p.png", "picture");
    const std::string version2 = R"(<?xml version="1.0" encoding="UTF-8"?><kvtml version="2.0"><identifiers>
        <identifier id="1"/><identifier id="0"/></identifiers><entries><entry id="0">
        <translation id="0"><text>Hund</text><comment>a pet</comment></translation>
        <translation id="1"><text>dog</text><image>p.png</image><sound>file:///nowhere/x.wav</sound></translation>
        </entry></entries></kvtml>)";
    EXPECT_EQ(Import("v2.kvtml", version2).mediaMissing, 1);
    EXPECT_EQ(folder.read("words.gsd"), Mark + "dog" + S + "0" + S + "Hund" + S + "words.media/p.png" + S + S + "\r\n");
    Import("v1.kvtml", "<?xml version=\"1.0\"?>\n<kvtml encoding=\"UTF-8\"><e><o>un</o><t>one</t><t>eins</t></e><e><o>deux</o><t/></e></kvtml>");
    EXPECT_EQ(folder.read("words.gsd"), Mark + "un" + S + "0" + S + "one" + S + S + S + "\r\ndeux" + S + "0" + S + S + S + S + "\r\n");
    QFile::remove(QString::fromStdString(Path("words.gsd")));
    QDir(QString::fromStdString(Path("words.media"))).removeRecursively();
    ExpectRefused("bad.kvtml", "<?xml version=\"1.0\"?><kvtml version=\"2.0\"><entries><entry>", "not well-formed");
}

TEST_F(DeckExchange, AFullDiskLeavesNoHalfImport)
{
    TinyDisk disk(Path("tiny"));
    if (!disk.mounted())
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const std::string package = Package({{"collection.anki2", Collection({{"w\x1f<img src=x.png>", ""}})},
                                         {"media", R"({"0": "x.png"})"},
                                         {"0", std::string(200000, 'p')}});
    folder.write("deck.apkg", package);
    EXPECT_THROW(ImportDeck(Path("deck.apkg"), disk.file("words.gsd")), EInOutError);
    EXPECT_TRUE(QDir(QString::fromStdString(disk.file(""))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST_F(DeckExchange, ACancelledImportChangesNothingAndADoneOneReplacesTheOldLog)
{
    folder.write("words.gsd", "old\xB6" "2\xB6\xB6\xB6\xB6\r\n");
    folder.write("words.gsd.review", ReplayedLog({{"old", 1718098200, Grade::Good}}));
    folder.write("p.png", "picture");
    folder.write("list.tsv", "a\tb\tp.png\n#c\td\n");
    folder.write("list2.tsv", "Word\tDefinition\tVisual\na\tb\tp.png\n");
    const std::string log = folder.read("words.gsd.review");
    // Stopped at the last moment, once the media are copied.
    EXPECT_THROW(ImportDeck(Path("list2.tsv"), Path("words.gsd"), [](int done, int total) { return total == 0 || done < total; }),
                 EImportCancelled);
    EXPECT_EQ(folder.read("words.gsd"), "old\xB6" "2\xB6\xB6\xB6\xB6\r\n");
    EXPECT_EQ(folder.read("words.gsd.review"), log);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("words.media"))));
    // An Item of the new Deck never takes the state of an old one of the same word.
    ImportDeck(Path("list.tsv"), Path("words.gsd"));
    EXPECT_TRUE(ReadWordReviews(Path("words.gsd.review")).empty());
    EXPECT_EQ(folder.read("words.gsd"), Mark + "a" + S + "0" + S + "b" + S + S + S + "\r\n#c" + S + "0" + S + "d" + S + S + S + "\r\n");
}

TEST_F(DeckExchange, DamagedMediaListsAndADeckThatMayNotBeWritten)
{
    const std::string collection = Collection({{"w\x1fd<img src=x.png>", ""}});
    ExpectRefused("json.apkg", Package({{"collection.anki2", collection}, {"media", "{\"0\": "}}), "media list");
    ExpectRefused("proto.apkg", Package({{"collection.anki21b", Zstd(collection)}, {"media", Zstd(ProtoBytes(1, "\x0a\x7f"))}}),
                  "media list");

    RUN_AS_ORDINARY_USER();
    // The Deck is refused after the new log was written: the old log comes back, the media go.
    folder.write("words.gsd", "old\xB6" "2\xB6\xB6\xB6\xB6\r\n");
    folder.write("words.gsd.review", ReplayedLog({{"old", 1718098200, Grade::Good}}));
    const std::string log = folder.read("words.gsd.review");
    ::chmod(Path("words.gsd").c_str(), 0444);
    folder.write("deck.apkg", Package({{"collection.anki2", Collection({{"w\x1fd<img src=x.png>", ""}}, {{0, 1718098300000, 3}})},
                                       {"media", R"({"0": "x.png"})"},
                                       {"0", "png"}}));
    EXPECT_THROW(ImportDeck(Path("deck.apkg"), Path("words.gsd")), EFCreateError);
    EXPECT_EQ(folder.read("words.gsd"), "old\xB6" "2\xB6\xB6\xB6\xB6\r\n");
    EXPECT_EQ(folder.read("words.gsd.review"), log);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("words.media"))));
}

TEST_F(DeckExchange, AnExportCountsTheMediaItCouldNotFind)
{
    folder.write("deck.gsd", "w\xB6" "1\xB6" "d\xB6gone.png\xB6\xB6\r\n");
    const ExportSummary summary = ExportDeck(Path("deck.gsd"), Path("out.apkg"), ExchangeFormat::AnkiPackage);
    EXPECT_EQ(summary.Text().toStdString(), "Items exported: 1\nMedia files not found: 1");
    EXPECT_EQ(ImportDeck(Path("out.apkg"), Path("words.gsd")).imported, 1);
    EXPECT_EQ(folder.read("words.gsd"), Mark + "w" + S + "1" + S + "d" + S + S + S + "\r\n");
}
