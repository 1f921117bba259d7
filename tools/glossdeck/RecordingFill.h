#pragma once
// Recordings for a Deck's Items that have none: each such Item's word spoken into a wave file
// of its own in a folder, and its audio field set to that file, by a path relative to the Deck's
// folder. The Deck is rewritten once, under its lock: all Items get their recordings or none do,
// and a failure takes the files already written away again.
#include <string>

struct FillResult {
    int written = 0;   // recordings made
    int skipped = 0;   // Items without a word to speak
};

FillResult FillRecordings(const std::string &deckPath, const std::string &folder, const std::string &language);
