// The scheduler against histories computed by the reference scheduler (ts-fsrs 5.4 with its
// default parameters), the times it reads and the interval captions.
#include "review/Fsrs.h"
#include "review/IntervalText.h"
#include "review/TimeText.h"

#include <gtest/gtest.h>

namespace {
ReviewTime At(const char *text) { return *ParseIsoTime(text); }
} // namespace

TEST(ReviewScheduler, AHistoryFollowsTheReference)
{
    struct Step {
        const char *at;
        Grade grade;
        CardState state;
        double stability, difficulty;
        const char *due;
    };
    // Learning steps, graduation, a lapse with relearning, an easy and a late hard review.
    const Step steps[] = {
        {"2024-01-15T08:30:00Z", Grade::Good, CardState::Learning, 2.3065, 2.11810397, "2024-01-15T08:40:00Z"},
        {"2024-01-15T08:40:00Z", Grade::Good, CardState::Review, 2.3065, 2.11121424, "2024-01-17T08:40:00Z"},
        {"2024-01-18T08:40:00Z", Grade::Again, CardState::Relearning, 0.63697811, 7.39223814, "2024-01-18T08:50:00Z"},
        {"2024-01-18T08:50:00Z", Grade::Good, CardState::Review, 0.68944602, 7.38007427, "2024-01-19T08:50:00Z"},
        {"2024-01-23T08:50:00Z", Grade::Easy, CardState::Review, 8.62972555, 6.48984555, "2024-02-01T08:50:00Z"},
        {"2024-03-03T09:50:00Z", Grade::Hard, CardState::Review, 30.19896373, 7.65502428, "2024-04-02T09:50:00Z"},
    };
    const Scheduler scheduler;
    Card card;
    for (const Step &step : steps) {
        card = scheduler.Next(card, At(step.at), step.grade);
        EXPECT_EQ(card.state, step.state) << step.at;
        EXPECT_DOUBLE_EQ(card.stability, step.stability) << step.at;
        EXPECT_DOUBLE_EQ(card.difficulty, step.difficulty) << step.at;
        EXPECT_EQ(FormatIsoTime(card.due), step.due) << step.at;
    }
    EXPECT_EQ(card.reps, 6);

    // A new Item: Again 1 minute, Hard 6, Good 10, Easy 8 days.
    const ReviewTime now = At("2024-05-01T12:00:00Z");
    const int minutes[] = {1, 6, 10, 8 * 1440};
    for (int g = 1; g <= 4; ++g)
        EXPECT_EQ(scheduler.Next(Card{}, now, Grade(g)).due - now, minutes[g - 1] * 60) << g;
}

TEST(ReviewScheduler, FuzzMovesIntervalsAsTheReferenceDoes)
{
    SchedulerParameters parameters;
    parameters.fuzz = true;
    const Scheduler scheduler(parameters);
    Card card = scheduler.Next(Card{}, At("2024-01-01T00:00:00Z"), Grade::Easy);
    EXPECT_EQ(FormatIsoTime(card.due), "2024-01-11T00:00:00Z");   // 8 days without fuzz
    card = scheduler.Next(card, At("2024-01-10T00:00:00Z"), Grade::Good);
    EXPECT_EQ(FormatIsoTime(card.due), "2024-02-22T00:00:00Z");
    card = scheduler.Next(card, At("2024-01-30T00:00:00Z"), Grade::Good);
    EXPECT_EQ(FormatIsoTime(card.due), "2024-05-16T00:00:00Z");
    EXPECT_DOUBLE_EQ(card.stability, 110.02748091);
}

TEST(ReviewScheduler, TimesAndIntervalCaptions)
{
    EXPECT_EQ(At("2024-06-11T11:30:00+02:00"), At("2024-06-11T09:30:00Z"));
    EXPECT_EQ(At("2024-06-11 09:30"), At("2024-06-11T09:30:00"));
    EXPECT_EQ(At("2024-06-11T09:30:00.750Z"), At("2024-06-11T09:30:00Z"));
    EXPECT_EQ(FormatIsoTime(At("2000-02-29T23:59:59-01:00")), "2000-03-01T00:59:59Z");
    for (const char *bad : {"", "2024-02-30", "2024-13-01", "2024-06-11T24:00", "2024-06-11T09:30:00Q", "yesterday"})
        EXPECT_FALSE(ParseIsoTime(bad)) << bad;

    const ReviewTime now = At("2024-06-11T09:30:00Z");
    EXPECT_EQ(IntervalText(now, now + 600), "10m");
    EXPECT_EQ(IntervalText(now, now + 90 * 60), "1.5h");
    EXPECT_EQ(IntervalText(now, now + 3 * 86400), "3d");
    EXPECT_EQ(IntervalText(now, now + 63 * 86400), "2.1mo");
    EXPECT_EQ(IntervalText(now, now + 730 * 86400), "2y");
}
