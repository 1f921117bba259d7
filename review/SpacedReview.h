#pragma once
// The spaced review of one Deck, as the Study page and the command-line tool both run it: the
// Deck's askable Items by review word, their states from the Deck's log, the scheduler with the
// log's settings, and the recording of grades.
#include "review/ReviewLog.h"
#include "review/ReviewQueue.h"
#include "review/ReviewSettings.h"

#include <array>

class SpacedReview {
public:
    explicit SpacedReview(const std::string &deckPath);

    // Reads the log (throws EInOutError when it cannot be read) and takes its settings.
    void Open();
    // The askable Items by review word, in file order ("" for an Item that cannot be asked).
    // A word that comes twice counts once.
    void SetItems(const std::vector<std::string> &words);

    // The index (into the words given) of the Item to ask next, or when one will be due.
    QueueChoice Next(ReviewTime now);
    // The state of an Item (a new card for a word the log does not know).
    Card CardOf(const std::string &word) const;
    // What each grade, Again to Easy, would make of the Item at that moment.
    std::array<Card, 4> Preview(const std::string &word, ReviewTime at) const;
    // Records a grade at a moment no earlier than the Item's last review, and writes it to the
    // log while saving is on. A failed write throws; the review still counts until the log is
    // read again.
    Card Record(const std::string &word, Grade grade, ReviewTime at);

    // How many new Items may still be started on the day of that moment.
    int NewLeftToday(ReviewTime now);
    // The states of the askable Items in file order (nullptr for new ones).
    const std::vector<const Card *> &Cards();

    ReviewLog &Log() { return log; }
    const Scheduler &Schedule() const { return scheduler; }
    const ReviewSettings &Settings() const { return settings; }
    bool saving = true;

private:
    // Brings the states in line with the log after it was read again.
    void Resolve();
    // Keeps the states and the count of new Items in step with a review just taken in.
    void AfterRecord(const std::string &word, bool started, ReviewTime at);

    ReviewLog log;
    ReviewSettings settings;
    Scheduler scheduler;
    std::vector<std::string> words;               // askable, in file order, each once
    std::vector<int> positions;                   // their index in the words given
    WordTable<size_t> placeOf;                    // word to its place in `words`
    std::vector<const Card *> cards;
    int resolvedGeneration = -1;
    ReviewTime newCountDay = -1;
    int newStartedToday = 0;
};
