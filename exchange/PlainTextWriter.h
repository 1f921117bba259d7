#pragma once
// A deck as UTF-8 text with Anki's header lines, one row per Item: word, definition,
// frequency, and the full paths of the picture and the sound.
#include "exchange/ExchangeDeck.h"

std::string DelimitedTextOf(const ExchangeDeck &deck, QChar separator);
