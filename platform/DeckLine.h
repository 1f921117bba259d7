#pragma once
// One Item as a Deck line: its five fields, each followed by the separator of its kind of Deck.
#include "platform/DeckText.h"

#include <string>
#include <string_view>
#include <vector>

// The fields of one Item, as stored in a Deck of that kind.
struct DeckItem {
    std::string word, frequency, definition, visual, audio;
    DeckKind kind = DeckKind::CodePage;
};

// Builds a Deck line (without its line end) from the five fields.
std::string MakeDeckLine(const DeckItem &item);
// The fields of a line: the text before each separator, and the text after the last one, if
// there is any, as one more field.
void SplitDeckLine(std::string_view line, std::vector<std::string> &target, std::string_view separator);
