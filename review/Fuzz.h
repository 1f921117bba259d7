#pragma once
// Interval fuzz: a review interval moved by a few days, so that Items learnt together do not
// stay due together. The spread and the random generator (Alea, seeded from the review) are the
// reference scheduler's, so a fuzzed interval is the same there and here.
#include <string>

int FuzzedInterval(double interval, int elapsedDays, int maximumInterval, const std::string &seed);
