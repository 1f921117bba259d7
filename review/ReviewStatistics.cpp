#include "review/ReviewStatistics.h"

#include "review/TimeText.h"

#include <algorithm>

namespace {
// The index of the day that holds the moment, among days starting at these times; -1 before the first.
int DayIndex(const std::array<ReviewTime, ReviewStatistics::Days> &starts, ReviewTime end, ReviewTime time)
{
    if (time < starts[0] || time >= end)
        return -1;
    return int(std::upper_bound(starts.begin(), starts.end(), time) - starts.begin()) - 1;
}
} // namespace

ReviewStatistics ComputeStatistics(const std::vector<const Card *> &cards, const std::vector<ReviewMark> &history,
                                   ReviewTime now)
{
    ReviewStatistics stats;
    const int days = ReviewStatistics::Days;
    for (int i = 0; i < days; ++i) {
        stats.comingDays[size_t(i)] = LocalDayStart(now, i);
        stats.pastDays[size_t(i)] = LocalDayStart(now, i - (days - 1));
    }
    const ReviewTime tomorrow = stats.comingDays[1];
    const ReviewTime afterComing = LocalDayStart(now, days);
    for (const Card *card : cards) {
        if (!card || card->state == CardState::New) {
            ++stats.newItems;
            continue;
        }
        ++(card->state == CardState::Review ? stats.review : stats.learning);
        stats.dueToday += card->due < tomorrow;
        const int day = card->due < stats.comingDays[0] ? 0 : DayIndex(stats.comingDays, afterComing, card->due);
        if (day >= 0)
            ++stats.duePerDay[size_t(day)];
    }
    for (const ReviewMark &mark : history) {
        const int day = DayIndex(stats.pastDays, tomorrow, mark.time);
        if (day < 0)
            continue;
        ++stats.reviewsPerDay[size_t(day)];
        stats.recalledPerDay[size_t(day)] += mark.grade != Grade::Again;
    }
    return stats;
}
