#pragma once
// Moments as text: ISO 8601 in the review log and on the command line (UTC when no offset is
// given), and the user's local calendar days for daily limits and statistics.
#include "review/Fsrs.h"

#include <optional>
#include <string>
#include <string_view>

// "2024-06-11T09:30:00Z", "2024-06-11T11:30:00+02:00", "2024-06-11 09:30", "2024-06-11" ...
// Fractions of a second are dropped. Nothing for text that is not such a moment.
std::optional<ReviewTime> ParseIsoTime(std::string_view text);
// "2024-06-11T09:30:00Z".
std::string FormatIsoTime(ReviewTime time);

ReviewTime CurrentTime();
// The start of the local calendar day that holds the moment, and of the day `days` later.
ReviewTime LocalDayStart(ReviewTime time, int days = 0);
