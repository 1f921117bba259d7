#pragma once
// A Deck's reviews with their words, the form in which they travel to and from other programs:
// read out of a review log, or made into a whole new log by replaying them through the scheduler,
// so that the states in it are the ones this program would have reached.
#include "review/ReviewLog.h"

#include <string>
#include <vector>

struct WordReview {
    std::string word;   // UTF-8
    ReviewTime time = 0;
    Grade grade = Grade::Good;
};

// Every readable review of the log at logPath, in the order of its lines; none for a missing log.
std::vector<WordReview> ReadWordReviews(const std::string &logPath);
struct ReplayedReview {
    WordReview review;
    Card before, after;   // the word's state before and after it
};
// The reviews in the order of their times (a stable order for equal times), each with the states
// its word's reviews lead to under the default settings.
std::vector<ReplayedReview> Replayed(std::vector<WordReview> reviews);
// A whole log: the header, the default settings and the reviews in the order of their times
// (a stable order for equal times), each with the state its word's reviews lead to.
std::string ReplayedLog(std::vector<WordReview> reviews);
