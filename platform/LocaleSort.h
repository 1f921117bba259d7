#pragma once
// Sorting text the way the user's language orders it, ignoring letter case.
#include "platform/DeckText.h"

#include <string>
#include <vector>

// Compares two code-page strings with the locale's collation, ignoring case: <0, 0, >0.
int AnsiCompareText(const std::string &a, const std::string &b);
// Sorts code-page strings ascending by AnsiCompareText.
void AnsiSortStrings(std::vector<std::string> &strings);
// Sorts a Deck's strings the same way, read as that kind of Deck reads them.
void SortDeckStrings(std::vector<std::string> &strings, const DeckText &text);
