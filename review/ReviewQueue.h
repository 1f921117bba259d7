#pragma once
// Which Item comes next in spaced review: learning and relearning Items whose time has come
// (earliest first), then review Items that are due (the most overdue first), then new Items in
// file order while the day's allowance of new Items lasts.
#include "review/Fsrs.h"

#include <vector>

struct QueueChoice {
    int item = -1;            // index into the cards given; -1 when nothing is due
    ReviewTime nextDue = 0;   // when nothing is due: when the next Item will be (0: never)
};

// cards: one per askable Item in file order, nullptr for a new one.
QueueChoice ChooseNextItem(const std::vector<const Card *> &cards, ReviewTime now, int newLeftToday);
