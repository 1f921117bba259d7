#pragma once
// The FSRS-6 memory model and scheduler: an Item's difficulty and stability after each grade,
// its retrievability at a moment, and when it is due again. The numbers follow the published
// reference scheduler with short-term learning steps, to its rounding.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Seconds since 1970-01-01 00:00 UTC.
using ReviewTime = int64_t;

enum class CardState { New, Learning, Review, Relearning };
enum class Grade { Again = 1, Hard = 2, Good = 3, Easy = 4 };

// What the model knows of one Item.
struct Card {
    CardState state = CardState::New;
    int step = 0;                 // the learning or relearning step reached
    double stability = 0;         // days until recall falls to 90 %
    double difficulty = 0;        // 1 to 10
    ReviewTime due = 0;
    ReviewTime lastReview = 0;
    int reps = 0;                 // reviews so far
};

struct SchedulerParameters {
    std::array<double, 21> w{0.212,  1.2931, 2.3065, 8.2956, 6.4133, 0.8334, 3.0194,
                             0.001,  1.8722, 0.1666, 0.796,  1.4835, 0.0614, 0.2629,
                             1.6483, 0.6014, 1.8729, 0.5425, 0.0912, 0.0658, 0.1542};
    double retention = 0.9;
    std::vector<int> learningSteps{1, 10};    // minutes
    std::vector<int> relearningSteps{10};     // minutes
    int maximumInterval = 36500;              // days
    bool fuzz = false;
};

class Scheduler {
public:
    explicit Scheduler(const SchedulerParameters &parameters = {});
    // The card after a grade given at a moment no earlier than its last review.
    Card Next(const Card &card, ReviewTime at, Grade grade) const;
    // The probability of recall at a moment (0 for a new card), on whole days since the last review.
    double Retrievability(const Card &card, ReviewTime at) const;
    const SchedulerParameters &Parameters() const { return parameters; }

private:
    struct Memory {
        double difficulty, stability;
    };
    Memory NextMemory(Memory memory, int elapsedDays, Grade grade, double retrievability) const;
    double ForgettingCurve(double elapsedDays, double stability) const;
    double InitialDifficulty(Grade grade) const;
    double NextDifficulty(double difficulty, Grade grade) const;
    int NextInterval(double stability, int elapsedDays, const std::string &seed) const;
    // Learning steps: a card still stepping gets a due time in minutes; false when it graduates.
    bool ApplyStep(const Card &before, Grade grade, CardState stepping, ReviewTime at, Card &after) const;

    SchedulerParameters parameters;
    double decay = 0, factor = 0, intervalModifier = 0;
};

// The weights clipped to the ranges the model allows, as the reference does with weights it is given.
std::array<double, 21> ClippedWeights(const std::array<double, 21> &weights, size_t relearningSteps);
