#include "review/SpacedReview.h"

#include "platform/Exceptions.h"
#include "platform/TextFile.h"
#include "review/TimeText.h"


SpacedReview::SpacedReview(const std::string &deckPath) : log(deckPath) {}

void SpacedReview::Open()
{
    log.Load();
    settings = SettingsOf(log);
    scheduler = Scheduler(settings.scheduler);
    Resolve();
}

void SpacedReview::SetItems(const std::vector<std::string> &given)
{
    words.clear();
    positions.clear();
    placeOf.Clear();
    placeOf.Reserve(given.size());
    for (size_t i = 0; i < given.size(); ++i) {
        if (given[i].empty())
            continue;
        bool added;
        size_t &place = placeOf.Get(given[i], added);
        if (!added)
            continue;
        place = words.size();
        words.push_back(given[i]);
        positions.push_back(int(i));
    }
    resolvedGeneration = -1;
    Resolve();
}

void SpacedReview::Resolve()
{
    if (resolvedGeneration == log.Generation())
        return;
    cards.resize(words.size());
    for (size_t i = 0; i < words.size(); ++i)
        cards[i] = log.CardOf(words[i]);
    resolvedGeneration = log.Generation();
    newCountDay = -1;
}

const std::vector<const Card *> &SpacedReview::Cards()
{
    Resolve();
    return cards;
}

int SpacedReview::NewLeftToday(ReviewTime now)
{
    Resolve();
    const ReviewTime today = LocalDayStart(now);
    if (today != newCountDay) {
        newStartedToday = log.FirstReviewedSince(today);
        newCountDay = today;
    }
    return std::max(0, settings.newPerDay - newStartedToday);
}

QueueChoice SpacedReview::Next(ReviewTime now)
{
    const int newLeft = NewLeftToday(now);
    QueueChoice choice = ChooseNextItem(Cards(), now, newLeft);
    if (choice.item >= 0)
        choice.item = positions[size_t(choice.item)];
    return choice;
}

Card SpacedReview::CardOf(const std::string &word) const
{
    const Card *card = log.CardOf(word);
    return card ? *card : Card{};
}

std::array<Card, 4> SpacedReview::Preview(const std::string &word, ReviewTime at) const
{
    const Card card = CardOf(word);
    return {scheduler.Next(card, at, Grade::Again), scheduler.Next(card, at, Grade::Hard),
            scheduler.Next(card, at, Grade::Good), scheduler.Next(card, at, Grade::Easy)};
}

void SpacedReview::AfterRecord(const std::string &word, bool started, ReviewTime at)
{
    if (resolvedGeneration != log.Generation())
        return;   // read again: everything is looked up anew
    if (const size_t *place = placeOf.Find(word))
        cards[*place] = log.CardOf(word);
    if (started && newCountDay == LocalDayStart(at))
        ++newStartedToday;
}

Card SpacedReview::Record(const std::string &word, Grade grade, ReviewTime at)
{
    const Card before = CardOf(word);
    if (before.state != CardState::New && at < before.lastReview)
        throw Exception("The review time " + FormatIsoTime(at) + " is before the last review of \"" + word + "\" (" +
                        FormatIsoTime(before.lastReview) + ").");
    const ReviewRecord record{at, grade, scheduler.Next(before, at, grade), word};
    const bool started = before.state == CardState::New;
    if (saving) {
        try {
            // A new log starts with the settings written out, for the reader to see and change.
            if (!FileExists(log.Path()))
                log.ChangeSettings(DefaultSettingLines());
            log.Append(record);
        } catch (...) {
            log.Remember(record);
            AfterRecord(word, started, at);
            throw;
        }
    } else {
        log.Remember(record);
    }
    AfterRecord(word, started, at);
    return record.after;
}
