// Importing a 10,000-note Anki package with 2,000 media files and 50,000 reviews: the package
// read, the media written beside the new Deck, the reviews replayed into its log. Beside it,
// anki-reader under Node reading the same package (collection and media into memory), measured
// in the same run when build/anki-peers holds it (the anki_peers test installs it there).
#include "bench/NodePeer.h"
#include "exchange/DeckExport.h"
#include "exchange/DeckImport.h"
#include "review/ReviewHistory.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <random>

namespace {

constexpr int Notes = 10000;
constexpr int Media = 2000;
QTemporaryDir *workFolder = nullptr;
std::string package;

std::string PathOf(const QString &name) { return workFolder->filePath(name).toStdString(); }

// A Deck whose every fifth Item has a picture of 20 KB, half of its Items reviewed ten times,
// exported as a package.
std::string MakePackage()
{
    std::mt19937 random(11);
    QDir(workFolder->path()).mkdir(QStringLiteral("pictures"));
    std::ofstream deck(PathOf("source.gsd"), std::ios::binary);
    deck << "\xEF\xBB\xBF";
    std::vector<WordReview> reviews;
    for (int i = 0; i < Notes; ++i) {
        const std::string word = "word" + std::to_string(i);
        std::string picture;
        if (i % (Notes / Media) == 0) {
            picture = "pictures/p" + std::to_string(i) + ".png";
            std::string bytes(20000, '\0');
            for (char &c : bytes)
                c = char(random());
            std::ofstream(PathOf(QString::fromStdString(picture)), std::ios::binary) << bytes;
        }
        deck << word << "\xC2\xB6" "2\xC2\xB6<b>the</b> meaning of " << word << "\xC2\xB6" << picture << "\xC2\xB6\xC2\xB6\r\n";
        for (int r = 0; i % 2 == 0 && r < 10; ++r)
            reviews.push_back({word, 1700000000 + r * 86400 * 3 + i, Grade(1 + random() % 4)});
    }
    deck.close();
    std::ofstream(PathOf("source.gsd.review"), std::ios::binary) << ReplayedLog(reviews);
    ExportDeck(PathOf("source.gsd"), PathOf("deck.apkg"), ExchangeFormat::AnkiPackage);
    return PathOf("deck.apkg");
}

void BM_ImportPackage(benchmark::State &state)
{
    const std::string deck = PathOf("words.gsd");
    for (auto _ : state) {
        const ImportSummary summary = ImportDeck(package, deck);
        state.PauseTiming();
        if (summary.imported != Notes || summary.mediaCopied != Media)
            state.SkipWithError("the package did not import whole");
        QDir(workFolder->filePath("words.media")).removeRecursively();
        QFile::remove(workFolder->filePath("words.gsd"));
        QFile::remove(workFolder->filePath("words.gsd.review"));
        state.ResumeTiming();
    }
}

// anki-reader reading the same package, timed by Node itself.
void BM_AnkiReaderReadsPackage(benchmark::State &state)
{
    const QString reader = QStringLiteral(GLOSSAD_BUILD_DIR "/anki-peers/node_modules/anki-reader/lib/src/index.js");
    const QString script = QStringLiteral(
        "const fs = require('fs'); import(process.argv[1]).then(async ({readAnkiPackage}) => {"
        "const bytes = fs.readFileSync(process.argv[2]); let best = Infinity;"
        "for (let i = 0; i < 3; ++i) { const t = process.hrtime.bigint();"
        "const p = await readAnkiPackage(new Blob([bytes])); let n = 0;"
        "for (const d of Object.values(p.collection.getDecks())) n += Object.keys(d.getCards()).length;"
        "for (const b of Object.values(p.media)) await b.arrayBuffer();"
        "best = Math.min(best, Number(process.hrtime.bigint() - t)); if (n < 1) throw 'no cards'; }"
        "console.log(best); });");
    ReportNodeTiming(state, script, {reader, QString::fromStdString(package)},
                     "anki-reader is not installed in build/anki-peers, or Node is missing");
}

} // namespace

BENCHMARK(BM_ImportPackage)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_AnkiReaderReadsPackage)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    workFolder = &folder;
    package = MakePackage();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
