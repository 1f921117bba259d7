// How long the Deck store's whole-file operations take on large Decks, next to the floor of
// reading the file once and sorting its words with the same collation.
#include "bench/MainWindowBenchmarks.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/LocaleSort.h"
#include "platform/ProgramFolder.h"
#include "platform/TextFile.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <map>
#include <memory>

namespace {

QTemporaryDir *workFolder = nullptr;
TF_Main *window = nullptr;

// A Deck of n Items with made-up words, definitions and frequencies.
std::string DeckOf(int items)
{
    static std::map<int, std::string> made;
    auto found = made.find(items);
    if (found != made.end())
        return found->second;
    const std::string path = workFolder->filePath(QStringLiteral("deck%1.gsd").arg(items)).toStdString();
    std::ofstream out(path, std::ios::binary);
    unsigned seed = 12345;
    const char *syllables[] = {"ka", "lo", "mi", "ne", "ru", "sa", "to", "vi", "ze", "Qu", "Br", "El"};
    for (int i = 0; i < items; ++i) {
        std::string word;
        for (int s = 0; s < 3; ++s) {
            seed = seed * 1103515245u + 12345u;
            word += syllables[(seed >> 16) % 12];
        }
        word += std::to_string(i);
        out << word << '\xB6' << char('0' + i % 6) << '\xB6' << "the meaning of " << word << '\xB6'
            << "pictures/" << word << ".gif" << '\xB6' << '\xB6' << "\r\n";
    }
    return made[items] = path;
}

void UseDeck(int items)
{
    window->Store.Bind(DeckOf(items));
}

void SetOrder(bool ascending, bool noSort, bool byWord)
{
    window->Ascending1->setChecked(ascending);
    window->Decending1->setChecked(!ascending && !noSort);
    window->NoSort1->setChecked(noSort);
    window->SortbyWord1->setChecked(byWord);
    window->SortbyFrequency1->setChecked(!byWord);
}

void BM_Floor_ReadOnceAndSort(benchmark::State &state)
{
    const std::string path = DeckOf(int(state.range(0)));
    for (auto _ : state) {
        TextLineReader reader(path);
        StringList words;
        while (!reader.AtEnd()) {
            std::string line = reader.ReadLine();
            words.push_back(line.substr(0, line.find('\xB6')));
        }
        AnsiSortStrings(words);
        benchmark::DoNotOptimize(words.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FillWordList(benchmark::State &state, bool ascending, bool noSort, bool byWord)
{
    UseDeck(int(state.range(0)));
    SetOrder(ascending, noSort, byWord);
    for (auto _ : state) {
        window->FillWordList();
        benchmark::DoNotOptimize(window->ListBox1->count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FillWordList_ByWord(benchmark::State &state) { BM_FillWordList(state, true, false, true); }
void BM_FillWordList_ByFrequency(benchmark::State &state) { BM_FillWordList(state, true, false, false); }
void BM_FillWordList_FileOrder(benchmark::State &state) { BM_FillWordList(state, false, true, true); }

void BM_DeleteWordLine(benchmark::State &state)
{
    const int items = int(state.range(0));
    const std::string original = ReadFileBytes(DeckOf(items));
    const std::string path = workFolder->filePath(QStringLiteral("scratch.gsd")).toStdString();
    window->Store.Bind(path);
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << original;
        window->Store.FillWordList(false, true, true);
        const std::string word = window->Store.FileWords[size_t(items / 2)];
        state.ResumeTiming();
        window->Store.DeleteWordLine(word);
    }
}

// The Edit page's commands as a keystroke runs them: Add/Update of an existing word (one rewrite
// of the Deck with its new line, then the list refilled) and Delete of a selected word.
void PrepareScratchCopy(int items, const std::string &path)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << ReadFileBytes(DeckOf(items));
    window->Store.Bind(path);
    SetOrder(true, false, true);
    window->FillWordList();
}

void BM_EditPage_AddUpdate(benchmark::State &state)
{
    const int items = int(state.range(0));
    const std::string path = workFolder->filePath(QStringLiteral("edit.gsd")).toStdString();
    PrepareScratchCopy(items, path);
    for (auto _ : state) {
        state.PauseTiming();
        const QString word = window->ListBox1->item(items / 2)->text();
        window->T_word->setText(word);
        window->T_Definition->setText(QStringLiteral("changed"));
        state.ResumeTiming();
        window->B_AddClick();
    }
}

void BM_EditPage_Delete(benchmark::State &state)
{
    const int items = int(state.range(0));
    const std::string path = workFolder->filePath(QStringLiteral("edit.gsd")).toStdString();
    PrepareScratchCopy(items, path);
    for (auto _ : state) {
        state.PauseTiming();
        if (window->ListBox1->count() < items / 2)
            PrepareScratchCopy(items, path);
        window->ListBox1->setCurrentRow(window->ListBox1->count() / 2);
        state.ResumeTiming();
        window->B_DeleteClick();
    }
}

// Answers every question with Yes, so Delete goes ahead.
class AlwaysYes : public UserDialogs {
public:
    MsgResult messageBox(MsgKind, const QString &, MsgButtons) override { return MsgResult::Yes; }
    void generalError(const std::string &) override {}
    std::optional<std::string> openFileName(const FileDialogOptions &) override { return std::nullopt; }
    std::optional<std::string> saveFileName(const FileDialogOptions &) override { return std::nullopt; }
};

} // namespace

BENCHMARK(BM_EditPage_AddUpdate)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditPage_Delete)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor_ReadOnceAndSort)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillWordList_ByWord)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillWordList_ByFrequency)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillWordList_FileOrder)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteWordLine)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return RunMainWindowBenchmarks(argc, argv, [](QTemporaryDir &folder, TF_Main &main) {
        workFolder = &folder;
        SetDialogs(std::make_unique<AlwaysYes>());
        window = &main;
    });
}
