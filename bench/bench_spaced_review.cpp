// Spaced review on a large Deck: opening the Study page in spaced mode on a 100,000-Item Deck
// whose review log holds 1,000,000 reviews, and what follows a grade (the review written and
// synced, the next Item chosen and asked). Beside them, the scheduler's own speed next to the
// reference scheduler ts-fsrs under Node, measured in the same run when build/ts-fsrs holds it
// (the fsrs_reference test installs it there).
#include "bench/MainWindowBenchmarks.h"
#include "bench/NodePeer.h"
#include "app/SpacedStudy.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "review/TimeText.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <random>

namespace {

constexpr int Items = 100000;
constexpr int Reviews = 1000000;
QTemporaryDir *workFolder = nullptr;
TF_Main *window = nullptr;

std::string WordOf(int i) { return "word" + std::to_string(i * 7919 % 1000003); }

// Decks A and B, alike: 100,000 Items, nine in ten reviewed, ten reviews each on average over
// the last year, so that a few thousand are due now.
std::string MakeDeck(const char *name)
{
    const std::string path = workFolder->filePath(QString::fromLatin1(name)).toStdString();
    {
        std::ofstream deck(path, std::ios::binary);
        for (int i = 0; i < Items; ++i)
            deck << WordOf(i) << "\xB6" "2\xB6the meaning of " << WordOf(i) << "\xB6\xB6\xB6\r\n";
    }
    std::ofstream log(path + ".review", std::ios::binary);
    std::mt19937 random(7);
    const ReviewTime now = CurrentTime(), first = now - 365 * 86400;
    for (int r = 0; r < Reviews; ++r) {
        ReviewRecord record;
        record.time = first + ReviewTime(r) * (365 * 86400 / Reviews);
        record.grade = Grade(1 + random() % 4);
        record.word = WordOf(r % (Items * 9 / 10));
        Card &card = record.after;
        card.state = random() % 20 == 0 ? CardState::Relearning : CardState::Review;
        card.stability = 1 + random() % 90;
        card.difficulty = 1 + random() % 9;
        card.due = record.time + ReviewTime(card.stability * 86400);
        card.reps = 1 + r / (Items * 9 / 10);
        log << FormatReviewLine(record);
    }
    return path;
}

std::string deckA, deckB;

// The Study page opened in spaced mode on a Deck just opened (A and B take turns, so that each
// opening reads its Deck and log afresh).
void BM_OpenStudyPageSpaced(benchmark::State &state)
{
    bool useA = true;
    for (auto _ : state) {
        state.PauseTiming();
        window->PageControl1->setCurrentWidget(window->Tb_Edit);
        window->LoadDeck(useA ? deckA : deckB);
        useA = !useA;
        state.ResumeTiming();
        window->PageControl1->setCurrentWidget(window->Tb_Study);
    }
}

// A grade given: the review appended and synced, the next Item chosen, read and asked.
void BM_GradeThenNextQuestion(benchmark::State &state)
{
    window->PageControl1->setCurrentWidget(window->Tb_Study);
    window->B_GoClick();
    for (auto _ : state) {
        state.PauseTiming();
        window->B_GoClick();   // the answer, with the grade buttons
        state.ResumeTiming();
        window->Spaced->B_Good->click();
    }
}

// Choosing alone: the queue over the 100,000 Items.
void BM_ChooseNextItem(benchmark::State &state)
{
    SpacedReview review(deckA);
    review.Open();
    std::vector<std::string> words;
    for (int i = 0; i < Items; ++i)
        words.push_back(WordOf(i));
    review.SetItems(words);
    const ReviewTime now = CurrentTime();
    for (auto _ : state)
        benchmark::DoNotOptimize(review.Next(now));
}

// The scheduler: one grade of a card in review, a month after its last review.
void BM_SchedulerNext(benchmark::State &state)
{
    const Scheduler scheduler;
    Card card = scheduler.Next(Card{}, 1718098200, Grade::Good);
    card = scheduler.Next(card, card.due, Grade::Good);
    const ReviewTime at = card.lastReview + 30 * 86400;
    int grade = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(scheduler.Next(card, at, Grade(1 + grade++ % 4)));
}

// The same grades through ts-fsrs under Node, timed by Node itself.
void BM_TsFsrsNext(benchmark::State &state)
{
    const QString packages = QStringLiteral(GLOSSAD_BUILD_DIR "/ts-fsrs/node_modules/ts-fsrs");
    const QString script = QStringLiteral(
        "const {fsrs, createEmptyCard} = require(process.argv[1]);"
        "const f = fsrs(); let c = f.next(createEmptyCard(new Date(1718098200000)), new Date(1718098200000), 3).card;"
        "c = f.next(c, c.due, 3).card; const at = new Date(c.last_review.getTime() + 30 * 864e5);"
        "const n = 200000; let sink = 0; for (let i = 0; i < n / 10; ++i) sink += f.next(c, at, 1 + i % 4).card.stability;"
        "const t = process.hrtime.bigint(); for (let i = 0; i < n; ++i) sink += f.next(c, at, 1 + i % 4).card.stability;"
        "console.log(Number(process.hrtime.bigint() - t) / n, sink > 0);");
    ReportNodeTiming(state, script, {packages}, "ts-fsrs is not installed in build/ts-fsrs, or Node is missing");
}

} // namespace

BENCHMARK(BM_OpenStudyPageSpaced)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_GradeThenNextQuestion)->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK(BM_ChooseNextItem)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SchedulerNext)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_TsFsrsNext)->Unit(benchmark::kNanosecond)->UseManualTime()->Iterations(1);

int main(int argc, char **argv)
{
    return RunMainWindowBenchmarks(argc, argv, [](QTemporaryDir &folder, TF_Main &main) {
        workFolder = &folder;
        deckA = MakeDeck("a.gsd");
        deckB = MakeDeck("b.gsd");
        window = &main;
        window->show();
        window->Spaced->SB_Spaced->setChecked(true);
        window->Cb_Questions->setCurrentIndex(0);
    });
}
