#pragma once
// How long until an Item comes back, in a few characters: "10m", "6h", "3d", "2.1mo", "1.5y".
#include "review/Fsrs.h"

#include <string>

std::string IntervalText(ReviewTime from, ReviewTime to);
