#include "review/Fsrs.h"

#include "review/Fuzz.h"
#include "review/Rounding.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr double MinimumStability = 0.001;
constexpr double MaximumStability = 36500;
constexpr ReviewTime Minute = 60, Day = 86400;

double Clamp(double value, double low, double high) { return std::min(std::max(value, low), high); }

// Whole UTC calendar days between two moments.
int CalendarDaysBetween(ReviewTime from, ReviewTime to)
{
    const auto day = [](ReviewTime t) { return t >= 0 ? t / Day : -((-t + Day - 1) / Day); };
    return int(day(to) - day(from));
}

// A number as the reference prints it in the seed of the fuzz generator.
std::string NumberText(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return std::string(text, result.ptr);
}

} // namespace

std::array<double, 21> ClippedWeights(const std::array<double, 21> &w, size_t relearningSteps)
{
    static constexpr double ranges[21][2] = {
        {0.001, 100}, {0.001, 100}, {0.001, 100}, {0.001, 100}, {1, 10},     {0.001, 4},  {0.001, 4},
        {0.001, 0.75}, {0, 4.5},    {0, 0.8},     {0.001, 3.5}, {0.001, 5},  {0.001, 0.25}, {0.001, 0.9},
        {0, 4},       {0, 1},       {1, 6},       {0, 2},       {0, 2},      {0.01, 0.8}, {0.1, 0.8}};
    double ceiling = 2;
    if (relearningSteps > 1) {
        // Several relearning steps must not be able to raise stability after a lapse.
        const double w11 = Clamp(w[11], ranges[11][0], ranges[11][1]);
        const double w13 = Clamp(w[13], ranges[13][0], ranges[13][1]);
        const double w14 = Clamp(w[14], ranges[14][0], ranges[14][1]);
        const double value = -(std::log(w11) + std::log(std::pow(2, w13) - 1) + w14 * 0.3) / double(relearningSteps);
        ceiling = Clamp(Round8(std::sqrt(std::max(value, 0.0))), 0.01, 2);
    }
    std::array<double, 21> clipped{};
    for (size_t i = 0; i < w.size(); ++i) {
        const double high = i == 17 || i == 18 ? ceiling : ranges[i][1];
        clipped[i] = Clamp(std::isfinite(w[i]) ? w[i] : 0, ranges[i][0], high);
    }
    return clipped;
}

Scheduler::Scheduler(const SchedulerParameters &given) : parameters(given)
{
    parameters.w = ClippedWeights(given.w, given.relearningSteps.size());
    decay = -parameters.w[20];
    factor = Round8(std::exp(std::pow(decay, -1) * std::log(0.9)) - 1);
    intervalModifier = Round8((std::pow(parameters.retention, 1 / decay) - 1) / factor);
}

double Scheduler::ForgettingCurve(double elapsedDays, double stability) const
{
    return Round8(std::pow(1 + factor * elapsedDays / stability, decay));
}

double Scheduler::InitialDifficulty(Grade grade) const
{
    const auto &w = parameters.w;
    return Round8(w[4] - std::exp((int(grade) - 1) * w[5]) + 1);
}

double Scheduler::NextDifficulty(double d, Grade grade) const
{
    const auto &w = parameters.w;
    const double delta = -w[6] * (int(grade) - 3);
    const double damped = d + Round8(delta * (10 - d) / 9);
    return Clamp(Round8(w[7] * InitialDifficulty(Grade::Easy) + (1 - w[7]) * damped), 1, 10);
}

Scheduler::Memory Scheduler::NextMemory(Memory m, int t, Grade grade, double r) const
{
    const auto &w = parameters.w;
    const int g = int(grade);
    if (m.difficulty == 0 && m.stability == 0)
        return {Clamp(InitialDifficulty(grade), 1, 10), std::max(w[size_t(g - 1)], 0.1)};
    const double d = m.difficulty, s = m.stability;
    double next;
    if (t == 0) {
        // Same-day reviews change stability by the short-term rule.
        const double growth = std::pow(s, -w[19]) * std::exp(w[17] * (g - 3 + w[18]));
        next = Round8(Clamp(s * (grade >= Grade::Hard ? std::max(growth, 1.0) : growth), MinimumStability, MaximumStability));
    } else if (grade == Grade::Again) {
        const double afterLapse = Round8(Clamp(w[11] * std::pow(d, -w[12]) * (std::pow(s + 1, w[13]) - 1) *
                                                   std::exp((1 - r) * w[14]),
                                               MinimumStability, MaximumStability));
        next = Clamp(Round8(s / std::exp(w[17] * w[18])), MinimumStability, afterLapse);
    } else {
        const double hardPenalty = grade == Grade::Hard ? w[15] : 1;
        const double easyBonus = grade == Grade::Easy ? w[16] : 1;
        next = Round8(Clamp(s * (1 + std::exp(w[8]) * (11 - d) * std::pow(s, -w[9]) * (std::exp((1 - r) * w[10]) - 1) *
                                         hardPenalty * easyBonus),
                            MinimumStability, MaximumStability));
    }
    return {NextDifficulty(d, grade), next};
}

int Scheduler::NextInterval(double stability, int elapsedDays, const std::string &seed) const
{
    const double interval = std::min(std::max(1.0, RoundHalfUp(stability * intervalModifier)),
                                     double(parameters.maximumInterval));
    if (!parameters.fuzz || interval < 2.5)
        return int(interval);
    return FuzzedInterval(interval, elapsedDays, parameters.maximumInterval, seed);
}

bool Scheduler::ApplyStep(const Card &before, Grade grade, CardState stepping, ReviewTime at, Card &after) const
{
    const bool relearning = before.state == CardState::Relearning || before.state == CardState::Review;
    const std::vector<int> &steps = relearning ? parameters.relearningSteps : parameters.learningSteps;
    const size_t count = steps.size();
    const int current = std::max(0, before.step);
    if (count == 0 || size_t(current) >= count)
        return false;
    int minutes = 0, next = 0;
    if (grade == Grade::Again) {
        minutes = before.state == CardState::Review ? steps[size_t(current)] : steps[0];
    } else if (before.state == CardState::Review) {
        return false;
    } else if (grade == Grade::Hard) {
        minutes = int(count == 1 ? RoundHalfUp(steps[0] * 1.5) : RoundHalfUp((steps[0] + steps[1]) / 2.0));
        next = current;
    } else if (grade == Grade::Good && size_t(current) + 1 < count && steps[size_t(current) + 1] > 0) {
        minutes = steps[size_t(current) + 1];
        next = current + 1;
    }
    if (minutes <= 0)
        return false;
    after.step = next;
    after.due = at + minutes * Minute;
    // A step of a day or more still ends the stepping.
    after.state = minutes < 1440 ? stepping : CardState::Review;
    return true;
}

Card Scheduler::Next(const Card &card, ReviewTime at, Grade grade) const
{
    const int elapsed = card.state == CardState::New ? 0 : std::max(0, CalendarDaysBetween(card.lastReview, at));
    const std::string seed = std::to_string(at * 1000) + "_" + std::to_string(card.reps + 1) + "_" +
                             NumberText(card.difficulty * card.stability);
    Card after = card;
    after.lastReview = at;
    after.reps = card.reps + 1;

    if (card.state == CardState::Review) {
        const double r = ForgettingCurve(elapsed, card.stability);
        const Memory memory = NextMemory({card.difficulty, card.stability}, elapsed, grade, r);
        after.difficulty = memory.difficulty;
        after.stability = memory.stability;
        if (grade == Grade::Again) {
            if (!ApplyStep(card, grade, CardState::Relearning, at, after)) {
                after.step = 0;
                after.due = at + NextInterval(after.stability, elapsed, seed) * Day;
            }
            return after;
        }
        // Harder grades never give longer intervals than easier ones.
        const auto stabilityFor = [&](Grade g) { return NextMemory({card.difficulty, card.stability}, elapsed, g, r).stability; };
        int hard = NextInterval(stabilityFor(Grade::Hard), elapsed, seed);
        int good = NextInterval(stabilityFor(Grade::Good), elapsed, seed);
        hard = std::min(hard, good);
        good = std::max(good, hard + 1);
        const int easy = std::max(NextInterval(stabilityFor(Grade::Easy), elapsed, seed), good + 1);
        after.step = 0;
        after.due = at + (grade == Grade::Hard ? hard : grade == Grade::Good ? good : easy) * Day;
        return after;
    }

    const double r = card.state == CardState::New ? 0 : ForgettingCurve(elapsed, card.stability);
    const Memory memory = NextMemory({card.difficulty, card.stability}, elapsed, grade, r);
    after.difficulty = memory.difficulty;
    after.stability = memory.stability;
    const CardState stepping = card.state == CardState::New ? CardState::Learning : card.state;
    if (!ApplyStep(card, grade, stepping, at, after)) {
        after.state = CardState::Review;
        after.step = 0;
        after.due = at + NextInterval(after.stability, elapsed, seed) * Day;
    }
    return after;
}

double Scheduler::Retrievability(const Card &card, ReviewTime at) const
{
    if (card.state == CardState::New)
        return 0;
    const ReviewTime since = std::max<ReviewTime>(0, at - card.lastReview);
    return ForgettingCurve(double(since / Day), card.stability);
}
