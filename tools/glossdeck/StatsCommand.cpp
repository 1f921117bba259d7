// glossdeck stats: the numbers of the Statistics window.
#include "tools/glossdeck/GlossDeck.h"

#include "review/ReviewStatistics.h"

#include <cstdio>
#include <ctime>

namespace {
// The local date of a day's start, as YYYY-MM-DD.
std::string LocalDate(ReviewTime time)
{
    const std::time_t moment = std::time_t(time);
    std::tm local{};
    localtime_r(&moment, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

int Stats(const std::vector<std::string> &args)
{
    const ToolArguments arguments = ReadArguments(args, true, false);
    if (arguments.plain.size() != 1)
        throw UsageError("one Deck is needed");
    ReviewedDeck deck(arguments.plain[0]);
    const ReviewStatistics stats = ComputeStatistics(deck.review.Cards(), deck.review.Log().History(), arguments.at);
    std::printf("new %d\nlearning %d\nreview %d\ndue-today %d\n", stats.newItems, stats.learning, stats.review,
                stats.dueToday);
    for (int i = 0; i < ReviewStatistics::Days; ++i)
        std::printf("due %s %d\n", LocalDate(stats.comingDays[size_t(i)]).c_str(), stats.duePerDay[size_t(i)]);
    for (int i = 0; i < ReviewStatistics::Days; ++i) {
        const int reviews = stats.reviewsPerDay[size_t(i)], recalled = stats.recalledPerDay[size_t(i)];
        std::printf("recalled %s %d/%d", LocalDate(stats.pastDays[size_t(i)]).c_str(), recalled, reviews);
        if (reviews > 0)
            std::printf(" %.1f%%", 100.0 * recalled / reviews);
        std::printf("\n");
    }
    return 0;
}
} // namespace

Subcommand StatsSubcommand()
{
    return {"stats", "DECK [--at TIME]",
            "counts of new, learning, review and due Items, reviews due on each of the next 30 days "
            "and the share recalled on each of the last 30 days (local dates)",
            Stats};
}
