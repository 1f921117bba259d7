#pragma once
// Exporting a Deck for another program, written whole or not at all.
#include "exchange/ExchangeDeck.h"
#include "exchange/ExchangeFormat.h"

struct ExportSummary {
    int exported = 0, mediaIncluded = 0, mediaMissing = 0, reviews = 0;
    QString Text() const;
};

// The Deck's Items with words (their media as full paths, "" for none) and the reviews of its
// review log.
ExchangeDeck ReadDeckForExport(const std::string &deckPath);
// Writes the Deck at deckPath to outPath in the format. Throws with a message for the user.
ExportSummary ExportDeck(const std::string &deckPath, const std::string &outPath, ExchangeFormat format);
