#pragma once
// Importing another program's deck as a new Deck: a UTF-8 Deck written whole or not at all, its
// media copied into the folder beside it, its review history replayed into its review log.
#include "platform/Exceptions.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

struct ImportSummary {
    int imported = 0, emptyWords = 0, duplicateWords = 0, mediaCopied = 0, mediaMissing = 0, reviews = 0;
    std::vector<QString> remarks;
    // One line for each count, as the window and the command line show it.
    QString Text() const;
};

// Told how far the import is (done of total; a total of 0 while the file is read); answers false
// when the user stopped it.
using ImportProgress = std::function<bool(int done, int total)>;

// The user stopped the import; nothing was written.
class EImportCancelled : public Exception {
public:
    EImportCancelled() : Exception("The import was stopped; nothing was written") {}
};

// Reads the file (its format by its extension, else by its content) and writes the new Deck at
// deckPath, replacing a Deck there. Throws with a message for the user when the file cannot be
// read or the Deck cannot be written; nothing is left half written then.
ImportSummary ImportDeck(const std::string &sourcePath, const std::string &deckPath, const ImportProgress &progress = {});
