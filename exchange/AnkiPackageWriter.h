#pragma once
// A deck as an Anki package in the older schema (collection.anki2 with the "Basic" note type),
// which every version of Anki imports: a note per Item (Front the word; Back the definition,
// the picture and the sound; the frequency as the tag "Frequency::N"), a card per note with
// the state its reviews led to, the reviews as Anki's review log, and the media.
#include "exchange/ExchangeDeck.h"

struct AnkiPackage {
    std::string bytes;
    int mediaIncluded = 0, mediaMissing = 0;
};

AnkiPackage AnkiPackageOf(const ExchangeDeck &deck, const QString &deckName);
