#include "app/QuestionEngine.h"

#include "platform/Exceptions.h"
#include "speech/SpeechEngine.h"


#include <chrono>
#include <sys/stat.h>

namespace {

uint32_t UtcTimeOfDay()
{
    using namespace std::chrono;
    const auto now = system_clock::now().time_since_epoch();
    return uint32_t(duration_cast<milliseconds>(now).count() % (24LL * 60 * 60 * 1000));
}

} // namespace

int QuestionFieldNumber(int kind)
{
    static const int fields[] = {1, 3, 4, 5};
    return kind >= 0 && kind < 4 ? fields[kind] : 0;
}

int QuestionEntry(int kind) { return kind >= 0 && kind < 4 ? QuestionFieldNumber(kind) - 1 : -1; }

QuestionEngine::QuestionEngine(DeckStore &deckStore) : TimeOfDay(UtcTimeOfDay), store(deckStore) {}

void QuestionEngine::Reseed() { Seed = TimeOfDay(); }

uint32_t QuestionEngine::Random(uint32_t n)
{
    Seed = Seed * 134775813u + 1u;
    return uint32_t((uint64_t(Seed) * n) >> 32);
}

QuestionEngine::PoolOrigin QuestionEngine::OriginOf(const std::string &file, int field)
{
    PoolOrigin origin;
    origin.file = file;
    origin.field = field;
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) {
        origin.size = info.st_size;
        origin.modified = info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec;
        origin.inode = (long long)info.st_ino;
    }
    origin.valid = true;
    return origin;
}

bool QuestionEngine::StillMatches(const PoolOrigin &origin, int field) const
{
    if (!origin.valid || origin.field != field)
        return false;
    const PoolOrigin now = OriginOf(store.WorkFileName, field);
    return now.file == origin.file && now.size == origin.size && now.modified == origin.modified &&
           now.inode == origin.inode;
}

bool QuestionEngine::WordSpoken(const std::string &word, const DeckText &text) const
{
    return SpeaksWords && IsSpeakable(text.ToText(word));
}

void QuestionEngine::ReadSpokenWords(int field)
{
    spokenWords.clear();
    if (field != 5 || !SpeaksWords)
        return;
    TextLineReader file(store.WorkFileName);
    store.ReadColumn(file, spokenWords, 1);
}

bool QuestionEngine::Askable(size_t i, int field) const
{
    const std::string &value = store.WorkList[i];
    if (!value.empty() && ((field != 4 && field != 5) || FileCanBeRead(store.Text.NativePath(value))))
        return true;
    return i < spokenWords.size() && WordSpoken(spokenWords[i], store.Text);
}

bool QuestionEngine::BuildEligiblePool(int field)
{
    ReadSpokenWords(field);
    {
        TextLineReader file(store.WorkFileName);
        store.ReadColumn(file, store.WorkList, field);
    }
    EligiblePool.clear();
    const int lines = std::min(store.ItemCount, int(store.WorkList.size()));
    for (int i = 0; i < lines; ++i)
        if (Askable(size_t(i), field))
            EligiblePool.push_back(i);
    eligibleOrigin = OriginOf(store.WorkFileName, field);
    return !EligiblePool.empty();
}

bool QuestionEngine::BuildFrequencyPools(int kind, bool frequencyUp)
{
    for (auto &pool : FrequencyPools)
        pool.clear();
    frequencyOrigin = {};
    const int field = QuestionFieldNumber(kind);
    if (field == 0)
        return frequencyUp || TotalWeight() != 0;
    {
        TextLineReader file(store.WorkFileName);
        store.ReadColumn(file, FrequencyList, 2);
    }
    ReadSpokenWords(field);
    {
        TextLineReader file(store.WorkFileName);
        store.ReadColumn(file, store.WorkList, field);
    }
    const int lines = std::min({store.ItemCount, int(FrequencyList.size()), int(store.WorkList.size())});
    std::vector<int> frequencies(static_cast<size_t>(lines), 0);
    for (int i = 0; i < lines; ++i) {
        // A frequency that is not a number stops the build here, pools empty, weights as before.
        frequencies[size_t(i)] = std::min(StrToInt(FrequencyList[size_t(i)]), 5);
        if (frequencies[size_t(i)] == 5)
            FrequencyList[size_t(i)] = "5";
    }
    for (int i = 0; i < lines; ++i) {
        const int f = frequencies[size_t(i)];
        if (f >= 1 && Askable(size_t(i), field))
            FrequencyPools[size_t(f - 1)].push_back(i);
    }
    CumulativeWeights[0] = 0;
    for (int f = 1; f <= 5; ++f)
        CumulativeWeights[size_t(f)] = CumulativeWeights[size_t(f - 1)] + int32_t(FrequencyPools[size_t(f - 1)].size()) * f * f;
    frequencyOrigin = OriginOf(store.WorkFileName, field);
    return frequencyUp || TotalWeight() != 0;
}

void QuestionEngine::ChooseLine(int line)
{
    store.ReadItemAt(line, CurrentItem);
    CurrentText = store.Text;
    OrderPosition = line + 2;
}

bool QuestionEngine::SelectNextItem(Mode mode, int kind)
{
    const int field = QuestionFieldNumber(kind);
    if (field == 0)
        return false;
    if (mode == Mode::InOrder)
        return InOrderStep(kind);

    if (mode == Mode::Uniform) {
        // A pool built from another file, field or version of the file is built again first.
        if (!StillMatches(eligibleOrigin, field))
            BuildEligiblePool(field);
        if (EligiblePool.empty())
            return false;
        Reseed();
        ChooseLine(EligiblePool[Random(uint32_t(EligiblePool.size()))]);
        return true;
    }

    if (!StillMatches(frequencyOrigin, field))
        BuildFrequencyPools(kind, false);
    if (TotalWeight() <= 0)
        return false;
    Reseed();
    const int32_t r = 1 + int32_t(Random(uint32_t(TotalWeight())));
    int pool = 1;
    for (int f = 5; f >= 2; --f) {
        if (CumulativeWeights[size_t(f - 1)] < r && r <= CumulativeWeights[size_t(f)]) {
            pool = f;
            break;
        }
    }
    const auto &chosen = FrequencyPools[size_t(pool - 1)];
    if (chosen.empty())
        return false;
    ChooseLine(chosen[Random(uint32_t(chosen.size()))]);
    return true;
}

bool QuestionEngine::InOrderStep(int kind)
{
    const int count = store.ItemCount;
    if (count <= 0)
        return false;
    if (OrderPosition > count || OrderPosition < 1)
        OrderPosition = 1;
    StringList lines;
    {
        TextLineReader file(store.WorkFileName);
        CurrentText = DeckText(DeckKindOf(file.Mark()));
        while (!file.AtEnd())
            lines.push_back(file.ReadLine());
    }
    const size_t entry = size_t(QuestionEntry(kind));
    auto takeLine = [&] {
        const size_t index = size_t(OrderPosition - 1);
        DeckStore::SplitLine(index < lines.size() ? lines[index] : std::string{}, CurrentItem, CurrentText.Separator());
        OrderPosition = OrderPosition >= count ? 1 : OrderPosition + 1;
    };
    takeLine();
    // One full pass at most: a Deck without the question field anywhere asks nothing.
    const auto askable = [&] {
        if (entry < CurrentItem.size() && !CurrentItem[entry].empty())
            return true;
        return kind == qkAudio && !CurrentItem.empty() && WordSpoken(CurrentItem[0], CurrentText);
    };
    for (int passed = 1; !askable(); ++passed) {
        if (passed >= count)
            return false;
        takeLine();
    }
    return true;
}
