#pragma once
// The numbers behind the statistics: how many Items are new, learning and in review, how many
// are due today, how many reviews fall due on each of the next 30 days, and which share of the
// reviews on each of the last 30 days was recalled (not graded Again).
#include "review/ReviewLog.h"

#include <array>
#include <vector>

struct ReviewStatistics {
    static constexpr int Days = 30;
    int newItems = 0, learning = 0, review = 0, dueToday = 0;
    std::array<ReviewTime, Days> comingDays{};   // start of today and of the next 29 days
    std::array<int, Days> duePerDay{};           // overdue Items count for today
    std::array<ReviewTime, Days> pastDays{};     // start of the day 29 days ago ... of today
    std::array<int, Days> reviewsPerDay{}, recalledPerDay{};
};

// cards: the Deck's askable Items (nullptr for new ones); history: every review of the log.
ReviewStatistics ComputeStatistics(const std::vector<const Card *> &cards, const std::vector<ReviewMark> &history,
                                   ReviewTime now);
