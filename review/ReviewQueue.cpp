#include "review/ReviewQueue.h"

#include "review/TimeText.h"

#include <limits>

QueueChoice ChooseNextItem(const std::vector<const Card *> &cards, ReviewTime now, int newLeftToday)
{
    constexpr ReviewTime Never = std::numeric_limits<ReviewTime>::max();
    int learning = -1, review = -1, fresh = -1;
    ReviewTime learningDue = Never, reviewDue = Never, later = Never;
    bool newWaiting = false;
    for (size_t i = 0; i < cards.size(); ++i) {
        const Card *card = cards[i];
        if (!card || card->state == CardState::New) {
            if (fresh < 0 && newLeftToday > 0)
                fresh = int(i);
            newWaiting = true;
            continue;
        }
        if (card->due > now) {
            later = std::min(later, card->due);
            continue;
        }
        const bool stepping = card->state != CardState::Review;
        int &best = stepping ? learning : review;
        ReviewTime &bestDue = stepping ? learningDue : reviewDue;
        if (card->due < bestDue) {
            best = int(i);
            bestDue = card->due;
        }
    }
    for (int chosen : {learning, review, fresh})
        if (chosen >= 0)
            return {chosen, 0};
    // New Items wait for tomorrow's allowance.
    if (newWaiting)
        later = std::min(later, LocalDayStart(now, 1));
    return {-1, later == Never ? 0 : later};
}
