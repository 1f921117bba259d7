#pragma once
// Which Item the Study page asks next: a uniform draw among the askable Items, a draw weighted
// by frequency, or a step through the Deck in file order. It works on the working file
// through the store and keeps only line indices between questions.
#include "app/DeckStore.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// The index of the question-kind list: 0 Word, 1 Definition, 2 Visual, 3 Audio (-1: none).
enum QuestionKind { qkNone = -1, qkWord = 0, qkDefinition = 1, qkVisual = 2, qkAudio = 3 };

// The field number (1 to 5) a kind asks, and its entry in a split line; 0 / -1 for no kind.
int QuestionFieldNumber(int kind);
int QuestionEntry(int kind);

class QuestionEngine {
public:
    enum class Mode { Uniform, Weighted, InOrder };

    explicit QuestionEngine(DeckStore &store);

    // Rebuild the pools; each answers whether Go may be pressed afterwards.
    bool BuildEligiblePool(int field);
    bool BuildFrequencyPools(int kind, bool frequencyUp);
    // Picks the next Item into CurrentItem. Answers false when there is nothing to ask (an
    // empty pool after a rebuild, or no line with the question field in a whole pass).
    bool SelectNextItem(Mode mode, int kind);

    int32_t TotalWeight() const { return CumulativeWeights[5]; }
    // random(n): 0 to n-1 from the program's generator.
    uint32_t Random(uint32_t n);
    // Seeds the generator from the clock's time of day.
    void Reseed();

    std::vector<int> EligiblePool;
    std::array<std::vector<int>, 5> FrequencyPools;
    std::array<int32_t, 6> CumulativeWeights{};
    StringList FrequencyList;
    int32_t OrderPosition = 1;
    StringList CurrentItem;
    // How CurrentItem's bytes read: the kind of the Deck it came from.
    DeckText CurrentText;
    uint32_t Seed = 0;

    // An Audio question may speak the word of an Item without a recording: such an Item is
    // askable when its word is not empty after trimming.
    bool SpeaksWords = false;

    // Milliseconds since midnight UTC; tests set their own clock.
    std::function<uint32_t()> TimeOfDay;

    // The Item of this line becomes the current one; in order, the next one follows it.
    void ChooseLine(int line);

private:
    // What a pool was built from: the file as it was, for which field, by which build.
    struct PoolOrigin {
        std::string file;
        long long size = -1, modified = -1, inode = -1;
        int field = 0;
        bool valid = false;
    };
    static PoolOrigin OriginOf(const std::string &file, int field);
    bool StillMatches(const PoolOrigin &origin, int field) const;
    // Whether the Item of line i can be asked for the field, its value read into WorkList.
    bool Askable(size_t i, int field) const;
    // For an Audio question that may speak words: the words of the working file.
    void ReadSpokenWords(int field);
    // Whether an Item without a recording would have its word spoken.
    bool WordSpoken(const std::string &word, const DeckText &text) const;
    bool InOrderStep(int kind);

    DeckStore &store;
    PoolOrigin eligibleOrigin, frequencyOrigin;
    StringList spokenWords;
};
