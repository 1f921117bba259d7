#pragma once
// The word by which the review log knows an Item: the Deck's word as UTF-8 text. Every Deck word
// goes through here on its way into the log.
#include "platform/DeckText.h"

#include <string>

std::string ReviewWordOf(const std::string &deckWord, const DeckText &deck);
