#pragma once
// A deck as a KVTML 2.0 file, as KWordQuiz and Parley open it: two identifiers (word and
// definition), an entry per Item with the picture and the sound on the word's side, and one
// lesson that holds them all.
#include "exchange/ExchangeDeck.h"

std::string KvtmlOf(const ExchangeDeck &deck, const QString &title);
